// The run's output choices: the folder tree kept, outputs that exist replaced, skipped or kept
// beside the new ones, and the inputs' dates.
#include "batch/batchrun.h"
#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "tests/batch/runfixture.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

using namespace zentavo;
using namespace zentavo::test;

namespace {

class OutputChoicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.isValid());
        ASSERT_TRUE(results.isValid());
        options.folder = results.path();
    }

    QString input(const QString& name) const { return inputs.filePath(name); }
    QString output(const QString& name) const { return results.filePath(name); }

    // A small BMP whose first pixel tells which input it came from.
    QString writeBmp(const QString& name, int mark) {
        QDir().mkpath(QFileInfo(input(name)).absolutePath());
        QImage image = patternImage(6, 4);
        image.setPixel(0, 0, qRgb(mark, mark, mark));
        EXPECT_TRUE(image.save(input(name), "BMP"));
        return input(name);
    }
    // The mark of an output flipped horizontally: its first pixel moved to the end of row 0.
    int markOf(const QString& path) const { return qRed(QImage(path).pixel(5, 0)); }

    // The files of the folder DCIM as a dropped folder adds them.
    void addFolder(FileList& list, const QString& folder) {
        const QStringList files = scanFolderTree(folder, "*.*", nullptr, "Zentavo");
        list.append(files, treeFoldersOf(folder, files));
    }

    QStringList allOutputs() const {
        QStringList found;
        const QDir root(results.path());
        for (QDirIterator it(results.path(), QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            found << root.relativeFilePath(it.next());
        }
        found.sort();
        return found;
    }

    QTemporaryDir inputs;
    QTemporaryDir results;
    FixedJobOptions options;
    RecordingFrontEnd frontEnd;
};

}  // namespace

TEST_F(OutputChoicesTest, AKeptTreeWritesEachFolderFileAtItsPlaceAndSingleFilesAtTheTop) {
    writeBmp("card/DCIM/100CANON/IMG_0001.bmp", 10);
    writeBmp("card/DCIM/101CANON/IMG_0001.bmp", 20);
    writeBmp("card/DCIM/101CANON/deep/IMG_0002.bmp", 30);
    writeBmp("card/IMG_0001.bmp", 40);
    FileList list;
    addFolder(list, input("card/DCIM"));
    list.append(input("card/IMG_0001.bmp"));
    options.tree = true;
    const RunSummary summary = runBatchOnList(options, frontEnd, list);
    EXPECT_EQ(summary.written, 4);
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_EQ(allOutputs(),
              (QStringList{"DCIM/100CANON/IMG_0001_flipped.bmp",
                           "DCIM/101CANON/IMG_0001_flipped.bmp",
                           "DCIM/101CANON/deep/IMG_0002_flipped.bmp", "IMG_0001_flipped.bmp"}));
    EXPECT_EQ(markOf(output("DCIM/100CANON/IMG_0001_flipped.bmp")), 10);
    EXPECT_EQ(markOf(output("DCIM/101CANON/IMG_0001_flipped.bmp")), 20);
    EXPECT_EQ(markOf(output("IMG_0001_flipped.bmp")), 40);

    // Without the setting the same list writes into the results folder, where the second
    // IMG_0001 meets the first.
    QDir(results.path()).removeRecursively();
    QDir().mkpath(results.path());
    options.tree = false;
    const RunSummary flat = runBatchOnList(options, frontEnd, list);
    EXPECT_EQ(flat.written, 2);
    EXPECT_EQ(flat.notWritten, 2);
    EXPECT_EQ(allOutputs(), (QStringList{"IMG_0001_flipped.bmp", "IMG_0002_flipped.bmp"}));
}

TEST_F(OutputChoicesTest, ReplaceSkipAndKeepBothEachTreatAnOutputThatIsThere) {
    const QString a = writeBmp("a.bmp", 10);
    const QString b = writeBmp("b.bmp", 20);
    writeFile(output("a_flipped.bmp"), "earlier");

    options.existing = ExistingOutput::Skip;
    const RunSummary skipped = runBatch(options, frontEnd, {a, b});
    EXPECT_EQ(readFile(output("a_flipped.bmp")), "earlier");
    EXPECT_EQ(skipped.written, 1);
    EXPECT_EQ(skipped.resultExisted, 1);
    EXPECT_EQ(skipped.notWritten + skipped.notLoaded, 0);
    EXPECT_EQ(frontEnd.scripted.messages().last(),
              "Done.\r\n\r\nThese files were skipped, their results exist:\r\n\r\n" + a);

    options.existing = ExistingOutput::KeepBoth;
    runBatch(options, frontEnd, {a, b});
    EXPECT_EQ(readFile(output("a_flipped.bmp")), "earlier");
    EXPECT_EQ(markOf(output("a_flipped (2).bmp")), 10);
    EXPECT_EQ(markOf(output("b_flipped (2).bmp")), 20);
    EXPECT_EQ(frontEnd.scripted.messages().last(), "Done.");

    options.existing = ExistingOutput::Replace;
    runBatch(options, frontEnd, {a});
    EXPECT_EQ(markOf(output("a_flipped.bmp")), 10);
    EXPECT_EQ(allOutputs(), (QStringList{"a_flipped (2).bmp", "a_flipped.bmp",
                                         "b_flipped (2).bmp", "b_flipped.bmp"}));
}

TEST_F(OutputChoicesTest, KeepingBothNumbersTheLaterOfTwoInputsOfOneNameInListOrder) {
    // Two inputs whose outputs share a name: the first in the list takes the plain name,
    // however the workers finish.
    for (int round = 0; round < 5; ++round) {
        QDir(results.path()).removeRecursively();
        QDir().mkpath(results.path());
        const QString first = writeBmp("x/p.bmp", 10);
        const QString second = writeBmp("y/p.bmp", 20);
        options.existing = ExistingOutput::KeepBoth;
        const RunSummary summary = runBatch(options, frontEnd, {first, second}, 2);
        EXPECT_EQ(summary.written, 2);
        EXPECT_EQ(markOf(output("p_flipped.bmp")), 10);
        EXPECT_EQ(markOf(output("p_flipped (2).bmp")), 20);
    }
}

TEST_F(OutputChoicesTest, KeptDatesAreTheInputsToTheNanosecond) {
    const QString a = writeBmp("a.bmp", 10);
    const timespec times[2] = {{1262304000, 111}, {1246406400, 222222222}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), times, 0), 0);
    options.dates = true;
    runBatch(options, frontEnd, {a});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(output("a_flipped.bmp")).constData(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(info.st_atim.tv_sec, times[0].tv_sec);

    options.dates = false;
    runBatch(options, frontEnd, {a});
    ASSERT_EQ(::stat(QFile::encodeName(output("a_flipped.bmp")).constData(), &info), 0);
    EXPECT_GT(info.st_mtim.tv_sec, times[1].tv_sec + 365 * 86400);
}

TEST_F(OutputChoicesTest, ASkippedJpegStillRaisesSmartDetectsQualityForTheFilesAfterIt) {
    // Estimates 90 then 60: one whole run writes the second at 90. Resumed with the first
    // output there, the second must come out the same, not at its own 60.
    const QImage picture = patternImage(400, 300);
    const QString high = input("high.jpg");
    const QString low = input("low.jpg");
    writeJpeg(high, picture, 20, 32727);
    writeJpeg(low, picture, 20, 8780);
    runBatch(options, frontEnd, {high, low});
    const QByteArray whole = readFile(output("low_flipped.jpg"));
    ASSERT_EQ(quantisationTables(whole), quantisationTablesFor(90));
    QFile::remove(output("low_flipped.jpg"));
    options.existing = ExistingOutput::Skip;
    const RunSummary resumed = runBatch(options, frontEnd, {high, low});
    EXPECT_EQ(resumed.resultExisted, 1);
    EXPECT_EQ(readFile(output("low_flipped.jpg")), whole);
}
