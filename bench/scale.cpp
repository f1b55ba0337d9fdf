// The list and the folder walk at scale:
//  - appending 100,000 entries to the file list alone, then to the list shown in the window's
//    list view (offscreen), timed until the append returns and until the view has laid out and
//    painted;
//  - the folder walk over 100,000 files in 1,000 folders against the plain walk any tool makes
//    (nftw, opening and closing each file), both with a warm cache.
// The tree is made once under /tmp and reused.
// Usage: zentavo-bench-scale [repetitions [list|walk]]
#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "shell/filelistview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

using namespace zentavo;

namespace {

constexpr int Entries = 100'000;
constexpr int TopFolders = 10;
constexpr int FoldersPerTop = 100;
constexpr int FilesPerFolder = 100;
const char* const TreeRoot = "/tmp/zentavo-bench-scale-tree";
const char* const TreeDone = "/tmp/zentavo-bench-scale-tree.complete";

struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

// Best wall and processor time of several runs: other work on the machine only ever adds.
Timing best(int repetitions, const std::function<void()>& work) {
    Timing result;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        work();
        result.cpu = std::min(result.cpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        result.wall = std::min(result.wall, timer.nsecsElapsed() / 1e9);
    }
    return result;
}

void print(const char* label, const Timing& t) {
    std::printf("  %-56s %8.3f s wall %8.3f s cpu\n", label, t.wall, t.cpu);
}

QStringList cameraPaths() {
    QStringList paths;
    paths.reserve(Entries);
    for (int i = 0; i < Entries; ++i) {
        paths << QStringLiteral("/home/user/Pictures/%1/IMG_%2.JPG")
                     .arg(2000 + i / 5000)
                     .arg(i, 6, 10, QLatin1Char('0'));
    }
    return paths;
}

void benchList(int repetitions) {
    const QStringList paths = cameraPaths();
    std::printf("Appending %d entries (target: at most 1 s)\n", Entries);
    print("FileList::append, model alone", best(repetitions, [&] {
              FileList list;
              list.append(paths);
          }));
    print("one entry at a time, model alone", best(repetitions, [&] {
              FileList list;
              for (const QString& path : paths) {
                  list.append(path);
              }
          }));

    // The view as the window sets it up: one column, the window's column width, shown. A folder
    // scan arrives as one list; files picked or dropped one by one arrive one at a time.
    for (const bool oneByOne : {false, true}) {
        Timing returned;
        Timing painted;
        for (int i = 0; i < repetitions; ++i) {
            FileList list;
            FileListView view(list);
            view.columns().addColumn(QStringLiteral("Image File(s)"));
            view.setColumnWidth(0, 467);
            view.resize(520, 451);
            view.show();
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            const std::clock_t cpuStart = std::clock();
            if (oneByOne) {
                for (const QString& path : paths) {
                    list.append(path);
                }
            } else {
                list.append(paths);
            }
            returned.wall = std::min(returned.wall, timer.nsecsElapsed() / 1e9);
            returned.cpu = std::min(returned.cpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            view.scrollToBottom();
            QApplication::sendPostedEvents();
            QApplication::processEvents();
            view.viewport()->repaint();
            painted.wall = std::min(painted.wall, timer.nsecsElapsed() / 1e9);
            painted.cpu = std::min(painted.cpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        }
        print(oneByOne ? "one at a time, shown view: until the last returns"
                       : "one call, shown view: until it returns",
              returned);
        print(oneByOne ? "one at a time, shown view: scrolled to the end, painted"
                       : "one call, shown view: scrolled to the end, painted",
              painted);
    }
}

bool makeTree() {
    if (QFile::exists(QString::fromLatin1(TreeDone))) {
        return true;
    }
    std::printf("Making %d files in %d folders under %s (once)\n",
                TopFolders * FoldersPerTop * FilesPerFolder, TopFolders * FoldersPerTop, TreeRoot);
    for (int top = 0; top < TopFolders; ++top) {
        for (int sub = 0; sub < FoldersPerTop; ++sub) {
            const QString folder = QStringLiteral("%1/%2/%3")
                                       .arg(TreeRoot)
                                       .arg(2010 + top)
                                       .arg(sub, 3, 10, QLatin1Char('0'));
            if (!QDir().mkpath(folder)) {
                return false;
            }
            for (int i = 0; i < FilesPerFolder; ++i) {
                const QByteArray path = QFile::encodeName(
                    folder + QStringLiteral("/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || ::write(fd, "\xff\xd8\xff\xd9", 4) != 4 || ::close(fd) != 0) {
                    return false;
                }
            }
        }
    }
    QFile done(QString::fromLatin1(TreeDone));
    return done.open(QIODevice::WriteOnly);
}

long nftwFiles = 0;

int openEach(const char* path, const struct stat*, int kind, struct FTW*) {
    if (kind == FTW_F) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            ++nftwFiles;
        }
    }
    return 0;
}

void benchWalk(int repetitions) {
    if (!makeTree()) {
        std::fprintf(stderr, "cannot make the tree under %s\n", TreeRoot);
        std::exit(1);
    }
    const QString root = QString::fromLatin1(TreeRoot);
    qsizetype found = 0;
    // A first walk warms the cache for both sides.
    ::nftw(TreeRoot, openEach, 64, FTW_PHYS);
    std::printf("Walking %d files in %d folders (target: at most twice the plain walk)\n",
                TopFolders * FoldersPerTop * FilesPerFolder, TopFolders * FoldersPerTop);
    const Timing plain = best(repetitions, [&] {
        nftwFiles = 0;
        ::nftw(TreeRoot, openEach, 64, FTW_PHYS);
    });
    const Timing find = best(repetitions, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f")});
        process.waitForFinished(-1);
    });
    const Timing scan = best(repetitions, [&] {
        found =
            scanFolderTree(root, QStringLiteral("*.*"), nullptr, QStringLiteral("Zentavo")).size();
    });
    std::printf("  %-56s %8.3f s wall\n", "find -type f (listing only, for scale)", find.wall);
    print("nftw, opening and closing each file", plain);
    print("scanFolderTree(folder, \"*.*\")", scan);
    std::printf("  files: %ld by nftw, %lld by scanFolderTree; ratio %.2f wall, %.2f cpu\n",
                nftwFiles, static_cast<long long>(found), scan.wall / plain.wall,
                scan.cpu / std::max(plain.cpu, 1e-6));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (only != "walk") {
        benchList(repetitions);
    }
    if (only != "list") {
        benchWalk(repetitions);
    }
    return 0;
}
