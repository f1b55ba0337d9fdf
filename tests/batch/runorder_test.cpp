// The order a run keeps between its workers: the JPEG quality runs over the list whatever order
// the files load in, and an output name goes to the first file in list order that writes it.
#include "batch/runorder.h"
#include "batch/filejob.h"
#include "tests/batch/runfixture.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <thread>

using namespace zentavo;
using namespace zentavo::test;

namespace {

QualityStep raiseTo(int value) {
    return {QualityStep::Raise, value};
}

QualityStep setTo(int value) {
    return {QualityStep::Set, value};
}

}  // namespace

TEST(RunOrder, EachJpegGetsTheRunningQualityOfTheListWhateverOrderTheFilesLoadIn) {
    // The steps of files 1 to n in list order (none: the file did not load), the order in which
    // they come, and the quality each loaded file is written at.
    struct Case {
        const char* name;
        std::vector<std::optional<QualityStep>> steps;
        std::vector<int> arrival;
        std::vector<int> expected;  // 0 where the file did not load
    };
    const QualityStep keep{QualityStep::Keep, 0};
    const Case cases[] = {
        {"largest so far", {raiseTo(70), raiseTo(90), raiseTo(60)}, {3, 2, 1}, {70, 90, 90}},
        {"a large first file loads last", {raiseTo(95), raiseTo(50)}, {2, 1}, {95, 95}},
        {"the slider sets, estimates raise",
         {raiseTo(90), setTo(85), raiseTo(60), raiseTo(88)},
         {4, 2, 3, 1},
         {90, 85, 85, 88}},
        {"files that do not load give no step",
         {raiseTo(70), std::nullopt, keep, raiseTo(60)},
         {2, 4, 3, 1},
         {70, 0, 70, 70}},
        {"no mode chosen yet", {keep, raiseTo(40)}, {2, 1}, {0, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOrder order;
        const int count = int(c.steps.size());
        for (int index = 1; index <= count; ++index) {
            const QString path = QStringLiteral("f%1.jpg").arg(index);
            order.planFile(index, true, path, path, "out/" + path, "out/" + path);
        }
        for (const int index : c.arrival) {
            if (const std::optional<QualityStep>& step = c.steps[size_t(index - 1)]) {
                order.settleQuality(index, *step);
            } else {
                order.finished(index, false);
            }
        }
        for (int index = 1; index <= count; ++index) {
            if (c.steps[size_t(index - 1)]) {
                EXPECT_EQ(order.qualityFor(index), c.expected[size_t(index - 1)]) << index;
            }
        }
    }
}

TEST(RunOrder, ALaterJpegThatLoadsFirstStillWaitsForTheQualityOfTheOnesBefore) {
    // 400 x 300 pictures padded to the lengths whose estimates are 90 and 60. The second file is
    // let through first and the first one is held back until the second has loaded.
    QTemporaryDir inputs;
    QTemporaryDir results;
    const qint64 lengths[] = {32727, 8780};
    std::vector<PlannedFile> files(2);
    RunOrder order;
    for (int i = 0; i < 2; ++i) {
        PlannedFile& file = files[size_t(i)];
        file.index = i + 1;
        file.path = inputs.filePath(QStringLiteral("f%1.jpg").arg(file.index));
        writeJpeg(file.path, patternImage(400, 300), 20, lengths[i]);
        file.operation = Operation::Flip;
        file.direction = FlipDirection::Horizontal;
        file.formatClass = FormatClass::Jpeg;
        file.qualityMode = QualityMode::SmartDetect;
        file.slider = 85;
        file.outputPath = results.filePath(QStringLiteral("f%1_flipped.jpg").arg(file.index));
        order.planFile(file.index, true, file.path, file.path, file.outputPath, file.outputPath);
    }
    std::atomic_bool cancelled{false};
    // File 1 lets file 2 take its room first; file 1 starts once file 2 has given its step.
    order.roomTaken(1);
    FileResult second;
    std::thread worker([&] { second = runFileJob(files[1], cancelled, order); });
    ASSERT_TRUE(order.waitForQualityStep(2));
    const FileResult first = runFileJob(files[0], cancelled, order);
    worker.join();
    EXPECT_EQ(first.outcome, FileOutcome::Written);
    EXPECT_EQ(second.outcome, FileOutcome::Written);
    for (const PlannedFile& file : files) {
        EXPECT_EQ(quantisationTables(readFile(file.outputPath)), quantisationTablesFor(90))
            << file.index;
    }
}

TEST(RunOrder, ANameIsRefusedOnlyAfterAnEarlierOtherInputWroteIt) {
    // Files 1 to 3 are three inputs sharing one output; file 4 is file 3 listed again.
    RunOrder order;
    for (int i = 1; i <= 4; ++i) {
        const QString input = QStringLiteral("in%1").arg(std::min(i, 3));
        order.planFile(i, false, input, input, "out", "out");
    }
    EXPECT_EQ(order.mayWrite(1), QString());
    order.finished(1, false);  // not loaded, refused or failed to write: all the same here
    EXPECT_EQ(order.mayWrite(2), QString());
    order.finished(2, true);
    EXPECT_EQ(order.mayWrite(3), QString("out was already written by file 2 of this run (in2)."));
    order.finished(3, false);
    EXPECT_EQ(order.mayWrite(4), QString("out was already written by file 2 of this run (in2)."));
    order.cancel();
    EXPECT_EQ(order.qualityFor(9), std::nullopt);
}
