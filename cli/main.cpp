// zentavo-batch: flips or rotates the pictures named on the command line with the same engine
// as the window.

#include "batch/batchrun.h"
#include "batch/naming.h"
#include "cli/cliarguments.h"
#include "cli/clifrontend.h"
#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/imaging.h"
#include "imagefiles/libraries/librarymessages.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>

using namespace zentavo;

namespace {

enum ExitStatus { AllWritten = 0, SomeFailed = 1, NothingDone = 2 };

bool isFolder(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The list as the window would have it: a file as given, a folder expanded as a dropped folder
// or, with --scan, as "Add All File(s) In Folder" expands it.
void fillList(FileList& list, const CliArguments& arguments, Dialogs& dialogs) {
    const QString pattern = arguments.scanExtension.isEmpty()
                                ? QStringLiteral("*.*")
                                : extensionPattern(arguments.scanExtension);
    for (const QString& path : arguments.paths) {
        if (isFolder(path)) {
            QString folder = path;
            while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
                folder.chop(1);
            }
            list.append(scanFolderTree(folder, pattern, &dialogs, QStringLiteral("Zentavo")));
        } else {
            list.append(path);
        }
    }
}

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
        rawArguments << QFile::decodeName(argv[i]);
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

    FileList list;
    const bool progress = !arguments.quiet && !arguments.dryRun && ::isatty(STDERR_FILENO);
    CliFrontEnd frontEnd(stderr, progress, 0);
    frontEnd.setVerbose(arguments.verbose);
    fillList(list, arguments, frontEnd);

    if (arguments.dryRun) {
        const Operation operation = arguments.options.op;
        for (int i = 1; i <= list.count(); ++i) {
            const QString path = list.text(i);
            std::printf("%s\t%s\n", QFile::encodeName(path).constData(),
                        QFile::encodeName(outputPath(arguments.options.folder, path, operation))
                            .constData());
        }
        return AllWritten;
    }

    CliFrontEnd runFrontEnd(stderr, progress, list.count());
    runFrontEnd.setVerbose(arguments.verbose);
    ImagingStartup imaging;
    BatchRun run(arguments.options, runFrontEnd);
    run.setJobs(arguments.jobs);
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
