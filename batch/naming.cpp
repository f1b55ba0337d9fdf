#include "batch/naming.h"

#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <filesystem>

namespace zentavo {

int fixedQuality(const JobOptions& options) {
    const int value = options.sliderValue();
    if (value < 0 || value > 255) {
        throw ZentavoError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    }
    return value;
}

QString GetFileName(const QString& path, QChar separator) {
    const qsizetype at = path.lastIndexOf(separator);
    return at < 0 ? path : path.mid(at + 1);
}

QString StripExtension(const QString& name) {
    // A dot at the first character is part of the name (".png"), not an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 1 ? name.left(dot) : name;
}

QString GetExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot >= 1 ? path.mid(dot + 1) : path;
}

bool FolderExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(encodeFileName(path).toStdString(), error);
    return !error && isFolder;
}

FormatClass formatClassOf(const QString& path) {
    const QString extension = GetExtension(path).toLower();
    if (extension == QLatin1String("jpg")) {
        return FormatClass::Jpeg;
    }
    if (extension == QLatin1String("gif")) {
        return FormatClass::Gif;
    }
    if (extension == QLatin1String("png")) {
        return FormatClass::Png;
    }
    if (extension == QLatin1String("tif")) {
        return FormatClass::Tiff;
    }
    static const std::pair<QLatin1String, FormatClass> newer[] = {
        {QLatin1String("webp"), FormatClass::Webp}, {QLatin1String("heic"), FormatClass::Heic},
        {QLatin1String("heif"), FormatClass::Heif}, {QLatin1String("avif"), FormatClass::Avif},
        {QLatin1String("jxl"), FormatClass::Jxl},
    };
    for (const auto& [name, formatClass] : newer) {
        if (extension == name) {
            return formatClass;
        }
    }
    return FormatClass::Bmp;
}

bool takesQuality(FormatClass formatClass) {
    switch (formatClass) {
        case FormatClass::Jpeg:
        case FormatClass::Webp:
        case FormatClass::Heic:
        case FormatClass::Heif:
        case FormatClass::Avif:
        case FormatClass::Jxl:
            return true;
        case FormatClass::Gif:
        case FormatClass::Png:
        case FormatClass::Tiff:
        case FormatClass::Bmp:
            break;
    }
    return false;
}

QString mimeTypeOf(FormatClass formatClass) {
    switch (formatClass) {
        case FormatClass::Gif:
            return QStringLiteral("image/gif");
        case FormatClass::Png:
            return QStringLiteral("image/png");
        case FormatClass::Tiff:
            return QStringLiteral("image/tiff");
        case FormatClass::Webp:
            return QStringLiteral("image/webp");
        case FormatClass::Heic:
            return QStringLiteral("image/heic");
        case FormatClass::Heif:
            return QStringLiteral("image/heif");
        case FormatClass::Avif:
            return QStringLiteral("image/avif");
        case FormatClass::Jxl:
            return QStringLiteral("image/jxl");
        case FormatClass::Jpeg:
        case FormatClass::Bmp:
            break;
    }
    return {};
}

QString outputBase(const QString& inputPath, Operation operation, QChar separator) {
    const QString base = StripExtension(GetFileName(inputPath, separator));
    return operation == Operation::Flip ? base + QStringLiteral("_flipped") : base;
}

QString outputEnding(FormatClass formatClass, Operation operation) {
    QString ending;
    switch (formatClass) {
        case FormatClass::Jpeg:
            ending = QStringLiteral(".jpg");
            break;
        case FormatClass::Gif:
            ending = QStringLiteral(".gif");
            break;
        case FormatClass::Png:
            ending = QStringLiteral(".png");
            break;
        case FormatClass::Tiff:
            ending = QStringLiteral(".tif");
            break;
        case FormatClass::Bmp:
            ending = QStringLiteral(".bmp");
            break;
        case FormatClass::Webp:
        case FormatClass::Heic:
        case FormatClass::Heif:
        case FormatClass::Avif:
        case FormatClass::Jxl:
            // The lower-cased extension itself.
            ending = QLatin1Char('.') + mimeTypeOf(formatClass).mid(6);
            break;
    }
    return operation == Operation::Rotate ? QStringLiteral("_rotated") + ending : ending;
}

QString outputPath(const QString& folder, const QString& inputPath, Operation operation,
                   QChar separator) {
    return folder + separator + outputBase(inputPath, operation, separator) +
           outputEnding(formatClassOf(inputPath), operation);
}

QString outputPath(const QString& folder, const QString& treeFolder, const QString& inputPath,
                   Operation operation, QChar separator) {
    if (treeFolder.isEmpty()) {
        return outputPath(folder, inputPath, operation, separator);
    }
    return folder + separator + treeFolder + separator +
           outputBase(inputPath, operation, separator) +
           outputEnding(formatClassOf(inputPath), operation);
}

}  // namespace zentavo
