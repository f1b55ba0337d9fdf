// zentavo-batch over a photo archive, end to end: trees kept, outputs that exist, file dates,
// lists from other tools, names that are not UTF-8, shards through GNU parallel, and a run
// killed and resumed.
#include "imagefiles/files/staletemporaries.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zentavo;
using namespace zentavo::test;

namespace {

const QString Batch = QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch");

struct Finished {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Finished run(const QString& program, const QStringList& arguments, const QString& workingFolder,
             const QByteArray& input = {}) {
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        return {-3, {}, QStringLiteral("did not finish within 300 s")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
}

Finished batch(const QStringList& arguments, const QString& workingFolder,
               const QByteArray& input = {}) {
    return run(Batch, arguments, workingFolder, input);
}

// A photograph-like JPEG, different for each seed, at a quality of its own so that
// Smart-Detect's estimates differ from file to file.
void photo(const QString& path, int seed, int width = 96, int height = 64) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] =
                qRgb((x * 3 + seed * 40) % 256, (y * 5 + seed * 17) % 256, ((x ^ y) * seed) % 256);
        }
    }
    ASSERT_TRUE(image.save(path, "JPG", 40 + (seed * 37) % 55));
}

// Every file below folder, by its path relative to folder, with its bytes.
QMap<QString, QByteArray> filesBelow(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QDir root(folder);
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        files.insert(root.relativeFilePath(path), readFile(path));
    }
    return files;
}

// The names in a folder as raw bytes, sorted.
QList<QByteArray> rawNames(const QString& folder) {
    QList<QByteArray> names;
    if (DIR* dir = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..") {
                names << name;
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray raw(const QString& path) {
    return QFile::encodeName(path);
}

// A process id that no process has: a child that has ended and been reaped.
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

// Lines of a closing message that name files of the archive (they start with a folder "f").
int namedFiles(const QByteArray& out) {
    int count = 0;
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith('f') && line.contains("/IMG_")) {
            ++count;
        }
    }
    return count;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work.isValid()); }
    QString at(const QString& relative) const { return work.filePath(relative); }

    // folders x perFolder camera files named alike in every folder: f1/IMG_0001.JPG, ...
    int makeArchive(int folders, int perFolder, int width = 96, int height = 64) {
        int seed = 0;
        for (int f = 1; f <= folders; ++f) {
            for (int i = 1; i <= perFolder; ++i) {
                photo(at(QStringLiteral("archive/f%1/IMG_%2.JPG").arg(f).arg(i, 4, 10, QChar('0'))),
                      ++seed, width, height);
            }
        }
        return seed;
    }
    QStringList folderNames(int folders) const {
        QStringList names;
        for (int f = 1; f <= folders; ++f) {
            names << QStringLiteral("f%1").arg(f);
        }
        return names;
    }

    QTemporaryDir work;
};

}  // namespace

TEST_F(ArchiveTest, AKeptTreeWritesTwoCameraFoldersSideBySideAndSingleFilesAtTheTop) {
    photo(at("card/DCIM/100CANON/IMG_0001.JPG"), 1);
    photo(at("card/DCIM/101CANON/IMG_0001.JPG"), 2);
    photo(at("card/single.jpg"), 3);
    QDir().mkpath(at("out"));
    const Finished kept =
        batch({"-q", "--rotate", "90", "--keep-tree", "-o", "out", "card/DCIM/", "card/single.jpg"},
              work.path());
    EXPECT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_EQ(filesBelow(at("out")).keys(),
              (QStringList{"DCIM/100CANON/IMG_0001_rotated.jpg",
                           "DCIM/101CANON/IMG_0001_rotated.jpg", "single_rotated.jpg"}));
    EXPECT_NE(readFile(at("out/DCIM/100CANON/IMG_0001_rotated.jpg")),
              readFile(at("out/DCIM/101CANON/IMG_0001_rotated.jpg")));
    // Without it both meet in the results folder: one output, one refusal.
    QDir().mkpath(at("flat"));
    const Finished flat = batch({"-q", "--rotate", "90", "-o", "flat", "card/DCIM"}, work.path());
    EXPECT_EQ(flat.exitCode, 1);
    EXPECT_TRUE(flat.err.contains("was already written by file 1 of this run"))
        << flat.err.toStdString();
    EXPECT_EQ(filesBelow(at("flat")).keys(), QStringList{"IMG_0001_rotated.jpg"});
}

TEST_F(ArchiveTest, OneJobOverManyTinyFilesTakesThemInListOrderAndEnds) {
    // Tiny files spend most of their time in the sync, where the one worker lends its place.
    // The command line plans several files ahead; a file started out of order used to wait
    // for an earlier one's turn on the only worker, and the run never ended.
    const int files = makeArchive(1, 300, 8, 8);
    QDir().mkpath(at("out"));
    const Finished done = batch({"-q", "-j", "1", "--rotate", "90", "--quality", "85",
                                 "--keep-tree", "-o", at("out"), at("archive/f1")},
                                work.path());
    ASSERT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_EQ(filesBelow(at("out")).size(), files);
}

TEST_F(ArchiveTest, AnOutputThatExistsIsReplacedSkippedOrKeptBesideTheNewOne) {
    photo(at("in/a.jpg"), 1);
    photo(at("in/b.jpg"), 2);
    QDir().mkpath(at("out"));
    writeFile(at("out/a_flipped.jpg"), "earlier");
    const Finished skip = batch({"--existing", "skip", "-o", "out", "in"}, work.path());
    EXPECT_EQ(skip.exitCode, 0);
    EXPECT_EQ(skip.out, "Done.\n\nThese files were skipped, their results exist:\n\nin/a.jpg\n");
    EXPECT_EQ(readFile(at("out/a_flipped.jpg")), "earlier");
    const Finished both = batch({"--existing", "keep-both", "-o", "out", "in"}, work.path());
    EXPECT_EQ(both.exitCode, 0);
    EXPECT_EQ(both.out, "Done.\n");
    EXPECT_EQ(filesBelow(at("out")).keys(), (QStringList{"a_flipped (2).jpg", "a_flipped.jpg",
                                                         "b_flipped (2).jpg", "b_flipped.jpg"}));
    EXPECT_EQ(readFile(at("out/b_flipped (2).jpg")), readFile(at("out/b_flipped.jpg")));
    const Finished replace = batch({"-q", "-o", "out", "in/a.jpg"}, work.path());
    EXPECT_EQ(replace.exitCode, 0);
    EXPECT_EQ(readFile(at("out/a_flipped.jpg")), readFile(at("out/a_flipped (2).jpg")));
}

TEST_F(ArchiveTest, KeptDatesGiveEachOutputItsInputsTimes) {
    photo(at("in/old.jpg"), 1);
    const timespec times[2] = {{1262304000, 5}, {1246406400, 700000000}};  // 2010, 2009
    ASSERT_EQ(::utimensat(AT_FDCWD, raw(at("in/old.jpg")).constData(), times, 0), 0);
    QDir().mkpath(at("out"));
    ASSERT_EQ(batch({"-q", "--keep-dates", "-o", "out", "in/old.jpg"}, work.path()).exitCode, 0);
    struct stat info {};
    ASSERT_EQ(::stat(raw(at("out/old_flipped.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(info.st_atim.tv_sec, times[0].tv_sec);
}

TEST_F(ArchiveTest, AListFromFindPassesEveryByteANameMayHold) {
    // Names with a line end, a tab, a leading blank and a byte that is not UTF-8.
    const QList<QByteArray> names{"new\nline.jpg", "tab\there.jpg", " lead.jpg", "caf\xe9.jpg"};
    QDir().mkpath(at("in"));
    QDir().mkpath(at("out"));
    for (int i = 0; i < names.size(); ++i) {
        photo(at("in/p.jpg"), i + 1);
        ASSERT_EQ(
            ::rename(raw(at("in/p.jpg")).constData(), (raw(at("in")) + '/' + names[i]).constData()),
            0);
    }
    const Finished found = run("/bin/sh", {"-c", "find in -type f -print0"}, work.path());
    const Finished nul =
        batch({"-q", "-o", "out", "--files-from", "-", "-0"}, work.path(), found.out);
    EXPECT_EQ(nul.exitCode, 0) << nul.err.toStdString();
    EXPECT_EQ(rawNames(at("out")),
              (QList<QByteArray>{" lead_flipped.jpg", "caf\xe9_flipped.jpg",
                                 "new\nline_flipped.jpg", "tab\there_flipped.jpg"}));
    // The dry run answers in kind: one NUL-ended record a name, the bytes as they are.
    const Finished dry = batch({"--dry-run", "-o", "o", "--files-from", "-", "-0"}, work.path(),
                               QByteArray("in/caf\xe9.jpg\0", 12));
    EXPECT_EQ(dry.out, QByteArray("in/caf\xe9.jpg\to/caf\xe9_flipped.jpg\0", 31));

    // A list of lines, from a file, after the arguments; a folder line is a folder.
    photo(at("plain/x.jpg"), 7);
    writeFile(at("list.txt"), "in/ lead.jpg\n\nplain\n");
    const Finished lines = batch(
        {"--dry-run", "--keep-tree", "-o", "o", "--files-from", "list.txt", "in/tab\there.jpg"},
        work.path());
    EXPECT_EQ(lines.out,
              "in/tab\there.jpg\to/tab\there_flipped.jpg\n"
              "in/ lead.jpg\to/ lead_flipped.jpg\n"
              "plain/x.jpg\to/plain/x_flipped.jpg\n");

    const Finished missing = batch({"-o", "out", "--files-from", "nowhere.txt"}, work.path());
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("Cannot read the list nowhere.txt"))
        << missing.err.toStdString();
}

TEST_F(ArchiveTest, AFolderScanTakesAFileWhoseNameIsNotUtf8AndKeepsItsBytes) {
    photo(at("in/p.jpg"), 1);
    ASSERT_EQ(
        ::rename(raw(at("in/p.jpg")).constData(), (raw(at("in")) + "/\xff\xfe.jpg").constData()),
        0);
    QDir().mkpath(at("out"));
    const Finished scan = batch({"--scan", "jpg", "--keep-tree", "-o", "out", "in"}, work.path());
    EXPECT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.out, "Done.\n");
    EXPECT_EQ(rawNames(at("out/in")), QList<QByteArray>{"\xff\xfe_flipped.jpg"});
    // Qt cannot name it; its bytes are there, and whole.
    const QByteArray bytes = [&] {
        QFile file;
        const int fd = ::open((raw(at("out/in")) + "/\xff\xfe_flipped.jpg").constData(), O_RDONLY);
        file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle);
        return file.readAll();
    }();
    EXPECT_EQ(QImage::fromData(bytes).size(), QSize(96, 64));
    ::unlink((raw(at("out/in")) + "/\xff\xfe_flipped.jpg").constData());
    ::unlink((raw(at("in")) + "/\xff\xfe.jpg").constData());
}

TEST_F(ArchiveTest, TwoShardsThroughParallelGiveOneRunsOutputsAndWriteNoFileTwice) {
    const int total = makeArchive(6, 4);
    const QStringList folders = folderNames(6);
    const QString archive = at("archive");
    const QStringList common{"-q", "--keep-tree", "--quality", "90"};
    QDir().mkpath(at("single"));
    ASSERT_EQ(batch(common + QStringList{"-o", at("single")} + folders, archive).exitCode, 0);
    const QMap<QString, QByteArray> single = filesBelow(at("single"));
    ASSERT_EQ(single.size(), total);

    // As the manual shows it: the folders shared out between two jobs, one results folder.
    QDir().mkpath(at("shared"));
    const Finished shards =
        run("parallel",
            QStringList{"-X", "-j", "2", "--joblog", at("jobs.log"), Batch} + common +
                QStringList{"--existing", "skip", "-o", at("shared"), ":::"} + folders,
            archive);
    EXPECT_EQ(shards.exitCode, 0) << shards.err.toStdString();
    EXPECT_EQ(readFile(at("jobs.log")).count('\n'), 3);  // a heading and two jobs
    EXPECT_EQ(filesBelow(at("shared")), single);

    // Two jobs given the whole archive at once, one from each end: every file is written by
    // exactly one of them and skipped by the other, and no copy or leftover appears.
    QDir().mkpath(at("overlap"));
    writeFile(at("forward.txt"), folders.join('\n').toUtf8());
    QStringList backward = folders;
    std::reverse(backward.begin(), backward.end());
    writeFile(at("backward.txt"), backward.join('\n').toUtf8());
    const Finished both =
        run("parallel",
            QStringList{"-j", "2", Batch} + common +
                QStringList{"--existing", "skip", "-o", at("overlap"), "--files-from", "{}",
                            ":::", at("forward.txt"), at("backward.txt")},
            archive);
    EXPECT_EQ(both.exitCode, 0) << both.err.toStdString();
    EXPECT_EQ(namedFiles(both.out), total) << both.out.constData();
    EXPECT_EQ(filesBelow(at("overlap")), single);

    // Keeping both instead, each output of the two jobs lands under a name of its own.
    QDir().mkpath(at("copies"));
    const Finished copies =
        run("parallel",
            QStringList{"-j", "2", Batch} + common +
                QStringList{"--existing", "keep-both", "-o", at("copies"), "--files-from", "{}",
                            ":::", at("forward.txt"), at("backward.txt")},
            archive);
    EXPECT_EQ(copies.exitCode, 0) << copies.err.toStdString();
    const QMap<QString, QByteArray> kept = filesBelow(at("copies"));
    EXPECT_EQ(kept.size(), 2 * total);
    for (auto it = single.begin(); it != single.end(); ++it) {
        const QString second = QString(it.key()).replace("_flipped.jpg", "_flipped (2).jpg");
        EXPECT_EQ(kept.value(it.key()), it.value()) << it.key().toStdString();
        EXPECT_EQ(kept.value(second), it.value()) << second.toStdString();
    }

    // A share with a broken file fails alone: parallel counts one failed job, and its log
    // keeps each job's own exit status.
    writeFile(at("archive/f2/IMG_9999.JPG"), "not a picture");
    QDir().mkpath(at("again"));
    const Finished failing =
        run("parallel",
            QStringList{"-X", "-j", "2", "--joblog", at("failing.log"), Batch} + common +
                QStringList{"-o", at("again"), ":::"} + folders,
            archive);
    EXPECT_EQ(failing.exitCode, 1);
    QStringList statuses;
    for (const QByteArray& line : readFile(at("failing.log")).split('\n').mid(1)) {
        if (!line.isEmpty()) {
            statuses << QString::fromUtf8(line.split('\t').at(6));
        }
    }
    statuses.sort();
    EXPECT_EQ(statuses, (QStringList{"0", "1"}));
    EXPECT_EQ(filesBelow(at("again")), single);
}

TEST_F(ArchiveTest, AKilledRunResumedWithSkipEndsWithTheOutputsOfOneWholeRun) {
    // Smart-Detect on purpose: its running quality must follow the same course when resumed.
    const int total = makeArchive(4, 10, 1200, 900);
    const QStringList folders = folderNames(4);
    const QString archive = at("archive");
    QDir().mkpath(at("whole"));
    ASSERT_EQ(
        batch(QStringList{"-q", "--keep-tree", "-o", at("whole")} + folders, archive).exitCode, 0);
    const QMap<QString, QByteArray> whole = filesBelow(at("whole"));
    ASSERT_EQ(whole.size(), total);

    QDir().mkpath(at("out"));
    QProcess killed;
    killed.setWorkingDirectory(archive);
    killed.start(Batch, QStringList{"-q", "-j", "1", "--keep-tree", "-o", at("out")} + folders);
    ASSERT_TRUE(killed.waitForStarted());
    for (int wait = 0; wait < 3000 && filesBelow(at("out")).size() < 5; ++wait) {
        QThread::msleep(5);
    }
    ::kill(pid_t(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(30000));
    int before = 0;  // whole outputs; the temporary files of the files in flight aside
    for (const QString& name : filesBelow(at("out")).keys()) {
        before += name.contains("/.zt-") || name.startsWith(".zt-") ? 0 : 1;
    }
    ASSERT_LT(before, total) << "the run ended before it could be killed";

    // Leftovers in the results folder: one of a process that has ended, one of a process that
    // still runs (it must stay).
    const QByteArray tag = temporaryNamePrefix().mid(4, 8);
    QProcess sleeper;
    sleeper.start("sleep", {"60"});
    ASSERT_TRUE(sleeper.waitForStarted());
    const QString ofEnded =
        QStringLiteral(".zt-%1-%2-AbCdEf.tmp").arg(QString::fromLatin1(tag)).arg(endedProcess());
    const QString ofRunning = QStringLiteral(".zt-%1-%2-GhIjKl.tmp")
                                  .arg(QString::fromLatin1(tag))
                                  .arg(sleeper.processId());
    writeFile(at("out/f1/") + ofEnded, "half");
    writeFile(at("out/") + ofRunning, "half");

    const Finished resumed =
        batch(QStringList{"--keep-tree", "--existing", "skip", "-o", at("out")} + folders, archive);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_EQ(namedFiles(resumed.out), before);  // the files done before are named as skipped
    QMap<QString, QByteArray> after = filesBelow(at("out"));
    EXPECT_EQ(after.take(ofRunning), "half");
    EXPECT_EQ(after, whole);  // no leftover of the killed run or of the ended process
    sleeper.kill();
    sleeper.waitForFinished();
}
