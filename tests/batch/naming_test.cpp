#include "batch/naming.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace zentavo;

namespace {

struct NamingCase {
    const char* input;
    const char* fileName;
    const char* stripped;
    const char* extension;
};

// The naming table in its Windows form, with "\" as the separator.
const NamingCase WindowsCases[] = {
    {R"(C:\Pics\Sun.JPG)", "Sun.JPG", "Sun", "JPG"},
    {R"(C:\Pics\Sun.tar.gz)", "Sun.tar.gz", "Sun.tar", "gz"},
    {R"(C:\Pics\Sun)", "Sun", "Sun", R"(C:\Pics\Sun)"},
    {R"(C:\Pics.old\Sun)", "Sun", "Sun", R"(old\Sun)"},
    {R"(C:\Pics\.png)", ".png", ".png", "png"},
    {R"(C:\Pics\Sun.)", "Sun.", "Sun", ""},
    {R"(C:\Pics\)", "", "", R"(C:\Pics\)"},
    {"Sun.gif", "Sun.gif", "Sun", "gif"},
    {".png", ".png", ".png", ".png"},
    {"", "", "", ""},
};

// The same rules on Linux paths, where "\" is an ordinary character.
const NamingCase LinuxCases[] = {
    {"/pics/Sun.JPG", "Sun.JPG", "Sun", "JPG"},
    {"/pics/Sun.tar.gz", "Sun.tar.gz", "Sun.tar", "gz"},
    {"/pics/Sun", "Sun", "Sun", "/pics/Sun"},
    {"/pics.old/Sun", "Sun", "Sun", "old/Sun"},
    {"/pics/.png", ".png", ".png", "png"},
    {"/pics/Sun.", "Sun.", "Sun", ""},
    {"/pics/", "", "", "/pics/"},
    {R"(/pics/a\b.gif)", R"(a\b.gif)", R"(a\b)", "gif"},
};

}  // namespace

class WindowsNaming : public ::testing::TestWithParam<NamingCase> {};
class LinuxNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(WindowsNaming, SplitsPathsAsTheTableSays) {
    const NamingCase& c = GetParam();
    const QString fileName = GetFileName(QString::fromUtf8(c.input), QLatin1Char('\\'));
    EXPECT_EQ(fileName, QString::fromUtf8(c.fileName));
    EXPECT_EQ(StripExtension(fileName), QString::fromUtf8(c.stripped));
    EXPECT_EQ(GetExtension(QString::fromUtf8(c.input)), QString::fromUtf8(c.extension));
}

TEST_P(LinuxNaming, SplitsPathsAsTheTableSays) {
    const NamingCase& c = GetParam();
    const QString fileName = GetFileName(QString::fromUtf8(c.input));
    EXPECT_EQ(fileName, QString::fromUtf8(c.fileName));
    EXPECT_EQ(StripExtension(fileName), QString::fromUtf8(c.stripped));
    EXPECT_EQ(GetExtension(QString::fromUtf8(c.input)), QString::fromUtf8(c.extension));
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsNaming, ::testing::ValuesIn(WindowsCases));
INSTANTIATE_TEST_SUITE_P(Table, LinuxNaming, ::testing::ValuesIn(LinuxCases));

TEST(OutputNaming, FormatClassIgnoresCaseAndSendsEverythingElseToBitmap) {
    EXPECT_EQ(formatClassOf("Sun.JPG"), FormatClass::Jpeg);
    EXPECT_EQ(formatClassOf("Sun.Jpg"), FormatClass::Jpeg);
    EXPECT_EQ(formatClassOf("Sun.GIF"), FormatClass::Gif);
    EXPECT_EQ(formatClassOf("Sun.png"), FormatClass::Png);
    EXPECT_EQ(formatClassOf("Sun.TIF"), FormatClass::Tiff);
    for (const char* other :
         {"Sun.jpeg", "Sun.tiff", "Sun.jpe", "Sun.bmp", "Sun.", "/pics/Sun", "/pics.old/Sun"}) {
        EXPECT_EQ(formatClassOf(QString::fromUtf8(other)), FormatClass::Bmp) << other;
    }
}

TEST(OutputNaming, NewerFormatsKeepTheirOwnLowerCasedExtension) {
    struct Row {
        const char* input;
        FormatClass formatClass;
        const char* rotated;
        const char* mime;
    };
    const Row rows[] = {
        {"/in/Sun.HEIC", FormatClass::Heic, "/out/Sun_rotated.heic", "image/heic"},
        {"/in/Sun.heif", FormatClass::Heif, "/out/Sun_rotated.heif", "image/heif"},
        {"/in/Sun.Avif", FormatClass::Avif, "/out/Sun_rotated.avif", "image/avif"},
        {"/in/Sun.WEBP", FormatClass::Webp, "/out/Sun_rotated.webp", "image/webp"},
        {"/in/Sun.jxl", FormatClass::Jxl, "/out/Sun_rotated.jxl", "image/jxl"},
        // Near misses stay in the bitmap class.
        {"/in/Sun.hei", FormatClass::Bmp, "/out/Sun_rotated.bmp", ""},
        {"/in/Sun.heics", FormatClass::Bmp, "/out/Sun_rotated.bmp", ""},
        {"/in/Sun.jpegxl", FormatClass::Bmp, "/out/Sun_rotated.bmp", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatClassOf(row.input), row.formatClass) << row.input;
        EXPECT_EQ(outputPath("/out", row.input, Operation::Rotate), row.rotated) << row.input;
        EXPECT_EQ(mimeTypeOf(row.formatClass), row.mime) << row.input;
    }
    EXPECT_EQ(outputPath("/out", "/in/Sun.HEIC", Operation::Flip), "/out/Sun_flipped.heic");
    EXPECT_TRUE(takesQuality(FormatClass::Avif));
    EXPECT_FALSE(takesQuality(FormatClass::Png));
}

TEST(OutputNaming, FlipAndRotateNamesShareOneShape) {
    EXPECT_EQ(outputPath("/out", "/in/Sun.JPG", Operation::Flip), "/out/Sun_flipped.jpg");
    EXPECT_EQ(outputPath("/out", "/in/Sun.png", Operation::Rotate), "/out/Sun_rotated.png");
    EXPECT_EQ(outputPath("/out", "/in/Sun.jpeg", Operation::Flip), "/out/Sun_flipped.bmp");
    EXPECT_EQ(outputPath("/out", "/in/Sun.tiff", Operation::Rotate), "/out/Sun_rotated.bmp");
    EXPECT_EQ(outputPath("/out", "/in/.png", Operation::Flip), "/out/.png_flipped.png");
    EXPECT_EQ(outputPath("/out", "/in/Sun.tar.gz", Operation::Flip), "/out/Sun.tar_flipped.bmp");
    EXPECT_EQ(outputPath("/out", "/in/Sun.", Operation::Flip), "/out/Sun_flipped.bmp");
    EXPECT_EQ(outputPath("/out", "/pics.old/Sun", Operation::Flip), "/out/Sun_flipped.bmp");
}

TEST(OutputNaming, FolderWithTrailingSeparatorDoublesIt) {
    EXPECT_EQ(outputPath(R"(C:\Out)", R"(D:\a\b.gif)", Operation::Rotate, QLatin1Char('\\')),
              R"(C:\Out\b_rotated.gif)");
    EXPECT_EQ(outputPath(R"(C:\Out\)", R"(D:\a\b.gif)", Operation::Rotate, QLatin1Char('\\')),
              R"(C:\Out\\b_rotated.gif)");
    EXPECT_EQ(outputPath("/out/", "/a/b.gif", Operation::Rotate), "/out//b_rotated.gif");
}

TEST(OutputNaming, FolderExistsOnlyForFolders) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("file.txt");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_TRUE(FolderExists(dir.path() + "/"));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(dir.filePath("missing")));
    EXPECT_FALSE(FolderExists(QString(5000, QLatin1Char('x'))));
}

TEST(OutputNaming, SliderValueMustFitAByte) {
    FixedJobOptions options;
    options.slider = 0;
    EXPECT_EQ(fixedQuality(options), 0);
    options.slider = 255;
    EXPECT_EQ(fixedQuality(options), 255);
    options.slider = 256;
    EXPECT_THROW(fixedQuality(options), std::exception);
    options.slider = -1;
    EXPECT_THROW(fixedQuality(options), std::exception);
}
