// The run's output choices where only the engine can show them: the order in which two inputs
// of one output name are numbered, and Smart-Detect's running quality over skipped files.
// zentavo-batch's own tests (tests/cli/archive_test.cpp) run the choices end to end.
#include "batch/batchrun.h"
#include "tests/batch/runfixture.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

    QTemporaryDir inputs;
    QTemporaryDir results;
    FixedJobOptions options;
    RecordingFrontEnd frontEnd;
};

}  // namespace

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
