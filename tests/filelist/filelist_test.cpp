#include "filelist/filelist.h"
#include "filelist/pathroutines.h"
#include "report/zentavoerror.h"

#include <gtest/gtest.h>

using namespace zentavo;

namespace {

QStringList texts(const FileList& list) {
    QStringList result;
    for (int i = 1; i <= list.count(); ++i) {
        result.append(list.text(i));
    }
    return result;
}

}  // namespace

TEST(FileList, EntriesAreNumberedFromOneInAppendOrderAndMayRepeat) {
    FileList list;
    list.append(QStringLiteral("/p/a.jpg"));
    list.append(QStringList{QStringLiteral("/p/b.jpg"), QStringLiteral("/p/a.jpg")});
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(texts(list), (QStringList{"/p/a.jpg", "/p/b.jpg", "/p/a.jpg"}));
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.data(list.index(1), Qt::DisplayRole).toString(), "/p/b.jpg");
    EXPECT_EQ(list.data(list.index(1), Qt::ToolTipRole).toString(), "/p/b.jpg");
    EXPECT_FALSE(list.data(list.index(1), Qt::DecorationRole).isValid());
    EXPECT_EQ(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Image File(s)");
}

TEST(FileList, RemoveMovesLaterEntriesUpAndSetTextReplacesOneEntry) {
    FileList list;
    list.append(QStringList{"a", "b", "c", "d"});
    list.remove(2);
    EXPECT_EQ(texts(list), (QStringList{"a", "c", "d"}));
    list.setText(3, QStringLiteral("x"));
    EXPECT_EQ(texts(list), (QStringList{"a", "c", "x"}));
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(FileList, EntriesOutsideTheRangeThrowAndChangeNothing) {
    FileList list;
    EXPECT_THROW(list.text(1), ZentavoError);
    EXPECT_THROW(list.remove(1), ZentavoError);
    list.append(QStringList{"a", "b"});
    EXPECT_THROW(list.text(0), ZentavoError);
    EXPECT_THROW(list.text(3), ZentavoError);
    EXPECT_THROW(list.setText(3, "x"), ZentavoError);
    EXPECT_THROW(list.remove(0), ZentavoError);
    EXPECT_THROW(list.remove(-1), ZentavoError);
    EXPECT_EQ(texts(list), (QStringList{"a", "b"}));
}

TEST(FileList, AViewLearnsOfEachChangeWithTheRightRows) {
    FileList list;
    list.append(QStringList{"a", "b"});
    QList<std::pair<int, int>> inserted;
    QList<std::pair<int, int>> removed;
    int changed = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) {
                         inserted.append({first, last});
                     });
    QObject::connect(&list, &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int first, int last) {
                         removed.append({first, last});
                     });
    QObject::connect(
        &list, &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& from, const QModelIndex&) { changed = from.row() + 1; });
    list.append(QStringLiteral("c"));
    list.append(QStringList{"d", "e", "f"});
    list.append(QStringList{});
    list.remove(1);
    list.setText(2, QStringLiteral("z"));
    EXPECT_EQ(inserted, (QList<std::pair<int, int>>{{2, 2}, {3, 5}}));
    EXPECT_EQ(removed, (QList<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(changed, 2);
}

TEST(FileList, AHundredThousandPathsAppendAsOneInsertion) {
    QStringList paths;
    for (int i = 0; i < 100000; ++i) {
        paths.append(QStringLiteral("/pictures/%1.jpg").arg(i));
    }
    FileList list;
    list.append(QStringLiteral("/first.jpg"));
    int insertions = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    list.append(paths);
    EXPECT_EQ(insertions, 1);
    EXPECT_EQ(list.count(), 100001);
    EXPECT_EQ(list.text(100001), "/pictures/99999.jpg");
    EXPECT_EQ(list.text(2), "/pictures/0.jpg");
}

TEST(IsInList, ComparesWholeTextsWithLetterCase) {
    FileList list;
    EXPECT_FALSE(IsInList(list, "/p/a.jpg"));
    list.append(QStringList{"/p/Sun.jpg", "/p/a.jpg"});
    EXPECT_TRUE(IsInList(list, "/p/a.jpg"));
    EXPECT_FALSE(IsInList(list, "/p/sun.jpg"));
    EXPECT_FALSE(IsInList(list, "/p/Sun.JPG"));
    EXPECT_FALSE(IsInList(list, "/p/a.jp"));
    EXPECT_FALSE(IsInList(list, "/p/a.jpg "));
}
