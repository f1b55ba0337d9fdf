#include "filelist/filelist.h"
#include "filelist/folderfiles.h"

#include <gtest/gtest.h>
#include <QDir>

using namespace zentavo;

TEST(TreeFolders, EachFileKeepsTheFolderNameAndTheSubFoldersDownToIt) {
    const QStringList files{"/media/card/DCIM/a.jpg", "/media/card/DCIM/100CANON/IMG_1.JPG",
                            "/media/card/DCIM/100CANON/IMG_2.JPG",
                            "/media/card/DCIM/101CANON/x/IMG_1.JPG"};
    const QStringList expected{"DCIM", "DCIM/100CANON", "DCIM/100CANON", "DCIM/101CANON/x"};
    EXPECT_EQ(treeFoldersOf("/media/card/DCIM", files), expected);
    EXPECT_EQ(treeFoldersOf("/media/card/DCIM/", files), expected);
    // The root has no name: its files keep their whole path below it.
    EXPECT_EQ(treeFoldersOf("/", {"/a.jpg", "/media/b.jpg"}), (QStringList{"", "media"}));
}

TEST(TreeFolders, DotStandsForTheFolderItNames) {
    const QString here = QDir::currentPath();
    const QString name = here.mid(here.lastIndexOf('/') + 1);
    EXPECT_EQ(treeFoldersOf(".", {"./sub/a.jpg", "./b.jpg"}), (QStringList{name + "/sub", name}));
}

TEST(FileListTree, TreeFoldersTravelWithTheirEntries) {
    FileList list;
    list.append("/one/by/one.jpg");
    list.append({"/d/DCIM/a.jpg", "/d/DCIM/s/b.jpg"}, {"DCIM", "DCIM/s"});
    list.append(QStringList{"/later.jpg"});
    EXPECT_EQ(list.treeFolders(), (QStringList{"", "DCIM", "DCIM/s", ""}));
    list.swapEntries(1, 3);
    EXPECT_EQ(list.text(1), "/d/DCIM/s/b.jpg");
    EXPECT_EQ(list.treeFolder(1), "DCIM/s");
    EXPECT_EQ(list.treeFolder(3), "");
    list.remove(2);
    EXPECT_EQ(list.treeFolders(), (QStringList{"DCIM/s", "", ""}));
    list.clear();
    list.append("/x.jpg");
    EXPECT_EQ(list.treeFolder(1), "");
}
