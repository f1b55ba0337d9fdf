#pragma once

#include "batch/filejob.h"
#include "batch/joboptions.h"

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

// Settles the files of one run in list order on the driving thread: names, the JPEG quality and
// whether an output may be written. Reads the live options when each file is planned, so a
// choice changed during the run reaches the files planned after it.
class Planner {
public:
    // inputs: the list as the run took it.
    Planner(const JobOptions& options, Operation operation, const QStringList& inputs);

    // Plans entry index (1-based). Error reports of the planning statements (the quality
    // choice) go to reports.
    PlannedFile plan(int index, std::vector<FileReport>& reports);

    int jpegQuality() const { return m_jpegQuality; }

private:
    void chooseJpegQuality(const QString& path, std::vector<FileReport>& reports);
    QString refusalFor(const QString& outputPath, int index);

    const JobOptions& m_options;
    Operation m_operation;
    QStringList m_inputs;
    QSet<FileIdentity> m_inputIdentities;
    QHash<QString, int> m_claimedOutputs;  // output file (canonical folder + name) -> index
    int m_jpegQuality = 0;
    int m_estimate = 0;
};

}  // namespace zentavo
