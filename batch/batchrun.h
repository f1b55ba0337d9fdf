#pragma once

#include "batch/joboptions.h"
#include "report/dialogs.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace zentavo {

class FileList;

// What became of one file of a run.
// Skipped: dropped by Stop or by closing the window before it was done. ResultExists: its
// output was there already and the run was told to skip such files; it counts as done.
enum class FileOutcome { Written, NotLoaded, NotWritten, Skipped, ResultExists };

// An error report a file gives rise to: the statement and the description.
struct FileReport {
    int statement = 0;
    QString description;
};

// One file of a run as it is delivered to the front end.
struct DeliveredFile {
    int index = 0;  // the file's place in the list when the run started, from 1
    QString path;
    QString outputPath;  // where its output goes (written only when the outcome is Written)
    FileOutcome outcome = FileOutcome::Written;
    // For a file not loaded or not written: why, in a sentence that does not repeat the path,
    // and the statement it failed at.
    QString reason;
    int statement = 0;
    std::vector<FileReport> reports;  // in the order they arose
};

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
    // A run has started over files entries of the list (refused starts never get here); its
    // outputs go to resultsFolder.
    virtual void runStarted(int files, const QString& resultsFolder) {
        Q_UNUSED(files);
        Q_UNUSED(resultsFolder);
    }
    // What became of one file of the run, told when the file is delivered, after its error
    // reports were shown (or kept for the closing message).
    virtual void fileDelivered(const DeliveredFile& file) { Q_UNUSED(file); }
    // The closing message of a run, or the refusal of a start; an OK box with the application
    // title unless a front end shows it otherwise.
    virtual void showClosingMessage(const QString& text, MessageIcon icon) {
        dialogs().message(text, applicationTitle(), icon);
    }
};

struct RunSummary {
    int written = 0;
    int notLoaded = 0;
    int notWritten = 0;
    int resultExisted = 0;   // skipped because their outputs were there (counted as done)
    bool refused = false;    // "No files added.", missing folder or imaging failure
    bool stopped = false;    // Stop ended the run early
    int processed = 0;       // files whose output was written or was there (all unless stopped)
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
    // Files planned per worker ahead of the delivery, for front ends whose options stay as
    // they were at the start. 1 (the default) plans one file past the busy workers, so a
    // choice changed during the run reaches every file the bar has not reached.
    void setPlanAhead(int filesPerWorker);
    // Set when the imaging start-up failed at load: every start is refused.
    void setImagingFailed(bool failed);

    // PushButton2_Click: starts a run over the list as it is now and returns at once; the run
    // goes on in the event loop and ends with finished(). Ignored while a run is going.
    void PushButton2_Click(const FileList& list);
    // BatchRunning.
    bool isRunning() const;
    // Stop: plans no more files, drops the files in flight (each leaves its output whole or
    // absent) and ends the run as usual, with "Stopped." and the count of files whose output
    // was written. Pressed while an error report is up, it takes effect when the report closes;
    // no report is shown after it (the closing message lists them as not shown).
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

// The threads each file's encoder may run when jobs workers take files files on cores cores:
// the cores left to each of the files that run at once, at least 1. A run of one file, or one
// job on several cores, lends the idle cores to the encoder.
int codecThreadsFor(int cores, int jobs, int files);

}  // namespace zentavo

Q_DECLARE_METATYPE(zentavo::RunSummary)
