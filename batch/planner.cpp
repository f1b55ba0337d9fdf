#include "batch/planner.h"

#include "batch/naming.h"
#include "imagefiles/files/staletemporaries.h"
#include "imagefiles/jpeg/detectjpegquality.h"
#include "imagefiles/loadpicfile.h"
#include "report/filenames.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>

namespace zentavo {

namespace {

qint64 longestNameIn(const QString& folder) {
    const long limit = ::pathconf(encodeFileName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : NAME_MAX;
}

qint64 fileLength(const QString& path) {
    struct stat info {};
    return ::stat(encodeFileName(path).constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

}  // namespace

size_t qHash(const FileIdentity& id, size_t seed) {
    return ::qHash(id.device, seed) ^ ::qHash(id.inode, seed * 31 + 7);
}

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(encodeFileName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

Planner::Planner(const JobOptions& options, Operation operation, const QStringList& inputs,
                 RunOrder* order, const QStringList& treeFolders)
    : m_options(options),
      m_operation(operation),
      m_inputs(inputs),
      m_treeFolders(treeFolders),
      m_order(order) {
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
    const QString treeFolder = m_options.keepTree() ? m_treeFolders.value(index - 1) : QString();
    file.resultsFolder = m_options.resultsFolder();
    file.treeFolder = treeFolder;
    file.outputPath = outputPath(file.resultsFolder, treeFolder, file.path, m_operation);
    file.existing = m_options.existingOutput();
    file.keepDates = m_options.keepDates();
    file.refusal = refusalFor(file.outputPath);
    const QString outputFolder = QFileInfo(file.outputPath).absolutePath();
    tidyFolder(outputFolder);
    const QString outputKey = outputKeyOf(file.outputPath);
    // An output that is there before the run writes it is a result of an earlier run: with
    // Skip the file needs no work at all. A name an earlier file of this run claims is left to
    // the final rename, which alone knows whether that file wrote it.
    if (file.existing == ExistingOutput::Skip && file.refusal.isEmpty() &&
        !m_plannedOutputs.contains(outputKey)) {
        struct stat there {};
        file.resultExists = ::lstat(encodeFileName(file.outputPath).constData(), &there) == 0;
    }
    m_plannedOutputs.insert(outputKey);
    if (m_order) {
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

QString Planner::outputKeyOf(const QString& outputPath) {
    const QFileInfo output(outputPath);
    const QString folder = output.absolutePath();
    auto resolved = m_resolvedFolders.constFind(folder);
    if (resolved == m_resolvedFolders.constEnd()) {
        // A folder made later in the run does not resolve yet; its spelling stands for it.
        QString canonical = folder;
        if (char* real = ::realpath(encodeFileName(folder).constData(), nullptr)) {
            canonical = decodeFileName(real);
            std::free(real);
        }
        resolved = m_resolvedFolders.insert(folder, canonical);
    }
    return *resolved + QLatin1Char('/') + output.fileName();
}

void Planner::tidyFolder(const QString& folder) {
    if (!m_tidiedFolders.contains(folder)) {
        m_tidiedFolders.insert(folder);
        removeStaleTemporaries(folder);
    }
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
                step = {QualityStep::Raise,
                        DetectJpegQuality(size->width(), size->height(), fileLength(file.path))};
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
    const QString folder = output.absolutePath();
    auto limit = m_nameLimits.constFind(folder);
    if (limit == m_nameLimits.constEnd()) {
        limit = m_nameLimits.insert(folder, longestNameIn(folder));
    }
    if (encodeFileName(name).size() > *limit) {
        return QStringLiteral("The name %1 is longer than the file system allows.").arg(name);
    }
    if (const auto id = identityOf(outputPath); id && m_inputIdentities.contains(*id)) {
        return QStringLiteral("%1 is an input of this run and is not replaced.").arg(outputPath);
    }
    return {};
}

}  // namespace zentavo
