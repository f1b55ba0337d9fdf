#include "filelist/listfiles.h"
#include "filelist/naturalorder.h"
#include "report/filenames.h"
#include "tests/filelist/foldertree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zentavo;

TEST(Wildcard, MatchesAsFileListingsDo) {
    struct Case {
        const char* pattern;
        const char* name;
        bool expected;
    };
    const Case table[] = {
        {"*.jpg", "a.jpg", true},       {"*.jpg", "A.JPG", true},   {"*.jpg", "x.jpgx", false},
        {"*.jpg", "jpg", false},        {"*.jpg", ".jpg", true},    {"*.jpg", "a.b.jpg", true},
        {"*.*", "README", true},        {"*.*", ".hidden", true},   {"*.*", "a.", true},
        {"*", "anything.at.all", true}, {"a*.*", "abc", true},      {"a*.*", "bcd", false},
        {"?.png", "c.png", true},       {"?.png", "cc.png", false}, {"?.png", ".png", false},
        {"a*b*c", "aXXbYYc", true},     {"a*b*c", "aXXbYY", false}, {"*.tif", "x.tif.tiff", false},
        {"*.ÄB", "straße.äb", true},    {"?.jpg", "日.jpg", true},  {"*.[ab]", "x.a", false},
        {"*.[ab]", "x.[ab]", true},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
        EXPECT_EQ(matchesWildcard(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)),
                  c.expected);
    }
}

TEST(NaturalOrder, SortsAsAFileManagerDoesInAnyLocale) {
    // Each pair in order: the first sorts before the second. Leading zeros do not count towards
    // a number's size (f007, f8, f09, f10); between equal values they only break a tie, the
    // first such difference deciding, and a real difference after them still comes first. Case
    // breaks ties the same way: the first difference in case decides.
    const std::pair<const char*, const char*> ordered[] = {
        {"f2", "f10"},        {"F2", "f10"},
        {"f9", "f09"},        {"f09", "f10"},
        {"a", "B"},           {"B", "b"},
        {"x", "x1"},          {"x.jpg", "x1.jpg"},
        {"img12a", "img12b"}, {"a10b2", "a10b10"},
        {"2", "10"},          {"0", "00"},
        {"9", "a"},           {"99999999999999999999", "100000000000000000000"},
        {"Ärger", "ärger"},   {"f007", "f8"},
        {"f8", "f09"},        {"f007", "f10"},
        {"f9z", "f0010a"},    {"f1", "f01"},
        {"f01", "f001"},      {"x1y01", "x01y1"},
        {"A01", "a1"},        {"f01b", "f1c"},
        {"Ab", "aB"},
    };
    for (const auto& [first, second] : ordered) {
        SCOPED_TRACE(std::string(first) + " < " + second);
        const QString a = QString::fromUtf8(first);
        const QString b = QString::fromUtf8(second);
        EXPECT_LT(naturalCompare(a, b), 0);
        EXPECT_GT(naturalCompare(b, a), 0);
        EXPECT_EQ(naturalCompare(a, a), 0);
    }
    // The order one folder listed on an ext4 disk.
    QStringList names{"f32.jpg", "f09.jpg", "f20.jpg", "F1.jpg", "f100.jpg", "f2.jpg"};
    sortNaturally(names);
    EXPECT_EQ(names,
              (QStringList{"F1.jpg", "f2.jpg", "f09.jpg", "f20.jpg", "f32.jpg", "f100.jpg"}));
}

TEST(ListFiles, GivesMatchingRegularFilesInNaturalOrder) {
    test::FolderTree tree;
    for (const char* name : {"a.jpg", "B.JPG", "c.png", "README", "x.jpgx", ".h.jpg", "~t.jpg"}) {
        tree.file(name);
    }
    tree.folder("folder.jpg");
    tree.link("link.jpg", "a.jpg");
    tree.link("dangling.jpg", "nowhere.jpg");
    tree.link("dirlink.jpg", "folder.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree.path("fifo.jpg")).constData(), 0644), 0);

    const QStringList jpegs{".h.jpg", "a.jpg", "B.JPG", "link.jpg", "~t.jpg"};
    EXPECT_EQ(ListFiles(tree.root(), "*.jpg"), jpegs);
    EXPECT_EQ(ListFiles(tree.root() + "/", "*.jpg"), jpegs);
    EXPECT_EQ(ListFiles(tree.root(), "*.*"),
              (QStringList{".h.jpg", "a.jpg", "B.JPG", "c.png", "link.jpg", "README", "x.jpgx",
                           "~t.jpg"}));
    EXPECT_EQ(ListFiles(tree.root(), "?.png"), QStringList{"c.png"});
    EXPECT_TRUE(ListFiles(tree.root(), "*.gif").isEmpty());
    EXPECT_TRUE(ListFiles(tree.path("missing"), "*.*").isEmpty());
    EXPECT_TRUE(ListFiles(tree.path("a.jpg"), "*.*").isEmpty());
}

TEST(ListFiles, ListsEveryNameByItsBytesEvenWhenItIsNotUtf8) {
    test::FolderTree tree;
    tree.file("ok.jpg");
    tree.file("bad\xff.jpg");
    tree.file("new\nline.jpg");
    const QString bad = decodeFileName("bad\xff.jpg");
    EXPECT_EQ(ListFiles(tree.root(), "*.jpg"), (QStringList{bad, "new\nline.jpg", "ok.jpg"}));
    // The name held opens the very file listed, and no other spelling does.
    EXPECT_TRUE(IsOpenableFile(tree.root() + "/" + bad));
    EXPECT_FALSE(IsOpenableFile(tree.root() + "/" + QString::fromUtf8("bad\xff.jpg")));
}

TEST(IsOpenableFile, TrueForFilesThatOpenAndNotForFolders) {
    test::FolderTree tree;
    tree.file("a.jpg");
    tree.folder("sub");
    tree.link("link.jpg", "a.jpg");
    tree.link("dirlink", "sub");
    EXPECT_TRUE(IsOpenableFile(tree.path("a.jpg")));
    EXPECT_TRUE(IsOpenableFile(tree.path("link.jpg")));
    EXPECT_FALSE(IsOpenableFile(tree.path("sub")));
    EXPECT_FALSE(IsOpenableFile(tree.path("dirlink")));
    EXPECT_FALSE(IsOpenableFile(tree.path("missing.jpg")));
    EXPECT_FALSE(IsOpenableFile(tree.path("a.jpg/x")));
    EXPECT_FALSE(IsOpenableFile(QString()));
}

TEST(HasOddCharacters, FlagsControlCodesQuestionMarksAndBrokenUtf8) {
    struct Case {
        QByteArray name;
        bool expected;
    };
    const Case table[] = {
        {"holiday 2024", false},
        {"caf\xc3\xa9", false},               // é
        {"\xe6\x97\xa5\xe6\x9c\xac", false},  // two CJK characters
        {"\xf0\x9f\x98\x80", false},          // an emoji (four bytes)
        {"\xc2\xa0", false},                  // U+00A0, just past the C1 block
        {"a\nb", true},
        {"tab\there", true},
        {"why?", true},
        {"\x7f", true},
        {"\xc2\x80", true},  // U+0080
        {"\xc2\x9f", true},  // U+009F
        {"\xff", true},
        {"\xc3", true},              // truncated sequence
        {"\xc0\xaf", true},          // overlong "/"
        {"\xed\xa0\x80", true},      // a surrogate
        {"\xf4\x90\x80\x80", true},  // past U+10FFFF
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name.toHex().toStdString());
        EXPECT_EQ(HasOddCharacters(c.name), c.expected);
    }
    EXPECT_FALSE(HasOddCharacters(QStringLiteral("Fotos")));
    EXPECT_TRUE(HasOddCharacters(QStringLiteral("a\u0085b")));
}
