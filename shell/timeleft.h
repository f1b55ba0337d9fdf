#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace zentavo {

// How long a run has left, judged from the files it has delivered: the time per file so far,
// times the files still to come, less the time since the last one came. Times are milliseconds
// on one steady clock (a QElapsedTimer's, say), given by the caller. GUI thread.
class TimeLeft {
public:
    // Files that must be done before an estimate is given: the first ones pay for starting
    // the workers and warming the disk.
    static constexpr int FilesBeforeEstimate = 3;

    // A run of files has started at now.
    void start(int files, qint64 now);
    // One more file was delivered at now.
    void fileDone(qint64 now);
    // The run is over: no estimate until the next start.
    void stop() { m_running = false; }

    // The time left at now, at least a second; nothing while no run goes, before
    // FilesBeforeEstimate files are done, or once every file is.
    std::optional<qint64> remaining(qint64 now) const;

private:
    bool m_running = false;
    int m_files = 0;
    int m_done = 0;
    qint64 m_started = 0;
    qint64 m_lastDone = 0;
};

// The words for a time left, rounded as a person says it: "about 25 s left" (to 5 s under a
// minute), "about 2 min 10 s left" (to 10 s under ten minutes), "about 14 min left", "about 2 h
// 5 min left".
QString timeLeftText(qint64 milliseconds);

}  // namespace zentavo
