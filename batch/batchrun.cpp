#include "batch/batchrun.h"

#include "batch/filejob.h"
#include "batch/memorybudget.h"
#include "batch/naming.h"
#include "batch/planner.h"
#include "filelist/filelist.h"
#include "shell/report/errorreport.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

namespace zentavo {

namespace {

const QString StartLocation = QStringLiteral("in Zentavo2021/08/31.Form1.PushButton2_Click ");

// A file between planning and delivery.
struct FileInFlight {
    QString path;
    int progress = 0;
    QString progressText;  // set in rotate runs
    std::vector<FileReport> planReports;
    std::optional<FileResult> result;
};

}  // namespace

class BatchRun::Private {
public:
    Private(BatchRun* q, const JobOptions& options, RunFrontEnd& frontEnd)
        : q(q), options(options), frontEnd(frontEnd) {
        pool.setMaxThreadCount(QThread::idealThreadCount());
    }

    void start(const FileList& list);
    void pump();
    void submit(const PlannedFile& file);
    void onResult(FileResult result);
    void deliver();
    void finish();
    void refuse(int number, const QString& text, MessageIcon icon);

    BatchRun* q;
    const JobOptions& options;
    RunFrontEnd& frontEnd;
    QThreadPool pool;
    std::shared_ptr<MemoryBudget> budget = std::make_shared<MemoryBudget>();
    bool imagingFailed = false;
    bool running = false;

    // The run in progress.
    QPointer<const FileList> list;
    std::unique_ptr<Planner> planner;
    std::unique_ptr<ErrorReport> guard;
    std::shared_ptr<std::atomic_bool> cancelled;
    Operation operation = Operation::None;
    int bound = 0;
    int nextToPlan = 1;
    int nextToDeliver = 1;
    int inFlight = 0;
    bool delivering = false;
    std::map<int, FileInFlight> files;
    QString failedFiles;
    QString partlyKept;  // inputs with pages after the first, which are not kept
    RunSummary summary;
};

void BatchRun::Private::start(const FileList& fileList) {
    running = true;
    summary = RunSummary();
    failedFiles.clear();
    partlyKept.clear();
    guard = std::make_unique<ErrorReport>(frontEnd.dialogs(), StartLocation);

    if (guard->test(
            104, [&] { return fileList.count() == 0; }, false)) {
        refuse(292, QStringLiteral("No files added."), MessageIcon::None);
        return;
    }
    if (guard->test(
            106, [&] { return !FolderExists(options.resultsFolder()); }, false)) {
        refuse(290, QStringLiteral("Folder does not exist. Please select another folder."),
               MessageIcon::None);
        return;
    }
    if (imagingFailed) {
        refuse(288, QStringLiteral("GDI+ Initialization Failed."), MessageIcon::Exclamation);
        return;
    }
    guard->step(110, [&] { operation = options.operation(); });
    if (operation == Operation::None) {
        finish();
        return;
    }
    // The list is taken as it is now: moving or removing entries during the run can neither
    // process a file twice nor skip one.
    list = &fileList;
    const QStringList snapshot = fileList.paths();
    bound = int(snapshot.size());
    planner = std::make_unique<Planner>(options, operation, snapshot);
    cancelled = std::make_shared<std::atomic_bool>(false);
    nextToPlan = 1;
    nextToDeliver = 1;
    inFlight = 0;
    files.clear();
    frontEnd.setBusy(true);
    pump();
}

void BatchRun::Private::pump() {
    // One file waits ready behind the busy workers, so none of them idles between files, while
    // options changed during the run still reach the files planned after the change.
    const int window = pool.maxThreadCount() + 1;
    while (running && !cancelled->load() && nextToPlan <= bound && inFlight < window) {
        const int index = nextToPlan++;
        FileInFlight& entry = files[index];
        const int count = list ? list->count() : bound;
        entry.progress = int(double(index) / double(count > 0 ? count : bound) * 100.0);
        PlannedFile file = planner->plan(index, entry.planReports);
        entry.path = file.path;
        if (operation == Operation::Rotate) {
            entry.progressText = QStringLiteral("Processing: ") + GetFileName(file.path);
        }
        submit(file);
    }
}

void BatchRun::Private::submit(const PlannedFile& file) {
    ++inFlight;
    QPointer<BatchRun> owner(q);
    std::shared_ptr<std::atomic_bool> flag = cancelled;
    std::shared_ptr<MemoryBudget> room = budget;
    pool.start([owner, flag, room, file] {
        // Worker thread: decode, transform and encode one file.
        FileResult result = runFileJob(file, *flag, room.get());
        QMetaObject::invokeMethod(
            owner,
            [owner, result] {
                if (owner) {
                    owner->d->onResult(result);
                }
            },
            Qt::QueuedConnection);
    });
}

void BatchRun::Private::onResult(FileResult result) {
    --inFlight;
    if (!running) {
        return;
    }
    files[result.index].result = std::move(result);
    deliver();
    pump();
}

void BatchRun::Private::deliver() {
    // A message box shown here serves the event loop; results arriving meanwhile wait for this
    // loop, so reports always come in list order.
    if (delivering) {
        return;
    }
    delivering = true;
    while (running) {
        auto it = files.find(nextToDeliver);
        if (it == files.end() || !it->second.result) {
            break;
        }
        FileInFlight entry = std::move(it->second);
        files.erase(it);
        ++nextToDeliver;
        const FileResult& result = *entry.result;
        frontEnd.setBusy(true);
        frontEnd.setProgressValue(entry.progress);
        if (!entry.progressText.isEmpty()) {
            frontEnd.setProgressText(entry.progressText);
        }
        for (const FileReport& report : entry.planReports) {
            guard->report(report.statement, report.description);
        }
        for (const FileReport& report : result.reports) {
            guard->report(report.statement, report.description);
        }
        switch (result.outcome) {
            case FileOutcome::Written:
                ++summary.written;
                break;
            case FileOutcome::NotLoaded:
                ++summary.notLoaded;
                break;
            case FileOutcome::NotWritten:
            case FileOutcome::Skipped:
                ++summary.notWritten;
                break;
        }
        if (result.droppedPages > 0 && result.outcome == FileOutcome::Written) {
            partlyKept += QStringLiteral("\r\n") + entry.path;
        }
        if (result.listAsFailed) {
            failedFiles += QStringLiteral("\r\n") + entry.path;
        }
    }
    delivering = false;
    if (running && nextToDeliver > bound) {
        finish();
    }
}

void BatchRun::Private::finish() {
    if (!failedFiles.isEmpty()) {
        failedFiles = QStringLiteral("\r\n\r\nThese files:\r\n") + failedFiles +
                      QStringLiteral("\r\n\r\ncould not be loaded.");
    }
    frontEnd.setBusy(false);
    frontEnd.setProgressValue(0);
    frontEnd.setProgressText(QStringLiteral("Progress Bar"));
    summary.closingMessage = QStringLiteral("Done.") + failedFiles;
    if (!partlyKept.isEmpty()) {
        summary.closingMessage +=
            QStringLiteral("\r\n\r\nOnly the first page of these files was kept:\r\n") + partlyKept;
    }
    planner.reset();
    list = nullptr;
    frontEnd.showClosingMessage(summary.closingMessage, MessageIcon::None);
    running = false;
    emit q->finished(summary);
}

void BatchRun::Private::refuse(int number, const QString& text, MessageIcon icon) {
    Q_UNUSED(number);
    summary.refused = true;
    summary.closingMessage = text;
    frontEnd.showClosingMessage(text, icon);
    running = false;
    emit q->finished(summary);
}

BatchRun::BatchRun(const JobOptions& options, RunFrontEnd& frontEnd, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, options, frontEnd)) {
    qRegisterMetaType<zentavo::RunSummary>();
}

BatchRun::~BatchRun() {
    cancel();
}

void BatchRun::setJobs(int jobs) {
    d->pool.setMaxThreadCount(jobs > 0 ? jobs : QThread::idealThreadCount());
}

void BatchRun::setImagingFailed(bool failed) {
    d->imagingFailed = failed;
}

void BatchRun::PushButton2_Click(const FileList& list) {
    if (d->running) {
        return;
    }
    d->start(list);
}

bool BatchRun::isRunning() const {
    return d->running;
}

void BatchRun::cancel() {
    if (d->cancelled) {
        d->cancelled->store(true);
    }
    // Queued files never start; files in flight finish their current write (whole, or not at
    // all) and their results are dropped.
    d->pool.clear();
    d->pool.waitForDone();
    if (d->running) {
        d->running = false;
        d->planner.reset();
        d->files.clear();
        d->frontEnd.setBusy(false);
    }
}

void BatchRun::waitForFinished() {
    if (!d->running) {
        return;
    }
    QEventLoop loop;
    connect(this, &BatchRun::finished, &loop, &QEventLoop::quit);
    if (d->running) {
        loop.exec();
    }
}

}  // namespace zentavo
