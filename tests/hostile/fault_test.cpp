// Faults during a run of zentavo-batch: a results folder that is read-only, full or removed, an
// input that vanishes, becomes a folder or grows, and the process killed mid-write. Each must
// leave complete earlier outputs, no partial file under a final name, the inputs intact, and a
// reported failure for the file concerned.

#include "imagefiles/loadpicfile.h"
#include "tests/hostile/batchprocess.h"
#include "tests/hostile/hostilebytes.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace zentavo;
using namespace zentavo::test;

namespace {

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.isValid() && results.isValid());
        // The unprivileged runs must reach both folders.
        ::chmod(QFile::encodeName(inputs.path()).constData(), 0755);
        ::chmod(QFile::encodeName(results.path()).constData(), 0755);
    }

    // count BMP inputs of width x height, "p01.bmp" ... in list order.
    QStringList makeInputs(int count, int width, int height) {
        const QByteArray bmp = bmpOf(patternImage(width, height));
        QStringList paths;
        for (int i = 1; i <= count; ++i) {
            paths << inputs.filePath(QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0')));
            QFile file(paths.back());
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bmp) == bmp.size());
        }
        return paths;
    }

    // Every file under a final name in folder is a whole picture; temporary files of the
    // writer are counted apart. Returns the names of the complete outputs.
    QStringList expectOnlyCompleteOutputs(const QString& folder, int* temporaries = nullptr) {
        QStringList complete;
        for (const QByteArray& raw : rawEntries(folder)) {
            const QString name = QFile::decodeName(raw);
            if (name.startsWith(QLatin1String(".zt-")) && name.endsWith(QLatin1String(".tmp"))) {
                if (temporaries) {
                    ++*temporaries;
                }
                continue;
            }
            const LoadResult loaded = loadPicture(QDir(folder).filePath(name));
            EXPECT_TRUE(loaded.ok())
                << name.toStdString() << " is not a whole picture: " << loaded.reason.toStdString();
            complete << name;
        }
        return complete;
    }

    // Waits until folder holds at least one complete output (or the process ended).
    static bool waitForFirstOutput(const QString& folder, QProcess& process) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 60000 && process.state() != QProcess::NotRunning) {
            for (const QByteArray& name : rawEntries(folder)) {
                if (!name.startsWith(".zt-")) {
                    return true;
                }
            }
            QThread::msleep(5);
        }
        return false;
    }

    QTemporaryDir inputs;
    QTemporaryDir results;
};

TEST_F(Faults, AReadOnlyResultsFolderReportsEveryFileAndWritesNothing) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to run as an unprivileged user";
    }
    const QStringList paths = makeInputs(3, 16, 12);
    const auto before = folderFingerprint(inputs.path());
    const BatchProcess run =
        runBatch(QStringList{"-q", "-o", results.path()} + paths, 60000, asNobody());
    ASSERT_FALSE(run.crashed || run.timedOut);
    EXPECT_EQ(run.exitCode, 1) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.err).count(QLatin1String("Cannot save the image.")), 3)
        << run.err.constData();
    EXPECT_TRUE(rawEntries(results.path()).isEmpty());
    EXPECT_EQ(folderFingerprint(inputs.path()), before);
}

TEST_F(Faults, AnUnreadableInputIsNamedAndTheOthersAreWritten) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to run as an unprivileged user";
    }
    const QStringList paths = makeInputs(3, 16, 12);
    ASSERT_EQ(::chown(QFile::encodeName(results.path()).constData(), 65534, 65534), 0);
    ::chmod(QFile::encodeName(paths[1]).constData(), 0);
    const BatchProcess run =
        runBatch(QStringList{"-q", "-o", results.path()} + paths, 60000, asNobody());
    ASSERT_FALSE(run.crashed || run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(paths[1])) << run.out.constData();
    EXPECT_EQ(expectOnlyCompleteOutputs(results.path()),
              QStringList({"p01_flipped.bmp", "p03_flipped.bmp"}));
}

TEST_F(Faults, AFullDiskFailsTheLargeOutputCleanlyAndKeepsTheSmallOnes) {
    if (QStandardPaths::findExecutable(QStringLiteral("prlimit")).isEmpty()) {
        GTEST_SKIP() << "needs prlimit";
    }
    // Outputs larger than the file-size limit meet EFBIG, as on a full disk; the small ones fit.
    QStringList paths = makeInputs(2, 8, 8);
    const QByteArray big = bmpOf(patternImage(200, 200));
    paths.insert(1, inputs.filePath(QStringLiteral("big.bmp")));
    QFile file(paths[1]);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(big) == big.size());
    file.close();
    const auto before = folderFingerprint(inputs.path());
    const BatchProcess run = runBatch(QStringList{"-q", "-o", results.path()} + paths, 60000,
                                      {QStringLiteral("prlimit"), QStringLiteral("--fsize=65536")});
    ASSERT_FALSE(run.timedOut);
    ASSERT_FALSE(run.crashed) << "killed by signal " << run.signal << " (SIGXFSZ not ignored?)";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Cannot save the image.")) << run.err.constData();
    int temporaries = 0;
    EXPECT_EQ(expectOnlyCompleteOutputs(results.path(), &temporaries),
              QStringList({"p01_flipped.bmp", "p02_flipped.bmp"}));
    EXPECT_EQ(temporaries, 0);
    EXPECT_EQ(folderFingerprint(inputs.path()), before);
}

TEST_F(Faults, TheResultsFolderRemovedMidRunFailsTheRestWithoutRecreatingIt) {
    const QStringList paths = makeInputs(30, 800, 600);
    const QString folder = results.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkdir(folder));
    QProcess process;
    process.start(batchProgram(), QStringList{"-q", "-j", "1", "-o", folder} + paths);
    ASSERT_TRUE(waitForFirstOutput(folder, process));
    // Moved away in one step, so that what it held can still be examined.
    const QString moved = results.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().rename(folder, moved));
    ASSERT_TRUE(process.waitForFinished(120000));
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("Cannot save the image."));
    EXPECT_FALSE(QFile::exists(folder)) << "the results folder was made again";
    const QStringList complete = expectOnlyCompleteOutputs(moved);
    EXPECT_GE(complete.size(), 1);
    EXPECT_LT(complete.size(), 30);
}

TEST_F(Faults, InputsThatVanishOrBecomeFoldersAreNamedAndAGrowingInputStillLoads) {
    QStringList paths = makeInputs(30, 800, 600);
    // The last three change while the first ones are worked on.
    const QString vanishing = paths[27];
    const QString becomesFolder = paths[28];
    const QString growing = inputs.filePath(QStringLiteral("growing.jpg"));
    const QByteArray jpeg = jpegOf(patternImage(64, 48));
    {
        QFile file(growing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
    }
    paths[29] = growing;
    QProcess process;
    process.start(batchProgram(), QStringList{"-q", "-j", "1", "-o", results.path()} + paths);
    ASSERT_TRUE(waitForFirstOutput(results.path(), process));
    ASSERT_TRUE(QFile::remove(vanishing));
    ASSERT_TRUE(QFile::remove(becomesFolder) && QDir().mkdir(becomesFolder));
    std::atomic_bool stop = false;
    std::thread grower([&] {
        // Bytes after the end-of-image marker: the picture is whole however far it has grown.
        QFile file(growing);
        if (file.open(QIODevice::Append)) {
            const QByteArray block(64 * 1024, '\0');
            while (!stop && file.size() < (qint64(32) << 20)) {
                file.write(block);
                file.flush();
            }
        }
    });
    const bool finished = process.waitForFinished(120000);
    stop = true;
    grower.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(vanishing + QLatin1Char('\n'))) << out.toStdString();
    EXPECT_TRUE(out.contains(becomesFolder + QLatin1Char('\n'))) << out.toStdString();
    EXPECT_FALSE(out.contains(growing)) << out.toStdString();
    const QStringList written = expectOnlyCompleteOutputs(results.path());
    EXPECT_EQ(written.size(), 28);
    EXPECT_TRUE(written.contains(QStringLiteral("growing_flipped.jpg")));
}

TEST_F(Faults, KilledMidWriteLeavesOnlyCompleteOutputsAndIntactInputs) {
    const QStringList paths = makeInputs(8, 1600, 1200);
    const auto before = folderFingerprint(inputs.path());
    int temporaries = 0;
    for (const int delayMs : {0, 7, 23, 61}) {
        SCOPED_TRACE(delayMs);
        QDir(results.path()).removeRecursively();
        QDir().mkpath(results.path());
        QProcess process;
        process.start(batchProgram(), QStringList{"-q", "-j", "2", "-o", results.path()} + paths);
        ASSERT_TRUE(waitForFirstOutput(results.path(), process));
        QThread::msleep(delayMs);
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(30000);
        const QStringList complete = expectOnlyCompleteOutputs(results.path(), &temporaries);
        EXPECT_GE(complete.size(), 1);
        for (const QString& name : complete) {
            EXPECT_EQ(loadPicture(results.filePath(name)).picture.width(), 1600)
                << name.toStdString();
        }
        EXPECT_EQ(folderFingerprint(inputs.path()), before);
    }
    // A killed run cannot remove its own temporary file; it stays hidden as ".zt-*.tmp" and is
    // never taken for an output.
    std::printf("temporary files left by the killed runs: %d\n", temporaries);
}

}  // namespace
