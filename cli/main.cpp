// zentavo-batch: flips or rotates the pictures named on the command line with the same engine
// as the window.

#include "batch/batchrun.h"
#include "batch/naming.h"
#include "cli/cliarguments.h"
#include "cli/clifrontend.h"
#include "cli/pathlist.h"
#include "filelist/filelist.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/imaging.h"
#include "imagefiles/libraries/librarymessages.h"
#include "report/filenames.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>

using namespace zentavo;

namespace {

enum ExitStatus { AllWritten = 0, SomeFailed = 1, NothingDone = 2 };

// Interrupts during a run. The first SIGINT or SIGTERM stops the run as the Stop button does
// (the handler only writes the signal to a pipe the event loop reads); a second one ends the
// program at once, removing the files still being written so that no partial file remains.
int stopPipe[2] = {-1, -1};
std::atomic<int> stopSignals{0};

void onStopSignal(int number) {
    if (stopSignals.fetch_add(1) > 0) {
        removeUnfinishedFiles();
        // The shell's prompt must not run on after the progress line.
        CliFrontEnd::endProgressLineForExit();
        ::_exit(128 + number);
    }
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

// Installs the handlers; stop is called on the event loop with the signal's number.
bool catchStopSignals(QObject* context, std::function<void(int)> stop) {
    static_assert(std::atomic<int>::is_always_lock_free);
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop] {
        char byte = 0;
        while (::read(stopPipe[0], &byte, 1) == 1) {
            stop(int(byte));
        }
    });
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// Each entry and its output path, a tab between, one entry a line (NUL-ended with -0), the
// names as the bytes they are. The name an output takes when both are kept is only known when
// it is written; the planned name is shown.
void printDryRun(const FileList& list, const CliArguments& arguments) {
    const FixedJobOptions& options = arguments.options;
    const QStringList treeFolders = options.tree ? list.treeFolders() : QStringList();
    const char end = arguments.nullSeparated ? '\0' : '\n';
    QByteArray out;
    const int count = list.count();
    for (int i = 1; i <= count; ++i) {
        const QString path = list.text(i);
        out += encodeFileName(path);
        out += '\t';
        out +=
            encodeFileName(outputPath(options.folder, treeFolders.value(i - 1), path, options.op));
        out += end;
        if (out.size() > (1 << 20)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file-size limit the kernel sends SIGXFSZ, which would end the run mid-batch; ignored,
    // the write fails with EFBIG and that file is reported like any full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    // Every file of a batch needs the same large buffers again (the file's bytes, its encoded
    // output, decoder buffers of tens of megabytes). Kept in the heap between files rather than
    // given back to the system, they are not faulted in and zeroed afresh for each file; the
    // process ends with its batch, so nothing is held for long. One heap for all threads: the
    // pool starts a new thread whenever a worker lends its place during a sync, and a thread's
    // own heap would begin empty.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_ARENA_MAX, 1);
    QStringList rawArguments;
    for (int i = 1; i < argc; ++i) {
        rawArguments << decodeFileName(argv[i]);
    }
    const CliArguments arguments = parseCliArguments(rawArguments);
    if (arguments.version) {
        std::printf("zentavo-batch %s\n", ZENTAVO_VERSION);
        return AllWritten;
    }
    if (arguments.help) {
        std::fputs(cliUsage().toLocal8Bit().constData(), stdout);
        return AllWritten;
    }
    if (!arguments.ok()) {
        std::fprintf(stderr, "zentavo-batch: %s\nTry 'zentavo-batch --help'.\n",
                     arguments.error.toLocal8Bit().constData());
        return NothingDone;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zentavo"));
    // The reports on standard error are ours alone; what a library says about a file reaches
    // the user inside that file's reason.
    installLibraryMessageHandlers();

    QStringList paths = arguments.paths;
    if (!arguments.filesFrom.isEmpty()) {
        QStringList listed;
        QString error;
        if (!readPathList(arguments.filesFrom, arguments.nullSeparated, listed, error)) {
            std::fprintf(stderr, "zentavo-batch: %s\n",
                         CliFrontEnd::forTerminal(error).toLocal8Bit().constData());
            return NothingDone;
        }
        paths += listed;
    }
    FileList list;
    const bool progress = !arguments.quiet && !arguments.dryRun && ::isatty(STDERR_FILENO);
    CliFrontEnd frontEnd(stderr, progress, 0);
    frontEnd.setVerbose(arguments.verbose);
    fillList(list, paths, arguments.scanExtension, frontEnd);

    if (arguments.dryRun) {
        printDryRun(list, arguments);
        return AllWritten;
    }

    CliFrontEnd runFrontEnd(stderr, progress, list.count());
    runFrontEnd.setVerbose(arguments.verbose);
    ImagingStartup imaging;
    BatchRun run(arguments.options, runFrontEnd);
    run.setJobs(arguments.jobs);
    // The options of a command line never change during the run: a worker done with a small
    // file takes the next one even while an earlier, larger one is still being worked on.
    run.setPlanAhead(4);
    run.setImagingFailed(!imaging.start());
    RunSummary summary;
    QObject::connect(&run, &BatchRun::finished, [&](const RunSummary& s) { summary = s; });
    int stoppedBy = 0;
    catchStopSignals(&run, [&](int number) {
        if (stoppedBy == 0) {
            stoppedBy = number;
        }
        run.stop();
    });
    run.PushButton2_Click(list);
    run.waitForFinished();
    imaging.end();

    if (summary.refused) {
        std::fprintf(stderr, "%s\n", summary.closingMessage.toLocal8Bit().constData());
        return NothingDone;
    }
    std::printf("%s\n", CliFrontEnd::forTerminal(summary.closingMessage).toLocal8Bit().constData());
    if (summary.stopped && stoppedBy != 0) {
        return 128 + stoppedBy;  // 130 for SIGINT, 143 for SIGTERM, as a shell reports them
    }
    return summary.notLoaded + summary.notWritten > 0 ? SomeFailed : AllWritten;
}
