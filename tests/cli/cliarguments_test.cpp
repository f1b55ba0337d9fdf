#include "cli/cliarguments.h"

#include <gtest/gtest.h>

using namespace zentavo;

TEST(CliArguments, DefaultsAreAHorizontalFlipWithSmartDetect) {
    const CliArguments a = parseCliArguments({"-o", "/out", "x.jpg"});
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.options.op, Operation::Flip);
    EXPECT_EQ(a.options.direction, FlipDirection::Horizontal);
    EXPECT_EQ(a.options.quality, QualityMode::SmartDetect);
    EXPECT_EQ(a.options.folder, "/out");
    EXPECT_EQ(a.paths, QStringList{"x.jpg"});
    EXPECT_EQ(a.jobs, 0);
}

TEST(CliArguments, OptionsStandForTheWindowsControls) {
    const CliArguments a = parseCliArguments(
        {"--out=/r", "--rotate", "180", "--quality", "40", "-j", "3", "--scan", "png", "-q", "--strip",
         "d"});
    ASSERT_TRUE(a.ok()) << a.error.toStdString();
    EXPECT_EQ(a.options.op, Operation::Rotate);
    EXPECT_EQ(a.options.degrees(), "-180");
    EXPECT_EQ(a.options.quality, QualityMode::Fixed);
    EXPECT_EQ(a.options.slider, 40);
    EXPECT_EQ(a.jobs, 3);
    EXPECT_EQ(a.scanExtension, "png");
    EXPECT_TRUE(a.quiet);
    EXPECT_TRUE(a.options.stripMetadata());
    EXPECT_FALSE(parseCliArguments({"-o", "/o", "d"}).options.stripMetadata());
}

TEST(CliArguments, MistakesAreNamed) {
    EXPECT_FALSE(parseCliArguments({"x.jpg"}).ok());
    EXPECT_FALSE(parseCliArguments({"-o"}).ok());
    EXPECT_FALSE(parseCliArguments({"-o", "/o", "--flip", "vertical", "--rotate", "90"}).ok());
    EXPECT_FALSE(parseCliArguments({"-o", "/o", "--quality", "101"}).ok());
    EXPECT_FALSE(parseCliArguments({"-o", "/o", "-j", "0"}).ok());
    EXPECT_TRUE(parseCliArguments({"--help"}).help);
}

TEST(CliArguments, DoubleDashEndsTheOptions) {
    const CliArguments a = parseCliArguments({"-o", "/o", "--", "-x.jpg", "--rotate"});
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.paths, (QStringList{"-x.jpg", "--rotate"}));
}

TEST(CliArguments, ArchiveOptionsAndTheirMistakes) {
    const CliArguments a = parseCliArguments({"-o", "/o", "--keep-tree", "--keep-dates",
                                              "--existing=keep-both", "--files-from", "-", "-0"});
    ASSERT_TRUE(a.ok()) << a.error.toStdString();
    EXPECT_TRUE(a.options.keepTree());
    EXPECT_TRUE(a.options.keepDates());
    EXPECT_EQ(a.options.existingOutput(), ExistingOutput::KeepBoth);
    EXPECT_EQ(a.filesFrom, "-");
    EXPECT_TRUE(a.nullSeparated);
    EXPECT_TRUE(a.paths.isEmpty());  // "-" is the list's name here, not a path

    const CliArguments plain = parseCliArguments({"-o", "/o", "--existing", "skip", "d"});
    EXPECT_EQ(plain.options.existingOutput(), ExistingOutput::Skip);
    EXPECT_FALSE(plain.options.keepTree());
    EXPECT_FALSE(plain.options.keepDates());
    EXPECT_FALSE(plain.nullSeparated);
    EXPECT_EQ(parseCliArguments({"-o", "/o", "d"}).options.existingOutput(),
              ExistingOutput::Replace);

    for (const QStringList& wrong :
         {QStringList{"-o", "/o", "--existing", "overwrite"}, QStringList{"-o", "/o", "--existing"},
          QStringList{"-o", "/o", "--files-from", ""},
          QStringList{"-o", "/o", "--files-from", "a", "--files-from", "b"}}) {
        EXPECT_FALSE(parseCliArguments(wrong).ok()) << wrong.join(' ').toStdString();
    }
}
