#pragma once

#include "batch/joboptions.h"
#include "shell/report/dialogs.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace zentavo {

class FileList;

// What a run tells the front end that drives it. Every call comes on the driving thread, in
// list order.
class RunFrontEnd {
public:
    virtual ~RunFrontEnd() = default;
    // The busy pointer (hourglass) on or off.
    virtual void setBusy(bool busy) = 0;
    virtual void setProgressValue(int value) = 0;  // 0 to 100
    virtual void setProgressText(const QString& text) = 0;
    // Messages and error reports of the run.
    virtual Dialogs& dialogs() = 0;
    virtual QString applicationTitle() const = 0;
    // A file of the run that was not loaded or not written, and why in a sentence; told when
    // the file is delivered, after its error reports.
    virtual void fileNotDone(const QString& path, const QString& reason) {
        Q_UNUSED(path);
        Q_UNUSED(reason);
    }
    // The closing message of a run, or the refusal of a start; an OK box with the application
    // title unless a front end shows it otherwise.
    virtual void showClosingMessage(const QString& text, MessageIcon icon) {
        dialogs().message(text, applicationTitle(), icon);
    }
};

// What became of one file of a run.
// Skipped: dropped by Stop or by closing the window before it was done. ResultExists: its
// output was there already and the run was told to skip such files; it counts as done.
enum class FileOutcome { Written, NotLoaded, NotWritten, Skipped, ResultExists };

struct RunSummary {
    int written = 0;
    int notLoaded = 0;
    int notWritten = 0;
    int resultExisted = 0;   // skipped because their outputs were there (counted as done)
    bool refused = false;    // "No files added.", missing folder or imaging failure
    bool stopped = false;    // Stop ended the run early
    int processed = 0;       // files that came to an outcome (all of them unless stopped)
    int total = 0;           // files of the list when the run started
    QString closingMessage;  // "Done." with the failed list, or the refusal text
};

// The Start handler's run: checks, plan in list order on the driving thread, decode, transform
// and encode on a pool of workers, outcomes delivered back in list order.
class BatchRun : public QObject {
    Q_OBJECT
public:
    BatchRun(const JobOptions& options, RunFrontEnd& frontEnd, QObject* parent = nullptr);
    ~BatchRun() override;

    // Files in flight at once; 0 means one per core.
    void setJobs(int jobs);
    // Set when the imaging start-up failed at load: every start is refused.
    void setImagingFailed(bool failed);

    // PushButton2_Click: starts a run over the list as it is now and returns at once; the run
    // goes on in the event loop and ends with finished(). Ignored while a run is going.
    void PushButton2_Click(const FileList& list);
    // BatchRunning.
    bool isRunning() const;
    // Stop: plans no more files, drops the files in flight (each leaves its output whole or
    // absent) and ends the run as usual, with "Stopped." and the count of files processed.
    void stop();
    // Abandons the run at once (closing the program): nothing more is shown, the files in flight
    // stop at their next check and leave no partial or temporary file. The destructor waits
    // for them.
    void cancel();
    // Serves the event loop until the run has finished or was cancelled.
    void waitForFinished();

signals:
    void finished(const zentavo::RunSummary& summary);

private:
    class Private;
    std::unique_ptr<Private> d;
};

}  // namespace zentavo

Q_DECLARE_METATYPE(zentavo::RunSummary)
