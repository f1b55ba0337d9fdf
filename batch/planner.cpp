#include "batch/planner.h"

#include "batch/naming.h"
#include "imagefiles/jpeg/detectjpegquality.h"
#include "imagefiles/loadpicfile.h"

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

Planner::Planner(const JobOptions& options, Operation operation, const QStringList& inputs,
                 RunOrder* order)
    : m_options(options), m_operation(operation), m_inputs(inputs), m_order(order) {
    m_inputIdentities.reserve(inputs.size());
    for (const QString& input : inputs) {
        if (const auto id = identityOf(input)) {
            m_inputIdentities.insert(*id);
        }
    }
}

PlannedFile Planner::plan(int index) {
    PlannedFile file;
    file.index = index;
    file.operation = m_operation;
    file.path = m_inputs.value(index - 1);
    file.formatClass = formatClassOf(file.path);
    file.direction = m_options.flipDirection();
    file.degrees = m_options.degrees();
    file.stripMetadata = m_options.stripMetadata();
    if (takesQuality(file.formatClass)) {
        file.qualityMode = m_options.qualityMode();
        file.slider = m_options.sliderValue();
    }
    file.outputPath = outputPath(m_options.resultsFolder(), file.path, m_operation);
    file.refusal = refusalFor(file.outputPath);
    if (m_order) {
        const QFileInfo output(file.outputPath);
        const QString canonicalFolder = QFileInfo(output.absolutePath()).canonicalFilePath();
        const QString outputKey =
            (canonicalFolder.isEmpty() ? output.absolutePath() : canonicalFolder) +
            QLatin1Char('/') + output.fileName();
        // Two entries of one file are one input, whatever their spelling; a file that does not
        // exist is known by its path (it will not load, so it never writes).
        const auto id = identityOf(file.path);
        const QString inputKey = id ? QStringLiteral("%1:%2").arg(id->device).arg(id->inode)
                                    : QStringLiteral("path:") + file.path;
        m_order->planFile(index, file.formatClass == FormatClass::Jpeg, file.path, inputKey,
                          file.outputPath, outputKey);
    }
    return file;
}

QualityStep qualityStepFor(const PlannedFile& file, std::vector<FileReport>& reports) {
    // Statement numbers of the flip loop; the rotate loop's are 88 higher.
    const int shift = file.operation == Operation::Flip ? 0 : 88;
    FixedJobOptions slider;
    slider.slider = file.slider;
    QualityStep step;
    const auto setFromSlider = [&](int number) {
        runStatement(number + shift, reports, [&] {
            step = {QualityStep::Set, fixedQuality(slider)};
        });
    };
    if (file.qualityMode == QualityMode::Fixed) {
        setFromSlider(150);
    } else if (file.qualityMode == QualityMode::SmartDetect ||
               file.qualityMode == QualityMode::Lossless) {
        // A lossless run encodes the files it cannot turn losslessly as Smart-Detect does.
        // The estimate needs the pixel size and the file length only: the header is read, the
        // picture is not decoded a second time.
        const std::optional<QSize> size = readPictureSize(file.path);
        if (size) {
            runStatement(156 + shift, reports, [&] {
                step = {QualityStep::Raise, DetectJpegQuality(size->width(), size->height(),
                                                              QFileInfo(file.path).size())};
            });
        } else {
            setFromSlider(162);
        }
    }
    return step;
}

QString Planner::refusalFor(const QString& outputPath) {
    const QFileInfo output(outputPath);
    const QString name = output.fileName();
    if (QFile::encodeName(name).size() > longestNameIn(output.absolutePath())) {
        return QStringLiteral("The name %1 is longer than the file system allows.").arg(name);
    }
    if (const auto id = identityOf(outputPath); id && m_inputIdentities.contains(*id)) {
        return QStringLiteral("%1 is an input of this run and is not replaced.").arg(outputPath);
    }
    return {};
}

}  // namespace zentavo
