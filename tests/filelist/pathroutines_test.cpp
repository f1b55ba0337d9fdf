#include "filelist/pathroutines.h"
#include "tests/filelist/foldertree.h"

#include <gtest/gtest.h>

using namespace zentavo;

namespace {

struct SlashCase {
    const char* input;
    const char* expected;
};

void checkTable(QChar sep, std::initializer_list<SlashCase> table) {
    for (const SlashCase& c : table) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(NormalizeSlashes(QString::fromUtf8(c.input), sep), QString::fromUtf8(c.expected));
    }
}

}  // namespace

TEST(NormalizeSlashes, BackslashFormKeepsASharePrefixOfTwoAndHalvesInnerPairs) {
    checkTable(QChar(u'\\'), {
                                 {"", ""},
                                 {R"(C:\Pictures\a.jpg)", R"(C:\Pictures\a.jpg)"},
                                 {R"(C:\\Folder\\file.jpg)", R"(C:\Folder\file.jpg)"},
                                 {R"(C:\\a.jpg)", R"(C:\a.jpg)"},
                                 {R"(\\server\\share\\a.jpg)", R"(\\server\share\a.jpg)"},
                                 {R"(\server\a.jpg)", R"(\\server\a.jpg)"},
                                 {R"(\\\\server\a.jpg)", R"(\\server\a.jpg)"},
                                 {R"(C:\a\\\b.jpg)", R"(C:\a\\b.jpg)"},
                                 {R"(a\\\\b)", R"(a\\b)"},
                                 {R"(\)", R"(\\)"},
                                 {R"(\\\)", R"(\\)"},
                                 {"C:/a//b", "C:/a//b"},
                             });
}

TEST(NormalizeSlashes, SlashFormKeepsOneLeadingSlashAndHalvesInnerPairs) {
    checkTable(QChar(u'/'), {
                                {"", ""},
                                {"/home/a.jpg", "/home/a.jpg"},
                                {"/home//a.jpg", "/home/a.jpg"},
                                {"//a.jpg", "/a.jpg"},
                                {"//home//pics//a.jpg", "/home/pics/a.jpg"},
                                {"////x", "/x"},
                                {"/", "/"},
                                {"///", "/"},
                                {"/a///b.jpg", "/a//b.jpg"},
                                {"a////b", "a//b"},
                                {"rel//a", "rel/a"},
                                {R"(/a\\b)", R"(/a\\b)"},
                            });
}

TEST(NormalizeSlashes, DefaultsToThePlatformSeparator) {
    EXPECT_EQ(NormalizeSlashes(QStringLiteral("//tmp//x.jpg")), "/tmp/x.jpg");
}

TEST(PathExists, TrueForExistingFilesAndFoldersOnly) {
    test::FolderTree tree;
    tree.file("a.jpg");
    tree.folder("sub");
    tree.link("dangling", "nowhere");
    tree.link("tofile", "a.jpg");
    EXPECT_TRUE(PathExists(tree.path("a.jpg")));
    EXPECT_TRUE(PathExists(tree.path("sub")));
    EXPECT_TRUE(PathExists(tree.path("sub/")));
    EXPECT_TRUE(PathExists(tree.path("tofile")));
    EXPECT_FALSE(PathExists(tree.path("dangling")));
    EXPECT_FALSE(PathExists(tree.path("missing.jpg")));
    EXPECT_FALSE(PathExists(tree.path("a.jpg/x")));
    EXPECT_FALSE(PathExists(QString()));
}
