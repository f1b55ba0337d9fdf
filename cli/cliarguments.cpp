#include "cli/cliarguments.h"

namespace zentavo {

namespace {

bool parseWholeNumber(const QString& text, int low, int high, int& value) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high) {
        return false;
    }
    value = number;
    return true;
}

}  // namespace

QString cliUsage() {
    return QStringLiteral(
        "Usage: zentavo-batch [options] PATH...\n"
        "Flips or rotates pictures; each comes out in its own format under its base name plus\n"
        "\"_flipped\" or \"_rotated\" in the results folder. Formats by extension: jpg, gif, png,\n"
        "tif, webp, heic, heif, avif, jxl; any other extension is written as BMP.\n"
        "\n"
        "  -o, --out DIR          results folder (required)\n"
        "  --flip horizontal|vertical\n"
        "                         flip (the default operation: --flip horizontal)\n"
        "  --rotate 90|180|270    rotate clockwise\n"
        "  --quality smart|N|lossless\n"
        "                         JPEG, WebP, HEIF, AVIF and JPEG XL quality: Smart-Detect\n"
        "                         (default), fixed from 1 to 100, or lossless: JPEG to JPEG\n"
        "                         without re-encoding where the picture's size allows, HEIF\n"
        "                         and AVIF turned by their transform boxes, Smart-Detect\n"
        "                         elsewhere; lossless WebP, AVIF and JPEG XL stay lossless\n"
        "  -j, --jobs N           files in flight (default: the number of cores)\n"
        "  --scan EXT             a folder PATH adds the files of its tree with extension EXT\n"
        "                         (\"*\" for all); without it a folder adds every file of its "
        "tree\n"
        "  --strip                outputs keep pixels, colour profile and resolution only:\n"
        "                         no EXIF (camera, GPS), XMP, IPTC, comments or text\n"
        "  --keep-tree            a folder PATH's files go to their place below DIR, under\n"
        "                         the folder's own name; sub-folders are made\n"
        "  --existing replace|skip|keep-both\n"
        "                         when an output's name is taken: replace it (default),\n"
        "                         skip the file (counts as done), or keep both (\"NAME (2)\")\n"
        "  --keep-dates           outputs take their inputs' modification and access times\n"
        "  --files-from FILE      also the paths in FILE, one a line (\"-\": standard input)\n"
        "  -0, --null             names in the --files-from list end with NUL, not a line\n"
        "                         end; --dry-run ends its lines with NUL too\n"
        "  --dry-run              write nothing; print each entry and its output path\n"
        "  -q, --quiet            no progress display\n"
        "  -v, --verbose          each error report in full, as the window shows it\n"
        "  -h, --help             this text\n"
        "  --version              the version\n"
        "\n"
        "Each file not loaded or not written, and each error report, is one line on\n"
        "standard error: \"zentavo-batch: PATH: REASON (line N)\"; the closing message goes\n"
        "to standard output.\n"
        "\n"
        "Exit status: 0 every file written, 1 some file not loaded or not written,\n"
        "2 nothing done (refused, or a wrong command line), 130 or 143 stopped by\n"
        "Ctrl+C or SIGTERM.\n");
}

CliArguments parseCliArguments(const QStringList& arguments) {
    CliArguments result;
    bool operationGiven = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
            argument == QLatin1String("-")) {
            result.paths << argument;
            continue;
        }
        QString name = argument;
        QString value;
        bool hasInlineValue = false;
        if (!argument.startsWith(QLatin1String("--")) && argument.size() > 2 &&
            (argument[1] == QLatin1Char('j') || argument[1] == QLatin1Char('o'))) {
            // "-j4" and "-o/out": a short option with its value attached.
            name = argument.left(2);
            value = argument.mid(2);
            hasInlineValue = true;
        }
        if (argument.startsWith(QLatin1String("--"))) {
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            if (equals > 0) {
                name = argument.left(equals);
                value = argument.mid(equals + 1);
                hasInlineValue = true;
            }
        }
        auto chooseOperation = [&](Operation operation) -> bool {
            if (operationGiven) {
                result.error = QStringLiteral("Give one operation: --flip or --rotate.");
                return false;
            }
            operationGiven = true;
            result.options.op = operation;
            return true;
        };
        auto takeValue = [&]() -> bool {
            if (hasInlineValue) {
                return true;
            }
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("%1 needs a value.").arg(name);
                return false;
            }
            value = arguments[++i];
            return true;
        };

        if (name == QLatin1String("--")) {
            optionsEnded = true;
        } else if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            result.help = true;
        } else if (name == QLatin1String("--version")) {
            result.version = true;
        } else if (name == QLatin1String("-q") || name == QLatin1String("--quiet")) {
            result.quiet = true;
        } else if (name == QLatin1String("-v") || name == QLatin1String("--verbose")) {
            result.verbose = true;
        } else if (name == QLatin1String("--strip")) {
            result.options.strip = true;
        } else if (name == QLatin1String("--dry-run")) {
            result.dryRun = true;
        } else if (name == QLatin1String("--keep-tree")) {
            result.options.tree = true;
        } else if (name == QLatin1String("--keep-dates")) {
            result.options.dates = true;
        } else if (name == QLatin1String("-0") || name == QLatin1String("--null")) {
            result.nullSeparated = true;
        } else if (name == QLatin1String("--existing")) {
            if (!takeValue()) {
                return result;
            }
            if (value == QLatin1String("replace")) {
                result.options.existing = ExistingOutput::Replace;
            } else if (value == QLatin1String("skip")) {
                result.options.existing = ExistingOutput::Skip;
            } else if (value == QLatin1String("keep-both")) {
                result.options.existing = ExistingOutput::KeepBoth;
            } else {
                result.error = QStringLiteral("--existing takes replace, skip or keep-both.");
                return result;
            }
        } else if (name == QLatin1String("--files-from")) {
            if (!takeValue()) {
                return result;
            }
            if (value.isEmpty()) {
                result.error =
                    QStringLiteral("--files-from needs a file, or - for standard input.");
                return result;
            }
            if (!result.filesFrom.isEmpty()) {
                result.error = QStringLiteral("Give --files-from once.");
                return result;
            }
            result.filesFrom = value;
        } else if (name == QLatin1String("-o") || name == QLatin1String("--out")) {
            if (!takeValue()) {
                return result;
            }
            result.options.folder = value;
        } else if (name == QLatin1String("--flip")) {
            if (!takeValue() || !chooseOperation(Operation::Flip)) {
                return result;
            }
            if (value == QLatin1String("horizontal")) {
                result.options.direction = FlipDirection::Horizontal;
            } else if (value == QLatin1String("vertical")) {
                result.options.direction = FlipDirection::Vertical;
            } else {
                result.error = QStringLiteral("--flip takes horizontal or vertical.");
                return result;
            }
        } else if (name == QLatin1String("--rotate")) {
            if (!takeValue() || !chooseOperation(Operation::Rotate)) {
                return result;
            }
            if (value != QLatin1String("90") && value != QLatin1String("180") &&
                value != QLatin1String("270")) {
                result.error = QStringLiteral("--rotate takes 90, 180 or 270.");
                return result;
            }
            result.options.rotation = QLatin1Char('-') + value;
        } else if (name == QLatin1String("--quality")) {
            if (!takeValue()) {
                return result;
            }
            if (value == QLatin1String("smart")) {
                result.options.quality = QualityMode::SmartDetect;
            } else if (value == QLatin1String("lossless")) {
                result.options.quality = QualityMode::Lossless;
            } else if (parseWholeNumber(value, 1, 100, result.options.slider)) {
                result.options.quality = QualityMode::Fixed;
            } else {
                result.error = QStringLiteral("--quality takes smart, lossless or a number from 1 to 100.");
                return result;
            }
        } else if (name == QLatin1String("-j") || name == QLatin1String("--jobs")) {
            if (!takeValue()) {
                return result;
            }
            if (!parseWholeNumber(value, 1, 1024, result.jobs)) {
                result.error = QStringLiteral("--jobs takes a number from 1 to 1024.");
                return result;
            }
        } else if (name == QLatin1String("--scan")) {
            if (!takeValue()) {
                return result;
            }
            if (value.isEmpty()) {
                result.error = QStringLiteral("--scan needs an extension.");
                return result;
            }
            result.scanExtension = value;
        } else {
            result.error = QStringLiteral("Unknown option %1.").arg(argument);
            return result;
        }
    }
    if (result.help || result.version) {
        return result;
    }
    if (result.options.folder.isEmpty()) {
        result.error = QStringLiteral("Name the results folder with -o DIR.");
    }
    return result;
}

}  // namespace zentavo
