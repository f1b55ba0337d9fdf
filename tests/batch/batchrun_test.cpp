#include "batch/batchrun.h"
#include "batch/filejob.h"
#include "batch/naming.h"
#include "batch/runorder.h"
#include "filelist/filelist.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/files/staletemporaries.h"
#include "imagefiles/loadpicfile.h"
#include "report/errorreport.h"
#include "tests/batch/runfixture.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

using namespace zentavo;
using namespace zentavo::test;

namespace {

const QString Location = QStringLiteral("in Zentavo2021/08/31.Form1.PushButton2_Click ");

class BatchRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.isValid());
        ASSERT_TRUE(results.isValid());
        options.folder = results.path();
    }

    QString input(const QString& name) const { return inputs.filePath(name); }
    QString output(const QString& name) const { return results.filePath(name); }

    QString writeBmp(const QString& name, int width = 5, int height = 3) {
        const QString path = input(name);
        EXPECT_TRUE(patternImage(width, height).save(path, "BMP"));
        return path;
    }

    QString writeText(const QString& name) {
        writeFile(input(name), "this is not a picture");
        return input(name);
    }

    QTemporaryDir inputs;
    QTemporaryDir results;
    FixedJobOptions options;
    RecordingFrontEnd frontEnd;
};

QImage readBack(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_RGB888);
}

}  // namespace

TEST_F(BatchRunTest, EmptyListRefusesBeforeTheFolderCheck) {
    options.folder = input("missing");
    const RunSummary summary = runBatch(options, frontEnd, {});
    EXPECT_TRUE(summary.refused);
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"No files added."});
    EXPECT_EQ(frontEnd.scripted.shown[0].title, "Zentavo");
    EXPECT_TRUE(frontEnd.progress.empty());
    EXPECT_TRUE(frontEnd.busyChanges.empty());
}

TEST_F(BatchRunTest, MissingFolderAndImagingFailureAreRefusedInOrder) {
    const QString a = writeBmp("a.bmp");
    options.folder = a;  // a file, not a folder
    runBatch(options, frontEnd, {a}, 2, true);
    options.folder = results.path();
    runBatch(options, frontEnd, {a}, 2, true);
    ASSERT_EQ(frontEnd.scripted.shown.size(), 2u);
    EXPECT_EQ(frontEnd.scripted.shown[0].text,
              "Folder does not exist. Please select another folder.");
    EXPECT_EQ(frontEnd.scripted.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(frontEnd.scripted.shown[1].text, "GDI+ Initialization Failed.");
    EXPECT_EQ(frontEnd.scripted.shown[1].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
}

TEST_F(BatchRunTest, NoOperationProcessesNothingAndSaysDone) {
    options.op = Operation::None;
    runBatch(options, frontEnd, {writeBmp("a.bmp")});
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
    EXPECT_EQ(frontEnd.progress, std::vector<int>{0});
    EXPECT_EQ(frontEnd.progressTexts, QStringList{"Progress Bar"});
}

TEST_F(BatchRunTest, FourFilesMoveTheBarByQuartersThenReset) {
    QStringList paths;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
        paths << writeBmp(name);
    }
    options.op = Operation::Rotate;
    runBatch(options, frontEnd, paths);
    EXPECT_EQ(frontEnd.progress, (std::vector<int>{25, 50, 75, 100, 0}));
    EXPECT_EQ(frontEnd.progressTexts,
              (QStringList{"Processing: a.bmp", "Processing: b.bmp", "Processing: c.bmp",
                           "Processing: d.bmp", "Progress Bar"}));
    EXPECT_EQ(frontEnd.busyChanges.back(), false);
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
}

TEST_F(BatchRunTest, FlipWritesEachFileInItsOwnFormatAndNothingElse) {
    const QString a = writeBmp("a.bmp", 6, 4);
    const QString b = input("b.jpg");
    writeJpeg(b, patternImage(16, 8), 90);
    const RunSummary summary = runBatch(options, frontEnd, {a, b});
    EXPECT_EQ(folderEntries(results.path()), (QStringList{"a_flipped.bmp", "b_flipped.jpg"}));
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_EQ(summary.written, 2);

    // Pixel (0, 0) of the mirror is the input's pixel (5, 0).
    const QImage flipped = readBack(output("a_flipped.bmp"));
    const QImage original = readBack(a);
    ASSERT_EQ(flipped.size(), QSize(6, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(flipped.pixel(x, y), original.pixel(5 - x, y));
        }
    }
    EXPECT_TRUE(readFile(output("b_flipped.jpg")).startsWith("\xFF\xD8"));
}

TEST_F(BatchRunTest, UndecodableFilesAreNamedInTheClosingMessageOfAFlip) {
    const QString bad1 = writeText("bad one.jpg");
    const QString good = writeBmp("good.bmp");
    const QString bad2 = writeText("bad2.png");
    runBatch(options, frontEnd, {bad1, good, bad2});
    EXPECT_EQ(frontEnd.scripted.messages(),
              QStringList{"Done.\r\n\r\nThese files:\r\n\r\n" + bad1 + "\r\n" + bad2 +
                          "\r\n\r\ncould not be loaded."});
    EXPECT_EQ(folderEntries(results.path()), QStringList{"good_flipped.bmp"});
}

TEST_F(BatchRunTest, UndecodableFilesInARotateAreReportedAndWriteNothing) {
    const QString bad1 = writeText("bad1.jpg");
    const QString good = writeBmp("good.bmp");
    const QString bad2 = writeText("bad2.gif");
    options.op = Operation::Rotate;
    const RunSummary summary = runBatch(options, frontEnd, {bad1, good, bad2});
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 3);
    for (int i : {0, 1}) {
        EXPECT_TRUE(messages[i].endsWith(Location + "at line 210\r\rPlease email screenshot of "
                                                    "this message to support@zentavo.example.com"))
            << messages[i].toStdString();
        EXPECT_EQ(frontEnd.scripted.shown[i].title, "Application Error");
        EXPECT_EQ(frontEnd.scripted.shown[i].icon, MessageIcon::Exclamation);
    }
    EXPECT_TRUE(messages[0].contains("bad1.jpg"));
    EXPECT_TRUE(messages[1].contains("bad2.gif"));
    EXPECT_EQ(messages[2], "Done.");
    EXPECT_EQ(folderEntries(results.path()), QStringList{"good_rotated.bmp"});
    EXPECT_EQ(summary.notLoaded, 2);
}

TEST_F(BatchRunTest, JpegAndTiffExtensionsAreWrittenAsBitmaps) {
    const QString jpeg = input("p.jpeg");
    writeJpeg(jpeg, patternImage(8, 8), 90);
    const QString tiff = input("q.tiff");
    ASSERT_TRUE(patternImage(8, 8).save(tiff, "TIFF"));
    runBatch(options, frontEnd, {jpeg, tiff});
    EXPECT_EQ(folderEntries(results.path()), (QStringList{"p_flipped.bmp", "q_flipped.bmp"}));
    EXPECT_TRUE(readFile(output("p_flipped.bmp")).startsWith("BM"));
    EXPECT_TRUE(readFile(output("q_flipped.bmp")).startsWith("BM"));
}

TEST_F(BatchRunTest, SmartDetectKeepsTheLargestEstimateSoFar) {
    // 400 x 300 pictures padded to the lengths whose estimates are 70, 90 and 60.
    const QImage picture = patternImage(400, 300);
    const QStringList paths{input("a.jpg"), input("b.jpg"), input("c.jpg")};
    const qint64 lengths[] = {11613, 32727, 8780};
    for (int i = 0; i < 3; ++i) {
        ASSERT_LT(writeJpeg(paths[i], picture, 20).size(), 8780);
        writeJpeg(paths[i], picture, 20, lengths[i]);
    }
    runBatch(options, frontEnd, paths, 2);
    ASSERT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_EQ(quantisationTables(readFile(output("a_flipped.jpg"))), quantisationTablesFor(70));
    EXPECT_EQ(quantisationTables(readFile(output("b_flipped.jpg"))), quantisationTablesFor(90));
    EXPECT_EQ(quantisationTables(readFile(output("c_flipped.jpg"))), quantisationTablesFor(90));
}

TEST_F(BatchRunTest, FixedQualityWritesEveryJpegAtTheSlider) {
    const QStringList paths{input("a.jpg"), input("b.jpg"), input("c.jpg")};
    for (const QString& path : paths) {
        writeJpeg(path, patternImage(64, 48), 40);
    }
    options.quality = QualityMode::Fixed;
    options.slider = 85;
    options.op = Operation::Rotate;
    runBatch(options, frontEnd, paths, 3);
    for (const char* name : {"a_rotated.jpg", "b_rotated.jpg", "c_rotated.jpg"}) {
        EXPECT_EQ(quantisationTables(readFile(output(name))), quantisationTablesFor(85)) << name;
    }
}

TEST_F(BatchRunTest, SliderBeyondAByteIsReportedAtItsStatement) {
    const QString a = input("a.jpg");
    writeJpeg(a, patternImage(8, 8), 50);
    options.quality = QualityMode::Fixed;
    options.slider = 300;
    runBatch(options, frontEnd, {a});
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], errorReportMessage("Overflow", Location, 150));
    EXPECT_EQ(messages[1], "Done.");
}

TEST_F(BatchRunTest, OptionChangedDuringARunReachesTheFilesPlannedAfterIt) {
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths << writeBmp(QStringLiteral("f%1.bmp").arg(i), 4, 4);
    }
    // One worker: files 1 and 2 are planned at the start; the change comes when file 1 is
    // delivered, so the last files read the new direction.
    frontEnd.onProgress = [&](int value) {
        if (value > 0 && value < 20) {
            options.direction = FlipDirection::Vertical;
        }
    };
    runBatch(options, frontEnd, paths, 1);
    const QImage original = readBack(paths[0]);
    const QImage first = readBack(output("f0_flipped.bmp"));
    const QImage last = readBack(output("f5_flipped.bmp"));
    EXPECT_EQ(first.pixel(0, 0), original.pixel(3, 0));  // horizontal
    EXPECT_EQ(last.pixel(0, 0), original.pixel(0, 3));   // vertical
}

TEST_F(BatchRunTest, AnOutputNeverReplacesAnInputOfTheSameRun) {
    const QString a = writeBmp("a.bmp");
    // The second input is where the first one's output would go.
    const QString victim = output("a_flipped.bmp");
    writeFile(victim, "precious");
    options.folder = results.path();
    const RunSummary summary = runBatch(options, frontEnd, {a, victim});
    EXPECT_EQ(readFile(victim), QByteArray("precious"));
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_GE(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith("Cannot save the image. "));
    EXPECT_TRUE(messages[0].contains("at line 142"));
    EXPECT_EQ(summary.notWritten, 1);
}

TEST_F(BatchRunTest, TheFirstFileInListOrderWinsASharedOutputName) {
    const QString jpeg = input("b.jpeg");
    writeJpeg(jpeg, patternImage(8, 8), 90);
    const QString bmp = writeBmp("b.bmp", 3, 3);
    runBatch(options, frontEnd, {jpeg, bmp});
    EXPECT_EQ(readBack(output("b_flipped.bmp")).size(), QSize(8, 8));
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith("Cannot save the image. "));
    EXPECT_TRUE(messages[0].contains("b.jpeg"));
}

TEST_F(BatchRunTest, AnOutputNameTooLongForTheFileSystemIsReported) {
    const QString name = QString(250, QLatin1Char('n')) + ".bmp";
    const QString path = writeBmp(name);
    runBatch(options, frontEnd, {path});
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains("longer than the file system allows"));
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
}

TEST_F(BatchRunTest, AFolderRemovedMidRunIsReportedForEachFileAndTheRunGoesOn) {
    const QStringList paths{writeBmp("a.bmp"), writeBmp("b.bmp"), input("c.png"), input("d.png")};
    ASSERT_TRUE(patternImage(4, 4).save(paths[2], "PNG"));
    ASSERT_TRUE(patternImage(4, 4).save(paths[3], "PNG"));
    // The results folder disappears when the first file is delivered: the files planned after
    // that (at least the last two with one worker) cannot be written.
    const QString gone = results.path() + "-gone";
    frontEnd.onProgress = [&](int) { QDir().rename(results.path(), gone); };
    const RunSummary summary = runBatch(options, frontEnd, paths, 1);
    QDir(gone).removeRecursively();
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_GE(messages.size(), 3);
    for (qsizetype i = 0; i + 1 < messages.size(); ++i) {
        EXPECT_TRUE(messages[i].startsWith("Cannot save the image.")) << messages[i].toStdString();
    }
    EXPECT_TRUE(messages.back() == "Done.");
    EXPECT_TRUE(messages[messages.size() - 2].contains("at line 176"));
    EXPECT_EQ(summary.written + summary.notWritten, 4);
    EXPECT_GE(summary.notWritten, 2);
}

TEST(BatchRunGuard, ASecondPressDuringARunChangesNothing) {
    QTemporaryDir inputs;
    QTemporaryDir results;
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        paths << inputs.filePath(QStringLiteral("%1.bmp").arg(i));
        patternImage(64, 64).save(paths.back(), "BMP");
    }
    FixedJobOptions options;
    options.folder = results.path();
    RecordingFrontEnd frontEnd;
    FileList list;
    list.append(paths);
    BatchRun run(options, frontEnd);
    int finishedCount = 0;
    QObject::connect(&run, &BatchRun::finished, [&] { ++finishedCount; });
    run.PushButton2_Click(list);
    EXPECT_TRUE(run.isRunning());
    run.PushButton2_Click(list);
    run.waitForFinished();
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_FALSE(run.isRunning());
}

TEST(BatchRunGuard, CancellingLeavesNoPartialOrTemporaryFiles) {
    QTemporaryDir inputs;
    QTemporaryDir results;
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        paths << inputs.filePath(QStringLiteral("%1.png").arg(i));
        patternImage(300, 300).save(paths.back(), "PNG");
    }
    FixedJobOptions options;
    options.folder = results.path();
    RecordingFrontEnd frontEnd;
    FileList list;
    list.append(paths);
    {
        BatchRun run(options, frontEnd);
        run.setJobs(2);
        run.PushButton2_Click(list);
        run.cancel();
        EXPECT_FALSE(run.isRunning());
    }
    for (const QString& name : folderEntries(results.path())) {
        EXPECT_TRUE(name.endsWith("_flipped.png")) << name.toStdString();
        EXPECT_FALSE(QImageReader(results.filePath(name)).read().isNull());
    }
    EXPECT_TRUE(frontEnd.scripted.messages().isEmpty());
}

TEST_F(BatchRunTest, AMultiPageTiffKeepsItsFirstPageAndTheClosingMessageSaysSo) {
    const QString path = input("pages.tif");
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tiff, nullptr);
    for (int page = 0; page < 2; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 4);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 2);
        unsigned char row[12];
        for (int y = 0; y < 2; ++y) {
            for (int i = 0; i < 12; ++i) {
                row[i] = static_cast<unsigned char>(page * 100 + y * 12 + i);
            }
            TIFFWriteScanline(tiff, row, y, 0);
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    runBatch(options, frontEnd, {path});
    EXPECT_EQ(
        frontEnd.scripted.messages(),
        QStringList{"Done.\r\n\r\nOnly the first page of these files was kept:\r\n\r\n" + path});
    EXPECT_EQ(folderEntries(results.path()), QStringList{"pages_flipped.tif"});
}

namespace {

// The bytes of a JPEG with its first Huffman table made unusable: the header reads, the
// pixels do not decode.
QByteArray withUnusableHuffmanTable(QByteArray jpeg) {
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        if (uchar(jpeg[at + 1]) == 0xC4) {
            jpeg[at + 4] = char(0x25);  // class 2, table 5: neither exists
            return jpeg;
        }
        at += 2 + ((uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]));
    }
    return {};
}

// A JPEG whose frame header claims 65500 x 65500 pixels.
QByteArray withHugeFrame(QByteArray jpeg) {
    const qsizetype at = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (at > 0) {
        jpeg[at + 5] = jpeg[at + 7] = char(0xFF);
        jpeg[at + 6] = jpeg[at + 8] = char(0xDC);
    }
    return jpeg;
}

}  // namespace

TEST_F(BatchRunTest, SmartDetectCountsOnlyFilesThatLoadWhateverTheWorkers) {
    // Estimates: a 70, c 60. The damaged file's header promises 90, the unreadable one would
    // fall back to the slider (85), and the header bomb would overflow the estimate: none of
    // them loads, so none of them may touch the running quality.
    const QImage picture = patternImage(400, 300);
    const QString a = input("a.jpg");
    const QString unreadable = writeText("unreadable.jpg");
    const QString damaged = input("damaged.jpg");
    const QString bomb = input("bomb.jpg");
    const QString c = input("c.jpg");
    writeJpeg(a, picture, 20, 11613);
    writeJpeg(c, picture, 20, 8780);
    const QByteArray broken = withUnusableHuffmanTable(writeJpeg(damaged, picture, 20, 32727));
    ASSERT_FALSE(broken.isEmpty());
    writeFile(damaged, broken);
    writeFile(bomb, withHugeFrame(writeJpeg(bomb, patternImage(16, 16), 90)));
    for (const int jobs : {1, 3}) {
        RecordingFrontEnd seen;
        QDir(results.path()).removeRecursively();
        QDir().mkpath(results.path());
        runBatch(options, seen, {a, unreadable, damaged, bomb, c}, jobs);
        EXPECT_EQ(seen.scripted.messages(),
                  QStringList{"Done.\r\n\r\nThese files:\r\n\r\n" + unreadable + "\r\n" + damaged +
                              "\r\n" + bomb + "\r\n\r\ncould not be loaded."})
            << jobs;
        EXPECT_EQ(quantisationTables(readFile(output("a_flipped.jpg"))), quantisationTablesFor(70));
        EXPECT_EQ(quantisationTables(readFile(output("c_flipped.jpg"))), quantisationTablesFor(70))
            << jobs;
    }
}

TEST_F(BatchRunTest, AnOutputNameGoesToTheFirstFileThatReallyWritesIt) {
    // Each case: the list, the operation, what b_flipped / b_rotated .bmp must come from (its
    // width) and the reports expected. Entries of one file, however spelled, are one input.
    const QString text = writeText("b.jpeg");
    const QString bmp = writeBmp("b.bmp", 3, 3);
    const QString again = inputs.path() + "/./b.bmp";
    struct Case {
        QStringList list;
        Operation op;
        QString output;
        int width;
        int reports;
    };
    const Case cases[] = {
        {{text, bmp}, Operation::Flip, "b_flipped.bmp", 3, 0},        // first claimant never loads
        {{text, bmp}, Operation::Rotate, "b_rotated.bmp", 3, 1},      // its load failure only
        {{bmp, again, bmp}, Operation::Flip, "b_flipped.bmp", 3, 0},  // one input listed again
    };
    for (const Case& test : cases) {
        RecordingFrontEnd seen;
        QDir(results.path()).removeRecursively();
        QDir().mkpath(results.path());
        options.op = test.op;
        const RunSummary summary = runBatch(options, seen, test.list);
        EXPECT_EQ(readBack(output(test.output)).width(), test.width)
            << test.list.join(' ').toStdString();
        EXPECT_EQ(seen.scripted.messages().size(), test.reports + 1);
        EXPECT_EQ(summary.notWritten, 0);
        EXPECT_EQ(summary.written + summary.notLoaded, test.list.size());
    }
}

TEST_F(BatchRunTest, TheBarRoundsItsShareOfTheList) {
    const std::pair<int, std::vector<int>> cases[] = {{3, {33, 67, 100}}, {100, {}}};
    for (auto [count, expected] : cases) {
        if (expected.empty()) {
            for (int i = 1; i <= count; ++i) {
                expected.push_back(i);  // 29 of 100 is 29, never 28
            }
        }
        expected.push_back(0);
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            paths << writeBmp(QStringLiteral("p%1.bmp").arg(i), 2, 2);
        }
        RecordingFrontEnd seen;
        runBatch(options, seen, paths, 2);
        EXPECT_EQ(seen.progress, expected) << count;
    }
}

TEST_F(BatchRunTest, PlanningWaitsForDeliveryBehindASlowFile) {
    // A large first file and small ones after it; the direction changes when the first file is
    // delivered. With two workers at most three files are planned ahead of the bar, so every
    // file from the fifth on reads the new direction.
    QStringList paths;
    const QString big = input("big.png");
    ASSERT_TRUE(patternImage(2500, 2500).save(big, "PNG", 0));
    paths << big;
    for (int i = 1; i <= 10; ++i) {
        paths << writeBmp(QStringLiteral("s%1.bmp").arg(i, 2, 10, QLatin1Char('0')), 4, 4);
    }
    frontEnd.onProgress = [&](int value) {
        if (value > 0 && value < 10) {
            options.direction = FlipDirection::Vertical;
        }
    };
    runBatch(options, frontEnd, paths, 2);
    const QImage original = readBack(paths[1]);
    for (int i = 5; i <= 10; ++i) {
        const QImage out =
            readBack(output(QStringLiteral("s%1_flipped.bmp").arg(i, 2, 10, QLatin1Char('0'))));
        EXPECT_EQ(out.pixel(0, 0), original.pixel(0, 3)) << i;  // vertical
    }
}

TEST(BatchRunGuard, ResultsOfACancelledRunNeverReachTheNextOne) {
    QTemporaryDir inputs;
    QTemporaryDir results;
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths << inputs.filePath(QStringLiteral("%1.png").arg(i));
        patternImage(400, 400).save(paths.back(), "PNG");
    }
    FixedJobOptions options;
    options.folder = results.path();
    RecordingFrontEnd frontEnd;
    FileList first;
    first.append(paths);
    FileList second;
    second.append(paths.first());
    BatchRun run(options, frontEnd);
    run.setJobs(2);
    std::vector<RunSummary> summaries;
    QObject::connect(&run, &BatchRun::finished,
                     [&](const RunSummary& s) { summaries.push_back(s); });
    run.PushButton2_Click(first);
    run.cancel();
    run.PushButton2_Click(second);
    run.waitForFinished();
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[1].written, 1);
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    EXPECT_EQ(frontEnd.progress.back(), 0);
    EXPECT_EQ(std::count(frontEnd.progress.begin(), frontEnd.progress.end(), 100), 1);
}
TEST_F(BatchRunTest, JpegTurnsUseTheColourPlanesWhereExactAndRgbWhereNot) {
    options.op = Operation::Rotate;
    options.quality = QualityMode::Fixed;
    options.slider = 90;
    // 4:2:2 turned is written as 4:4:0 from the planes; an odd height cannot be turned
    // clockwise on 4:2:0 planes, so that file takes the RGB path and stays 4:2:0.
    const QString planes = input("planes.jpg");
    writeJpeg(planes, patternImage(64, 48), 95, 0, TJSAMP_422);
    const QString odd = input("odd.jpg");
    writeJpeg(odd, patternImage(33, 25), 95);
    runBatch(options, frontEnd, {planes, odd});
    EXPECT_EQ(frontEnd.scripted.messages(), QStringList{"Done."});
    const std::pair<const char*, int> outputs[] = {{"planes", TJSAMP_440}, {"odd", TJSAMP_420}};
    for (const auto& [name, subsampling] : outputs) {
        SCOPED_TRACE(name);
        const QByteArray written = readFile(output(QString::fromLatin1(name) + "_rotated.jpg"));
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, sampling = -1, colorspace = 0;
        tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(written.constData()),
                            written.size(), &width, &height, &sampling, &colorspace);
        tjDestroy(handle);
        EXPECT_EQ(sampling, subsampling);
        const QImage turned = loadPicture(input(QString::fromLatin1(name) + ".jpg"))
                                  .picture.image.transformed(QTransform().rotate(90));
        const QImage result = loadPictureFromBytes(written).picture.image;
        ASSERT_EQ(result.size(), turned.size());
        qint64 difference = 0;
        for (int y = 0; y < result.height(); ++y) {
            for (int x = 0; x < result.width(); ++x) {
                const QRgb a = result.pixel(x, y);
                const QRgb b = turned.pixel(x, y);
                difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                              std::abs(qBlue(a) - qBlue(b));
            }
        }
        // A turn the wrong way or chroma shifted against luma differs by tens a sample.
        EXPECT_LT(double(difference) / (3.0 * result.width() * result.height()), 2.0);
    }
}

TEST_F(BatchRunTest, ShowNoMoreCollectsTheRestOfTheRunsReportsForTheClosingMessage) {
    QStringList bad;
    for (int i = 0; i < 4; ++i) {
        bad << writeText(QStringLiteral("bad%1.png").arg(i));
    }
    options.op = Operation::Rotate;
    frontEnd.scripted.checkAnswers = {false, true};
    runBatch(options, frontEnd, bad, 2);
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(frontEnd.scripted.checkTexts,
              QStringList(2, "Show no more error messages in this run"));
    // Each collected report reads "PATH (line N): REASON", the path once: the reason is the
    // shown report's first line without the path it began with.
    const QString shown = messages[0].section("\r\n", 0, 0);
    ASSERT_TRUE(shown.startsWith(bad[0] + " cannot be loaded: ")) << shown.toStdString();
    const QString reason = shown.mid(bad[0].size() + 1);
    QString closing = "Done.\r\n\r\nThese errors were not shown:";
    for (int i = 2; i < 4; ++i) {
        closing += "\r\n" + bad[i] + " (line 210): " + reason;
    }
    EXPECT_EQ(messages[2], closing);
    EXPECT_EQ(messages[2].count(QFileInfo(bad[3]).fileName()), 1);
}

TEST_F(BatchRunTest, APictureThatCannotBeMirroredIsNotWrittenUnmirrored) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
    // A one-bit picture is mirrored on an eight-bit copy; without room for that copy the
    // mirror fails, and the file must leave no output rather than the picture as it came.
    QImage mono(16000, 16000, QImage::Format_Mono);
    mono.fill(0);
    const QString path = input("mono.bmp");
    ASSERT_TRUE(mono.save(path, "BMP"));
    mono = QImage();
    PlannedFile file;
    file.index = 1;
    file.path = path;
    file.operation = Operation::Flip;
    file.direction = FlipDirection::Horizontal;
    file.outputPath = output("mono_flipped.bmp");
    RunOrder order;
    order.planFile(1, false, path, path, file.outputPath, file.outputPath);
    std::atomic_bool cancelled{false};

    qint64 inUse = 0;
    for (const QByteArray& line : readFile("/proc/self/status").split('\n')) {
        if (line.startsWith("VmSize:")) {
            inUse = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    struct rlimit tight = saved;
    // Room for the 32 MB picture, not for its 256 MB copy.
    tight.rlim_cur = rlim_t(inUse + (128 << 20));
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const FileResult result = runFileJob(file, cancelled, order);
    setrlimit(RLIMIT_AS, &saved);

    if (result.outcome == FileOutcome::NotLoaded) {
        GTEST_SKIP() << "the loader needed more room than the mirror: "
                     << result.reason.toStdString();
    }
    EXPECT_EQ(result.outcome, FileOutcome::NotWritten);
    ASSERT_EQ(result.reports.size(), 1u);
    EXPECT_EQ(result.reports[0].statement, 132);
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
}

TEST_F(BatchRunTest, AJpegHandedOnUnfinishedIsNamedOnlyWhenFinishedAndEndsAsIfWrittenAtOnce) {
    // What stands at the output's name by the time it is committed: nothing, an output another
    // run placed meanwhile (kept, as Skip asks), or a folder (replacing it fails).
    enum Occupant { Free, OtherOutput, Folder };
    const struct {
        Occupant occupant;
        ExistingOutput existing;
        FileOutcome outcome;
    } cases[] = {{Free, ExistingOutput::Replace, FileOutcome::Written},
                 {OtherOutput, ExistingOutput::Skip, FileOutcome::ResultExists},
                 {Folder, ExistingOutput::Replace, FileOutcome::NotWritten}};
    const QString path = input("a.jpg");
    writeJpeg(path, patternImage(64, 48), 90);
    for (const auto& c : cases) {
        std::vector<FileResult> ends;  // written at once, then handed on
        for (const bool handedOn : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "occupant " << c.occupant << ", handed on " << handedOn);
            const QString out =
                output(QStringLiteral("a%1%2_rotated.jpg").arg(c.occupant).arg(handedOn));
            const auto occupy = [&] {
                if (c.occupant == OtherOutput) {
                    writeFile(out, "placed by another run");
                } else if (c.occupant == Folder) {
                    ASSERT_TRUE(QDir().mkpath(out + "/inside"));
                }
            };
            PlannedFile file;
            file.index = 1;
            file.path = path;
            file.operation = Operation::Rotate;
            file.degrees = QStringLiteral("90");
            file.formatClass = FormatClass::Jpeg;
            file.outputPath = out;
            file.existing = c.existing;
            RunOrder order;
            order.planFile(1, true, path, path, out, out);
            std::atomic_bool cancelled{false};
            if (!handedOn) {
                occupy();
                ends.push_back(runFileJob(file, cancelled, order));
                continue;
            }
            std::unique_ptr<AtomicFile> unfinished;
            const FileResult written = runFileJob(file, cancelled, order, nullptr, &unfinished);
            ASSERT_TRUE(unfinished);
            EXPECT_FALSE(QFileInfo::exists(out));
            const QString temporary = QString::fromLocal8Bit(temporaryNamePrefix());
            EXPECT_EQ(folderEntries(results.path()).filter(temporary).size(), 1);
            occupy();
            ends.push_back(finishFileJob(file, written, *unfinished, order));
            unfinished.reset();
            EXPECT_EQ(folderEntries(results.path()).filter(temporary).size(), 0);
        }
        ASSERT_EQ(ends.size(), 2u);
        for (const FileResult& end : ends) {
            EXPECT_EQ(end.outcome, c.outcome);
        }
        if (c.occupant == OtherOutput) {
            EXPECT_EQ(readFile(output("a10_rotated.jpg")), readFile(output("a11_rotated.jpg")));
        }
        EXPECT_EQ(ends[1].statement, ends[0].statement);
        EXPECT_EQ(ends[1].reason.toStdString(), ends[0].reason.toStdString());
        ASSERT_EQ(ends[1].reports.size(), ends[0].reports.size());
        for (size_t i = 0; i < ends[0].reports.size(); ++i) {
            EXPECT_EQ(ends[1].reports[i].statement, ends[0].reports[i].statement);
            EXPECT_EQ(ends[1].reports[i].description.toStdString(),
                      ends[0].reports[i].description.toStdString());
        }
    }
}

TEST_F(BatchRunTest, StopWhileAReportIsUpEndsTheRunWhenItClosesCountingTheWrittenFiles) {
    // good0, bad1, bad2, good3 ... good9: while bad1's report is up, the files behind it come
    // back (bad2 with a report of its own, good3 and good4 written); Stop is pressed, then the
    // box is closed.
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << (i == 1 || i == 2 ? writeText(QStringLiteral("bad%1.png").arg(i))
                                   : writeBmp(QStringLiteral("good%1.bmp").arg(i), 40, 30));
    }
    options.op = Operation::Rotate;
    FileList list;
    list.append(paths);
    BatchRun run(options, frontEnd);
    run.setJobs(2);
    int reportsUp = 0;
    frontEnd.scripted.whileReportShown = [&] {
        ++reportsUp;
        QElapsedTimer waited;
        waited.start();
        while (!(QFile::exists(output("good3_rotated.bmp")) &&
                 QFile::exists(output("good4_rotated.bmp"))) &&
               waited.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QCoreApplication::processEvents();
        run.stop();
    };
    RunSummary summary;
    QObject::connect(&run, &BatchRun::finished, [&](const RunSummary& s) { summary = s; });
    run.PushButton2_Click(list);
    run.waitForFinished();

    const QStringList written = folderEntries(results.path());
    EXPECT_EQ(written,
              (QStringList{"good0_rotated.bmp", "good3_rotated.bmp", "good4_rotated.bmp"}));
    EXPECT_EQ(reportsUp, 1);  // bad2's report is not shown after Stop
    const QStringList messages = frontEnd.scripted.messages();
    ASSERT_EQ(messages.size(), 2);
    const QString reason = messages[0].section("\r\n", 0, 0).mid(paths[1].size() + 1);
    EXPECT_EQ(messages[1],
              "Stopped.\r\n\r\n3 of 10 files were processed.\r\n\r\n"
              "These errors were not shown:\r\n" +
                  paths[2] + " (line 210): " + reason);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.processed, 3);
}

namespace zentavo::test {

// Each file's encoder gets the cores the run's workers leave idle, shared among the files that
// run at once, and never fewer than one thread.
TEST(CodecThreads, TheCoresTheWorkersLeaveIdleAreSharedAmongTheFilesRunningAtOnce) {
    struct Row {
        int cores, jobs, files, threads;
    };
    const Row rows[] = {
        {2, 1, 100, 2},  // one job on two cores lends the second core
        {2, 2, 100, 1},  // every core has a file of its own
        {2, 2, 1, 2},    // a run of one file runs it alone
        {8, 3, 100, 2},  // the two cores left over are not handed to one file
        {8, 8, 3, 2},    // three files on eight cores
        {1, 4, 100, 1},  // never below one thread
    };
    for (const Row& row : rows) {
        EXPECT_EQ(codecThreadsFor(row.cores, row.jobs, row.files), row.threads)
            << row.cores << " cores, " << row.jobs << " jobs, " << row.files << " files";
    }
}

}  // namespace zentavo::test
