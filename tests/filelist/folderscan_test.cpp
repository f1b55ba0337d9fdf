#include "filelist/fileattributes.h"
#include "filelist/folderfiles.h"
#include "filelist/subdirectories.h"
#include "report/errorreport.h"
#include "tests/filelist/foldertree.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>

using namespace zentavo;

namespace {

const QString AppTitle = QStringLiteral("Zentavo");

QStringList scan(const QString& folder, const QString& pattern) {
    test::ScriptedDialogs dialogs;
    const QStringList files = scanFolderTree(folder, pattern, &dialogs, AppTitle);
    EXPECT_TRUE(dialogs.shown.empty());
    return files;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

TEST(FolderScan, ExtensionStarAddsEveryFileAndJpgFindsCapitals) {
    test::FolderTree tree;
    tree.folder("A");
    tree.folder("A/S");
    for (const char* name : {"A/a.jpg", "A/b.PNG", "A/C.JPG", "A/noext", "A/S/s.jpg"}) {
        tree.file(name);
    }
    const QString a = tree.path("A");
    EXPECT_EQ(extensionPattern("*"), "*.*");
    EXPECT_EQ(sorted(scan(a, extensionPattern("*"))),
              sorted({a + "/a.jpg", a + "/b.PNG", a + "/C.JPG", a + "/noext", a + "/S/s.jpg"}));
    EXPECT_EQ(sorted(scan(a, extensionPattern("jpg"))),
              sorted({a + "/a.jpg", a + "/C.JPG", a + "/S/s.jpg"}));
    EXPECT_TRUE(scan(a, extensionPattern("gif")).isEmpty());
}

TEST(FolderScan, TildeNamesAndHiddenFilesAreNotAdded) {
    test::FolderTree tree;
    for (const char* name : {"~draft.jpg", ".hidden.jpg", "shown.jpg", "~", "a~b.jpg"}) {
        tree.file(name);
    }
    tree.link(".hiddenlink.jpg", "shown.jpg");
    const QString r = tree.root();
    EXPECT_EQ(attributeValue(tree.path(".hidden.jpg")), HiddenArchiveFile);
    EXPECT_EQ(attributeValue(tree.path("shown.jpg")), 32);
    EXPECT_EQ(attributeValue(tree.path(".hiddenlink.jpg")), 1024 + HiddenArchiveFile);
    // A hidden link is a reparse point as well, so its value is not exactly 34 and it counts.
    EXPECT_EQ(sorted(scan(r, "*.*")),
              sorted({r + "/shown.jpg", r + "/a~b.jpg", r + "/.hiddenlink.jpg"}));
}

TEST(FolderScan, HiddenFoldersAreSkippedWithTheirSubtreeUnlessTheScanStartsThere) {
    test::FolderTree tree;
    for (const char* name : {".hid", ".hid/deep", "visible", "visible/.inner"}) {
        tree.folder(name);
    }
    for (const char* name :
         {".hid/h.jpg", ".hid/deep/d.jpg", "visible/v.jpg", "visible/.inner/i.jpg"}) {
        tree.file(name);
    }
    tree.link("visible/.hidlink", "../.hid/deep");
    tree.link("visible/alias", "../.hid");
    EXPECT_EQ(attributeValue(tree.path(".hid/")), HiddenSystemFolder);
    EXPECT_EQ(attributeValue(tree.path("visible/.hidlink")), HiddenSystemLinkFolder);
    EXPECT_EQ(attributeValue(tree.path("visible")), 16);
    // A visible link to a hidden folder is an ordinary folder, even though the walk met the
    // hidden folder itself one level higher.
    EXPECT_EQ(scan(tree.root(), "*.jpg"),
              (QStringList{tree.path("visible/v.jpg"), tree.path("visible/alias/h.jpg"),
                           tree.path("visible/alias/deep/d.jpg")}));
    EXPECT_EQ(scan(tree.path(".hid"), "*.jpg"), QStringList{tree.path(".hid/h.jpg")});
}

TEST(FolderScan, LinkedFoldersAreFollowedButALinkCycleEndsAndAddsEachFileOnce) {
    test::FolderTree tree;
    for (const char* name : {"A", "A/B", "Other"}) {
        tree.folder(name);
    }
    for (const char* name : {"A/a.jpg", "A/B/b.jpg", "Other/o.jpg"}) {
        tree.file(name);
    }
    tree.link("A/B/up", "..");
    tree.link("A/B/self", ".");
    tree.link("A/toB", "B");
    tree.link("A/other", "../Other");

    QStringList collection{tree.path("A/")};
    test::ScriptedDialogs dialogs;
    GetSubDirectories2016(collection, true, &dialogs, AppTitle);
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_EQ(collection.size(), 3);
    EXPECT_TRUE(collection.contains(tree.path("A/other/")));

    const QStringList files = scan(tree.path("A"), "*.jpg");
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0], tree.path("A/a.jpg"));
    EXPECT_TRUE(files.contains(tree.path("A/other/o.jpg")));
    // B is reached either by its name or through toB, whichever the listing gives first.
    EXPECT_TRUE(files.contains(tree.path("A/B/b.jpg")) || files.contains(tree.path("A/toB/b.jpg")));
}

TEST(FolderScan, FoldersComeBreadthFirstEachInNaturalOrder) {
    test::FolderTree tree;
    for (const char* name : {"A", "A/f10", "A/F2", "A/f10/D", "A/F2/c"}) {
        tree.folder(name);
    }
    for (const char* name : {"A/b.jpg", "A/a10.jpg", "A/a9.jpg", "A/f10/x.jpg", "A/F2/y.jpg",
                             "A/f10/D/d.jpg", "A/F2/c/c.jpg"}) {
        tree.file(name);
    }
    const QString a = tree.path("A");
    QStringList collection{a + "/"};
    int yields = 0;
    EXPECT_TRUE(
        GetSubDirectories2016(collection, true, nullptr, AppTitle, [&] { return ++yields > 0; }));
    // At least once before each of the five folders is examined and each of the four
    // collected folders is checked, so a window keeps serving its events.
    EXPECT_GE(yields, 9);
    EXPECT_EQ(collection,
              (QStringList{a + "/", a + "/F2/", a + "/f10/", a + "/F2/c/", a + "/f10/D/"}));
    EXPECT_EQ(scan(a, "*.jpg"),
              (QStringList{a + "/a9.jpg", a + "/a10.jpg", a + "/b.jpg", a + "/F2/y.jpg",
                           a + "/f10/x.jpg", a + "/F2/c/c.jpg", a + "/f10/D/d.jpg"}));

    QStringList oneLevel{a + "/"};
    GetSubDirectories2016(oneLevel, false, nullptr, AppTitle);
    EXPECT_EQ(oneLevel.size(), 3);

    // A caller that asks to stop (its window is closing) ends the walk at the next yield.
    QStringList stopped{a + "/"};
    int served = 0;
    EXPECT_FALSE(
        GetSubDirectories2016(stopped, true, nullptr, AppTitle, [&] { return ++served < 2; }));
    EXPECT_EQ(served, 2);
    EXPECT_TRUE(scanFolderTree(a, "*.*", nullptr, AppTitle, {}, [] { return false; }).isEmpty());
}

TEST(FolderScan, AFolderEndingInASeparatorOrTheRootIsJoinedWithoutDoubling) {
    test::FolderTree tree;
    tree.folder("S");
    tree.file("a.jpg");
    tree.file("S/s.jpg");
    // The root comes from the folder picker with its separator: the collection holds "//".
    EXPECT_EQ(scan(tree.root() + "/", "*.jpg"),
              (QStringList{tree.path("a.jpg"), tree.path("S/s.jpg")}));
    EXPECT_TRUE(isRootFolder("//"));
    EXPECT_FALSE(isRootFolder("/tmp/"));
    EXPECT_TRUE(isRootFolder(R"(C:\\)", QChar(u'\\')));

    QStringList root{"//"};
    GetSubDirectories2016(root, false, nullptr, AppTitle);
    EXPECT_TRUE(root.contains("//tmp/"));
    for (const QString& file : collectFolderFiles({"//tmp//"}, "*.*")) {
        EXPECT_FALSE(file.contains("//")) << file.toStdString();
    }
}

TEST(FolderScan, FoldersWithOddCharactersAreSkippedWithTheirSubtreeButOddFileNamesAreListed) {
    test::FolderTree tree;
    for (const char* name : {"new\nline", "new\nline/deep", "bad\xff", "why?", "ok"}) {
        tree.folder(name);
    }
    for (const char* name : {"new\nline/x.jpg", "new\nline/deep/y.jpg", "bad\xff/z.jpg",
                             "why?/q.jpg", "ok/k.jpg", "bad\xfe.jpg"}) {
        tree.file(name);
    }
    EXPECT_EQ(scan(tree.root(), "*.jpg"),
              (QStringList{tree.path("bad\xfe.jpg"), tree.path("ok/k.jpg")}));
}

TEST(FolderScan, PathsOf260CharactersOrMoreAreCollectedButNotEntered) {
    for (const int length : {259, 260}) {
        SCOPED_TRACE(length);
        test::FolderTree tree;
        // root + "/" + name + "/" is exactly length characters long.
        const QByteArray name(length - tree.root().size() - 2, 'n');
        tree.folder(name);
        tree.folder(name + "/k");
        tree.file(name + "/1.jpg");
        tree.file(name + "/k/2.jpg");
        ASSERT_EQ(tree.path(name + "/").size(), length);
        QStringList expected{tree.path(name + "/1.jpg")};
        if (length < 260) {
            expected << tree.path(name + "/k/2.jpg");
        }
        EXPECT_EQ(scan(tree.root(), "*.jpg"), expected);
    }
}

TEST(FolderScan, APathTooLongToEnterDoesNotKeepTheFolderFromAShorterPath) {
    test::FolderTree tree;
    // root/<long>/ has 259 characters and is entered; root/<long>/link/ is too long to enter.
    // The walk meets the link before the folder's own short path (a sorts before c).
    const QByteArray longName(257 - tree.root().size(), 'a');
    for (const QByteArray& name :
         {longName, QByteArray("c"), QByteArray("c/T"), QByteArray("c/T/S")}) {
        tree.folder(name);
    }
    tree.file("c/T/t.jpg");
    tree.file("c/T/S/s.jpg");
    tree.link(longName + "/link", "../c/T");
    EXPECT_EQ(scan(tree.root(), "*.jpg"),
              (QStringList{tree.path(longName + "/link/t.jpg"), tree.path("c/T/t.jpg"),
                           tree.path("c/T/S/s.jpg")}));
}

TEST(FolderScan, OtherListingFailuresAreReportedUnderTheApplicationTitle) {
    test::FolderTree tree;
    tree.folder("A");
    tree.file("A/a.jpg");
    tree.link("A/loop", "loop");
    QStringList collection{tree.path("A/loop/"), tree.path("gone/"), tree.path("A/")};
    test::ScriptedDialogs dialogs;
    GetSubDirectories2016(collection, true, &dialogs, AppTitle);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, AppTitle);
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(dialogs.shown[0].text.contains(
        "\r\nin Dunmere2021/08/31.AddFolder.GetSubDirectories2016 at line 110\r\r"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(tree.path("A/loop/")));
    // The failing folder stays; a folder that is gone leaves silently; the walk went on.
    EXPECT_EQ(collection, (QStringList{tree.path("A/loop/"), tree.path("A/")}));
}

TEST(FolderScan, AFailedStatementSkipsItsFileAndTheRestGoOn) {
    test::FolderTree tree;
    tree.file("a.jpg");
    tree.file("b.jpg");
    test::ScriptedDialogs dialogs;
    ErrorReport guard(dialogs, "in Zentavo2021/08/31.Form1.PushButton3_Click ");
    int appends = 0;
    const StatementRunner run = [&](int number, const std::function<void()>& statement) {
        if (number == static_cast<int>(FolderFilesStatement::FormPath) && appends++ == 0) {
            return guard.step(number, [] { throw std::runtime_error("no memory for the path"); });
        }
        return guard.step(number, statement);
    };
    EXPECT_EQ(collectFolderFiles({tree.root() + "/"}, "*.jpg", run),
              QStringList{tree.root() + "/b.jpg"});
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].contains("PushButton3_Click at line 128"));
}
