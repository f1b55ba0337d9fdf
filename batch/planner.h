#pragma once

#include "batch/filejob.h"
#include "batch/joboptions.h"
#include "batch/runorder.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zentavo {

// The identity of a file on disk: device and inode.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
size_t qHash(const FileIdentity& id, size_t seed = 0);

// The identity of path, following links; empty when it does not exist. Never throws.
std::optional<FileIdentity> identityOf(const QString& path);

class RunOrder;

// Settles the files of one run in list order on the driving thread: names, the quality mode
// and slider a JPEG file is written with, and whether its output must not be written. Reads the
// live options when each file is planned, so a choice changed during the run reaches the files
// planned after it. Announces each file to the run's order (when given).
class Planner {
public:
    // inputs: the list as the run took it; treeFolders: their tree folders (FileList), or
    // empty when no entry has one.
    Planner(const JobOptions& options, Operation operation, const QStringList& inputs,
            RunOrder* order = nullptr, const QStringList& treeFolders = {});

    // Plans entry index (1-based).
    PlannedFile plan(int index);

private:
    QString refusalFor(const QString& outputPath);
    // The output's identity in this run: its folder as the system resolves it, and its name.
    QString outputKeyOf(const QString& outputPath);
    // Removes the leftovers of killed runs from an output folder, the first time the run meets
    // it.
    void tidyFolder(const QString& folder);

    const JobOptions& m_options;
    Operation m_operation;
    QStringList m_inputs;
    QStringList m_treeFolders;
    RunOrder* m_order;
    QSet<FileIdentity> m_inputIdentities;
    QHash<QString, QString> m_resolvedFolders;  // output folder -> as the system resolves it
    QSet<QString> m_plannedOutputs;             // output keys planned so far
    QSet<QString> m_tidiedFolders;
    QHash<QString, qint64> m_nameLimits;  // output folder -> longest name it allows, in bytes
};

// The quality step of a JPEG file that has loaded, as planned: the slider in Fixed mode, the
// estimate from its header and length in Smart-Detect mode (the slider when the header tells
// nothing). A statement that fails is reported in reports and keeps the running quality.
QualityStep qualityStepFor(const PlannedFile& file, std::vector<FileReport>& reports);

}  // namespace zentavo
