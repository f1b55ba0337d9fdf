#include "batch/batchrun.h"

#include "batch/closingmessage.h"
#include "batch/filejob.h"
#include "batch/memorybudget.h"
#include "batch/naming.h"
#include "batch/planner.h"
#include "batch/runorder.h"
#include "filelist/filelist.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/files/diskwait.h"
#include "imagefiles/libraries/codecthreads.h"
#include "report/errorreport.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace zentavo {

namespace {

const QString StartLocation = QStringLiteral("in Zentavo2021/08/31.Form1.PushButton2_Click ");

// A file between planning and delivery.
struct FileInFlight {
    QString path;
    QString outputPath;
    int progress = 0;
    QString progressText;  // set in rotate runs
    std::optional<FileResult> result;
};

// What the workers of one run share with it. Results carry their run, so a result of a run
// that was cancelled never reaches a later one.
struct RunState {
    explicit RunState(int id) : id(id) {}
    const int id;
    std::atomic_bool cancelled{false};
    RunOrder order;

    // Planned files wait here in list order. The pool may start a task submitted later ahead of
    // one still queued (when a worker lends its place during a disk wait), so a task takes
    // whichever file is first, never the one it was submitted with: a file waiting for an
    // earlier file's turn then never holds the only worker that earlier file could run on.
    void push(PlannedFile file) {
        const std::lock_guard<std::mutex> lock(queueMutex);
        queue.push_back(std::move(file));
    }
    PlannedFile takeFirst() {
        const std::lock_guard<std::mutex> lock(queueMutex);
        PlannedFile file = std::move(queue.front());
        queue.pop_front();
        return file;
    }

private:
    std::mutex queueMutex;
    std::deque<PlannedFile> queue;
};

int progressValue(int index, int count) {
    // The share of the list reached, as a whole number: rounded to the nearest, halves to even,
    // as a whole-number property takes a floating value (29 of 100 is 29, 2 of 3 is 67).
    const double share = double(index) / double(count) * 100.0;
    return int(std::nearbyint(share));
}

}  // namespace

int codecThreadsFor(int cores, int jobs, int files) {
    const int atOnce = std::max(1, std::min(jobs, files));
    return std::max(1, cores / atOnce);
}

class BatchRun::Private {
public:
    Private(BatchRun* q, const JobOptions& options, RunFrontEnd& frontEnd)
        : q(q), options(options), frontEnd(frontEnd) {
        setJobs(QThread::idealThreadCount());
    }

    void setJobs(int jobs) {
        pool.setMaxThreadCount(jobs);
        sizeFinishers();
    }

    // The files planned but not yet delivered, at most.
    int window() const {
        const int workers = pool.maxThreadCount();
        return planAhead > 1 ? workers * planAhead : workers + 1;
    }

    // Every file of the window may be waiting for its sync at once: on a slow disk the syncs then
    // overlap, as the disk's queue likes, rather than wait for each other.
    void sizeFinishers() { finishers.setMaxThreadCount(window()); }

    void start(const FileList& list);
    void pump();
    void submit(const PlannedFile& file);
    void onResult(int runId, FileResult result);
    static void post(const QPointer<BatchRun>& owner, int runId, FileResult result);
    void deliver();
    void finish();
    void refuse(int number, const QString& text, MessageIcon icon);
    void abandon();
    void reportError(const QString& path, const FileReport& report);

    BatchRun* q;
    const JobOptions& options;
    RunFrontEnd& frontEnd;
    QThreadPool pool;
    // Threads that sync and name the JPEG outputs the workers leave unfinished, so a worker goes
    // on with the next file instead of waiting for the disk.
    QThreadPool finishers;
    std::shared_ptr<MemoryBudget> budget = std::make_shared<MemoryBudget>();
    bool imagingFailed = false;
    bool running = false;
    int lastRunId = 0;
    int planAhead = 1;

    // The run in progress.
    std::shared_ptr<RunState> run;
    QPointer<const FileList> list;
    std::unique_ptr<Planner> planner;
    std::unique_ptr<ErrorReport> guard;
    Operation operation = Operation::None;
    int bound = 0;
    int nextToPlan = 1;
    int nextToDeliver = 1;
    bool stopping = false;  // Stop was pressed: nothing more is planned
    int processed = 0;      // files delivered with their output written or already there
    bool delivering = false;
    std::map<int, FileInFlight> files;
    ClosingMessage closing;
    bool showNoMoreErrors = false;  // ticked in an error box of this run
    RunSummary summary;
};

void BatchRun::Private::start(const FileList& fileList) {
    running = true;
    summary = RunSummary();
    closing = ClosingMessage();
    showNoMoreErrors = false;
    stopping = false;
    processed = 0;
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
    run = std::make_shared<RunState>(++lastRunId);
    planner = std::make_unique<Planner>(options, operation, snapshot, &run->order,
                                        fileList.treeFolders());
    nextToPlan = 1;
    nextToDeliver = 1;
    files.clear();
    setCodecThreads(codecThreadsFor(QThread::idealThreadCount(), pool.maxThreadCount(), bound));
    frontEnd.setBusy(true);
    frontEnd.runStarted(bound, options.resultsFolder());
    pump();
}

void BatchRun::Private::pump() {
    // Files wait ready behind the busy workers, so none of them idles between files. What is
    // planned but not yet delivered stays within that window, so a slow file holds back the
    // planning too. By default the window is one file more than the workers, so options changed
    // during the run reach every file the bar has not reached; a front end whose options cannot
    // change plans further ahead, so that a worker done with a later file need not wait for the
    // delivery of an earlier one that is still being worked on.
    while (running && !stopping && nextToPlan <= bound && nextToPlan - nextToDeliver < window()) {
        const int index = nextToPlan++;
        FileInFlight& entry = files[index];
        const int count = list ? list->count() : bound;
        entry.progress = progressValue(index, count > 0 ? count : bound);
        PlannedFile file = planner->plan(index);
        entry.path = file.path;
        entry.outputPath = file.outputPath;
        if (operation == Operation::Rotate) {
            entry.progressText = QStringLiteral("Processing: ") + GetFileName(file.path);
        }
        submit(file);
    }
}

void BatchRun::Private::submit(const PlannedFile& file) {
    QPointer<BatchRun> owner(q);
    std::shared_ptr<RunState> state = run;
    std::shared_ptr<MemoryBudget> room = budget;
    QThreadPool* workers = &pool;
    QThreadPool* finishing = &finishers;
    state->push(file);
    pool.start([owner, state, room, workers, finishing] {
        // Worker thread: decode, transform and encode one file. While it syncs an output of its
        // own, the file waiting behind it may start.
        const DiskWaitScope lending(workers);
        const PlannedFile file = state->takeFirst();
        std::unique_ptr<AtomicFile> unfinished;
        FileResult result =
            runFileJob(file, state->cancelled, state->order, room.get(), &unfinished);
        if (!unfinished) {
            post(owner, state->id, std::move(result));
            return;
        }
        std::shared_ptr<AtomicFile> output = std::move(unfinished);
        finishing->start([owner, state, file, result, output] {
            post(owner, state->id, finishFileJob(file, result, *output, state->order));
        });
    });
}

// Hands a file's result to the run, on the run's thread.
void BatchRun::Private::post(const QPointer<BatchRun>& owner, int runId, FileResult result) {
    QMetaObject::invokeMethod(
        owner,
        [owner, runId, result = std::move(result)] {
            if (owner) {
                owner->d->onResult(runId, result);
            }
        },
        Qt::QueuedConnection);
}

void BatchRun::Private::onResult(int runId, FileResult result) {
    if (!running || !run || run->id != runId) {
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
    const std::shared_ptr<RunState> current = run;
    while (running && run == current) {
        auto it = files.find(nextToDeliver);
        if (it == files.end() || !it->second.result) {
            break;
        }
        FileInFlight entry = std::move(it->second);
        files.erase(it);
        ++nextToDeliver;
        const FileResult& result = *entry.result;
        if (result.outcome == FileOutcome::Skipped && current->cancelled.load()) {
            // Dropped by Stop before it was done: neither shown nor counted.
            continue;
        }
        if (result.outcome == FileOutcome::Written || result.outcome == FileOutcome::ResultExists) {
            ++processed;
        }
        frontEnd.setBusy(true);
        frontEnd.setProgressValue(entry.progress);
        if (!entry.progressText.isEmpty()) {
            frontEnd.setProgressText(entry.progressText);
        }
        // While its report is up, the files behind this one go on.
        if (!result.reports.empty()) {
            pump();
        }
        for (const FileReport& report : result.reports) {
            reportError(entry.path, report);
            if (!running || run != current) {
                break;
            }
        }
        if (!running || run != current) {
            break;  // the window closed while a report was up
        }
        frontEnd.fileDelivered({result.index, entry.path, entry.outputPath, result.outcome,
                                result.reason, result.statement, result.reports});
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
            case FileOutcome::ResultExists:
                ++summary.resultExisted;
                closing.resultExisted << entry.path;
                break;
        }
        if (result.droppedPages > 0 && result.outcome == FileOutcome::Written) {
            closing.partlyKept << entry.path;
        }
        if (result.listAsFailed) {
            closing.notLoaded << entry.path;
        }
        if (result.reencoded && result.outcome == FileOutcome::Written) {
            closing.reencoded << entry.path;
        }
    }
    delivering = false;
    if (running && run == current && nextToDeliver >= nextToPlan &&
        (stopping || nextToDeliver > bound)) {
        finish();
    }
}

void BatchRun::Private::finish() {
    frontEnd.setBusy(false);
    frontEnd.setProgressValue(0);
    frontEnd.setProgressText(QStringLiteral("Progress Bar"));
    closing.stopped = stopping;
    closing.processed = processed;
    closing.total = bound;
    summary.stopped = stopping;
    summary.processed = processed;
    summary.total = bound;
    summary.closingMessage = closing.text();
    planner.reset();
    list = nullptr;
    run.reset();
    frontEnd.showClosingMessage(summary.closingMessage, MessageIcon::None);
    running = false;
    emit q->finished(summary);
}

void BatchRun::Private::reportError(const QString& path, const FileReport& report) {
    // Once "show no more" is ticked, or Stop was pressed (while a report was up, say), the
    // reports of the run are kept for the closing message.
    if (showNoMoreErrors || stopping) {
        closing.hiddenErrors << path + QStringLiteral(" (line ") +
                                    QString::number(report.statement) + QStringLiteral("): ") +
                                    reasonWithoutPath(report.description, path);
        return;
    }
    showNoMoreErrors = frontEnd.dialogs().reportWithCheckBox(
        errorReportMessage(report.description, StartLocation, report.statement),
        QLatin1String(ApplicationErrorTitle), MessageIcon::Exclamation,
        QStringLiteral("Show no more error messages in this run"));
}

void BatchRun::Private::refuse(int number, const QString& text, MessageIcon icon) {
    Q_UNUSED(number);
    summary.refused = true;
    summary.closingMessage = text;
    frontEnd.showClosingMessage(text, icon);
    running = false;
    emit q->finished(summary);
}

void BatchRun::Private::abandon() {
    if (run) {
        run->cancelled.store(true);
        run->order.cancel();
    }
    // Queued files never start; files in flight stop at their next check, leaving their output
    // whole or absent, and their results are dropped.
    pool.clear();
    if (running) {
        running = false;
        run.reset();
        planner.reset();
        files.clear();
        frontEnd.setBusy(false);
        summary.stopped = true;
        emit q->finished(summary);
    }
}

BatchRun::BatchRun(const JobOptions& options, RunFrontEnd& frontEnd, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, options, frontEnd)) {
    qRegisterMetaType<zentavo::RunSummary>();
}

BatchRun::~BatchRun() {
    cancel();
    d->pool.waitForDone();
    d->finishers.waitForDone();
}

void BatchRun::setPlanAhead(int filesPerWorker) {
    d->planAhead = std::max(1, filesPerWorker);
    d->sizeFinishers();
}

void BatchRun::setJobs(int jobs) {
    d->setJobs(jobs > 0 ? jobs : QThread::idealThreadCount());
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
    d->abandon();
}

void BatchRun::stop() {
    if (!d->running || !d->run || d->stopping) {
        return;
    }
    d->stopping = true;
    // Files not yet begun are dropped at once; files being worked on give up at their next
    // check. Each comes back (done or dropped) and the run then ends as usual.
    d->run->cancelled.store(true);
    d->run->order.cancel();
    d->deliver();
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
