// The time left of a run: when it is known, how it is judged, and its words.
#include "shell/timeleft.h"

#include <gtest/gtest.h>

namespace zentavo {
namespace {

TEST(TimeLeft, IsJudgedFromTheTimePerFileOnceThreeAreDoneAndCountsDownBetweenFiles) {
    TimeLeft left;
    EXPECT_FALSE(left.remaining(0));
    left.start(10, 500);  // the clock need not start at zero
    left.fileDone(1500);
    left.fileDone(2500);
    EXPECT_FALSE(left.remaining(2500)) << "two files tell too little";
    left.fileDone(3500);
    // A second a file, seven to go.
    EXPECT_EQ(left.remaining(3500), 7000);
    EXPECT_EQ(left.remaining(5500), 5000);
    EXPECT_EQ(left.remaining(60000), 1000) << "never none while files remain";
    for (int i = 4; i < 10; ++i) {
        left.fileDone(3500 + 500 * (i - 3));
    }
    // Nine in 6 s: two-thirds of a second for the last one.
    EXPECT_EQ(left.remaining(6500), 1000);
    left.fileDone(7000);
    EXPECT_FALSE(left.remaining(7000)) << "every file is done";

    left.start(5, 0);
    for (int i = 1; i <= 3; ++i) {
        left.fileDone(i * 2000);
    }
    EXPECT_EQ(left.remaining(6000), 4000);
    left.stop();
    EXPECT_FALSE(left.remaining(6000));
    left.fileDone(7000);
    EXPECT_FALSE(left.remaining(7000));
}

TEST(TimeLeftText, RoundsAsAPersonSaysIt) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "about 5 s left"},
        {4999, "about 5 s left"},
        {5001, "about 10 s left"},
        {42000, "about 45 s left"},
        {55000, "about 55 s left"},
        {55001, "about 1 min left"},
        {80000, "about 1 min 20 s left"},
        {80001, "about 1 min 30 s left"},
        {125000, "about 2 min 10 s left"},
        {594000, "about 10 min left"},
        {864000, "about 14 min left"},
        {3570000, "about 1 h left"},
        {7500000, "about 2 h 5 min left"},
    };
    for (const auto& [ms, words] : cases) {
        EXPECT_EQ(timeLeftText(ms), QString::fromLatin1(words)) << ms;
    }
}

}  // namespace
}  // namespace zentavo
