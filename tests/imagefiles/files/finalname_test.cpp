#include "imagefiles/files/finalname.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/files/staletemporaries.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "report/filenames.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <thread>
#include <vector>

using namespace zentavo;
using namespace zentavo::test;

namespace {

class FinalNameTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder.filePath(name); }
    // A finished temporary file holding text, as AtomicFile leaves it before the rename.
    QByteArray temporary(const QByteArray& text) {
        const QByteArray name = QFile::encodeName(path(".zt-test-" + QString::number(++made)));
        writeFile(QFile::decodeName(name), text);
        return name;
    }

    QTemporaryDir folder;
    int made = 0;
};

// A process id that no process has: a child that has ended and been reaped.
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

}  // namespace

TEST(NumberedName, TheNumberGoesBeforeTheLastExtensionOfTheName) {
    const std::pair<QString, QString> cases[] = {
        {"out/IMG_0001_rotated.jpg", "out/IMG_0001_rotated (2).jpg"},
        {"out/a.tar_flipped.bmp", "out/a.tar_flipped (2).bmp"},
        {"out.d/name", "out.d/name (2)"},  // a dot in a folder is no extension
        {"out/.png", "out/.png (2)"},      // nor one that begins the name
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(numberedName(path, 2), expected);
    }
    EXPECT_EQ(numberedName("a.jpg", 12), "a (12).jpg");
}

TEST_F(FinalNameTest, EachRuleTreatsATakenNameItsOwnWay) {
    writeFile(path("a.jpg"), "old");
    EXPECT_EQ(placeFinishedFile(temporary("skip"), path("a.jpg"), ExistingOutput::Skip),
              std::nullopt);
    EXPECT_EQ(readFile(path("a.jpg")), "old");
    EXPECT_EQ(placeFinishedFile(temporary("two"), path("a.jpg"), ExistingOutput::KeepBoth),
              path("a (2).jpg"));
    EXPECT_EQ(placeFinishedFile(temporary("three"), path("a.jpg"), ExistingOutput::KeepBoth),
              path("a (3).jpg"));
    EXPECT_EQ(readFile(path("a.jpg")), "old");
    EXPECT_EQ(placeFinishedFile(temporary("new"), path("a.jpg"), ExistingOutput::Replace),
              path("a.jpg"));
    EXPECT_EQ(readFile(path("a.jpg")), "new");
    // A free name is simply taken, whatever the rule.
    EXPECT_EQ(placeFinishedFile(temporary("b"), path("b.jpg"), ExistingOutput::Skip),
              path("b.jpg"));
    // No temporary file is left behind by any of them.
    EXPECT_EQ(folderEntries(folder.path()),
              (QStringList{"a (2).jpg", "a (3).jpg", "a.jpg", "b.jpg"}));
    EXPECT_EQ(readFile(path("a (2).jpg")), "two");
}

TEST_F(FinalNameTest, TheHardLinkWayRefusesATakenNameAndLeavesOneName) {
    writeFile(path("t.jpg"), "there");
    const QByteArray first = temporary("x");
    EXPECT_FALSE(linkIntoPlace(first, QFile::encodeName(path("t.jpg"))));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(path("t.jpg")), "there");
    EXPECT_TRUE(linkIntoPlace(first, QFile::encodeName(path("u.jpg"))));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path("u.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_nlink, 1u);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(first)));
}

TEST_F(FinalNameTest, WritersRacingForOneNameNeverReplaceEachOther) {
    // Sixteen writers finish the same output at once: with Skip exactly one file takes the
    // name; keeping both, every one of them lands under a name of its own.
    constexpr int Writers = 16;
    for (const ExistingOutput rule : {ExistingOutput::Skip, ExistingOutput::KeepBoth}) {
        QDir(folder.path()).removeRecursively();
        QDir().mkpath(folder.path());
        std::vector<QByteArray> temporaries;
        for (int i = 0; i < Writers; ++i) {
            temporaries.push_back(temporary(QByteArray::number(i)));
        }
        std::vector<std::optional<QString>> placed(Writers);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < Writers; ++i) {
            threads.emplace_back([&, i] {
                ++ready;
                while (ready.load() < Writers) {
                }
                placed[i] = placeFinishedFile(temporaries[i], path("race.jpg"), rule);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        QSet<QString> names;
        QSet<QByteArray> contents;
        for (const auto& name : placed) {
            if (name) {
                names.insert(*name);
                contents.insert(readFile(*name));
            }
        }
        const int expected = rule == ExistingOutput::Skip ? 1 : Writers;
        EXPECT_EQ(names.size(), expected);
        EXPECT_EQ(contents.size(), expected);  // no file was written over another
        EXPECT_EQ(folderEntries(folder.path()).size(), expected);
    }
}

TEST_F(FinalNameTest, ACommitScopeGivesTheWrittenFileItsRuleAndTheInputsTimes) {
    FileTimes times;
    times.accessed = {1262304000, 123456789};  // 2010-01-01
    times.modified = {1246406400, 987654321};  // 2009-07-01
    {
        const CommitScope scope({ExistingOutput::Replace, times});
        writeFileAtomically(path("dated.jpg"), "x");
        EXPECT_EQ(scope.placedAt(), path("dated.jpg"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path("dated.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, times.modified.tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, times.modified.tv_nsec);
    EXPECT_EQ(info.st_atim.tv_sec, times.accessed.tv_sec);
    {
        const CommitScope scope({ExistingOutput::Skip, std::nullopt});
        writeFileAtomically(path("dated.jpg"), "y");
        EXPECT_TRUE(scope.committed());
        EXPECT_EQ(scope.placedAt(), std::nullopt);
    }
    EXPECT_EQ(readFile(path("dated.jpg")), "x");
    // Outside a scope a file replaces and takes the time of writing.
    writeFileAtomically(path("dated.jpg"), "z");
    ASSERT_EQ(::stat(QFile::encodeName(path("dated.jpg")).constData(), &info), 0);
    EXPECT_GT(info.st_mtim.tv_sec, times.modified.tv_sec);
    EXPECT_EQ(folderEntries(folder.path()), QStringList{"dated.jpg"});
}

TEST_F(FinalNameTest, OnlyTheTemporaryFilesOfEndedProcessesOfThisMachineAreRemoved) {
    const QByteArray mine = temporaryNamePrefix();  // ".zt-TAG-PID-"
    const QByteArray tag = mine.mid(4, 8);
    const QByteArray ofDead = ".zt-" + tag + "-" + QByteArray::number(endedProcess()) + "-";
    const QByteArray ofRunning = ".zt-" + tag + "-1-";  // init runs as long as the machine
    const QByteArray otherTag = tag == "00000000" ? "11111111" : "00000000";
    const QByteArray ofOtherMachine =
        ".zt-" + otherTag + "-" + QByteArray::number(endedProcess()) + "-";
    const auto touch = [&](const QByteArray& name) {
        writeFile(path(QString::fromLatin1(name)), "partial");
    };
    touch(ofDead + "a1B2c3.tmp");
    touch(ofDead + "Zz9Yy8.tmp");
    touch(mine + "Qq1Ww2.tmp");
    touch(ofRunning + "Ee3Rr4.tmp");
    touch(ofOtherMachine + "Tt5Yy6.tmp");
    touch(ofDead + "short.tmp");  // not a name we make
    touch(".zt-Uu7Ii8.tmp");      // an older program's name: whose, nobody knows
    touch("IMG_0001_rotated.jpg");
    ASSERT_TRUE(QDir(folder.path()).mkdir(QString::fromLatin1(ofDead + "Oo9Pp0.tmp")));
    EXPECT_EQ(removeStaleTemporaries(folder.path()), 2);
    const QStringList left = folderEntries(folder.path());
    EXPECT_EQ(left.size(), 7) << left.join(' ').toStdString();
    EXPECT_FALSE(left.contains(QString::fromLatin1(ofDead + "a1B2c3.tmp")));
    EXPECT_TRUE(left.contains(QString::fromLatin1(mine + "Qq1Ww2.tmp")));
    EXPECT_TRUE(left.contains(QString::fromLatin1(ofRunning + "Ee3Rr4.tmp")));
    EXPECT_TRUE(left.contains(QString::fromLatin1(ofOtherMachine + "Tt5Yy6.tmp")));
    EXPECT_EQ(removeStaleTemporaries(path("missing")), 0);
}

TEST_F(FinalNameTest, AnAtomicFileNamesItsMachineAndProcessWhileItIsWritten) {
    AtomicFile file(path("out.png"));
    file.open();
    const QStringList during = folderEntries(folder.path());
    ASSERT_EQ(during.size(), 1);
    EXPECT_TRUE(during.first().startsWith(QString::fromLatin1(temporaryNamePrefix())));
    // A run started meanwhile leaves it: its process runs.
    EXPECT_EQ(removeStaleTemporaries(folder.path()), 0);
    file.write("x", 1);
    EXPECT_EQ(file.commit(), path("out.png"));
    EXPECT_EQ(folderEntries(folder.path()), QStringList{"out.png"});
}
