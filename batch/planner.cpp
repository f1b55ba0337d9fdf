#include "batch/planner.h"

#include "batch/naming.h"
#include "imagefiles/detectjpegquality.h"
#include "imagefiles/loadpicfile.h"
#include "shell/report/errorreport.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>
#include <climits>

namespace zentavo {

namespace {

qint64 longestNameIn(const QString& folder) {
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : NAME_MAX;
}

}  // namespace

size_t qHash(const FileIdentity& id, size_t seed) {
    return ::qHash(id.device, seed) ^ ::qHash(id.inode, seed * 31 + 7);
}

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

Planner::Planner(const JobOptions& options, Operation operation, const QStringList& inputs)
    : m_options(options), m_operation(operation), m_inputs(inputs) {
    m_inputIdentities.reserve(inputs.size());
    for (const QString& input : inputs) {
        if (const auto id = identityOf(input)) {
            m_inputIdentities.insert(*id);
        }
    }
}

PlannedFile Planner::plan(int index, std::vector<FileReport>& reports) {
    PlannedFile file;
    file.index = index;
    file.operation = m_operation;
    file.path = m_inputs.value(index - 1);
    file.formatClass = formatClassOf(file.path);
    file.direction = m_options.flipDirection();
    file.degrees = m_options.degrees();
    if (file.formatClass == FormatClass::Jpeg) {
        chooseJpegQuality(file.path, reports);
        // The quality scale of the encoder is 1 to 100; a run that has not chosen one yet (no
        // quality mode selected) or a slider beyond 100 is brought into it.
        file.jpegQuality = std::clamp(m_jpegQuality, 1, 100);
    }
    file.outputPath = outputPath(m_options.resultsFolder(), file.path, m_operation);
    file.refusal = refusalFor(file.outputPath, index);
    return file;
}

void Planner::chooseJpegQuality(const QString& path, std::vector<FileReport>& reports) {
    const bool flip = m_operation == Operation::Flip;
    // Statement numbers of the flip loop; the rotate loop's are 88 higher.
    const int shift = flip ? 0 : 88;
    const QualityMode mode = m_options.qualityMode();
    if (mode == QualityMode::Fixed) {
        runStatement(150 + shift, reports, [&] { m_jpegQuality = fixedQuality(m_options); });
    } else if (mode == QualityMode::SmartDetect) {
        // The estimate needs the pixel size and the file length only: the header is read, the
        // picture is not decoded a second time.
        const std::optional<QSize> size = readPictureSize(path);
        if (size) {
            runStatement(156 + shift, reports, [&] {
                m_estimate =
                    DetectJpegQuality(size->width(), size->height(), QFileInfo(path).size());
            });
            if (m_estimate > m_jpegQuality) {
                m_jpegQuality = m_estimate;
            }
        } else {
            runStatement(162 + shift, reports, [&] { m_jpegQuality = fixedQuality(m_options); });
        }
    }
}

QString Planner::refusalFor(const QString& outputPath, int index) {
    const QFileInfo output(outputPath);
    const QString name = output.fileName();
    if (QFile::encodeName(name).size() > longestNameIn(output.absolutePath())) {
        return QStringLiteral("The name %1 is longer than the file system allows.").arg(name);
    }
    if (const auto id = identityOf(outputPath); id && m_inputIdentities.contains(*id)) {
        return QStringLiteral("%1 is an input of this run and is not replaced.").arg(outputPath);
    }
    const QString canonicalFolder = QFileInfo(output.absolutePath()).canonicalFilePath();
    const QString key = (canonicalFolder.isEmpty() ? output.absolutePath() : canonicalFolder) +
                        QLatin1Char('/') + name;
    const auto claimed = m_claimedOutputs.constFind(key);
    if (claimed != m_claimedOutputs.constEnd() && claimed.value() != index) {
        return QStringLiteral("%1 was already written by file %2 of this run (%3).")
            .arg(outputPath)
            .arg(claimed.value())
            .arg(m_inputs.value(claimed.value() - 1));
    }
    m_claimedOutputs.insert(key, index);
    return {};
}

}  // namespace zentavo
