// The list view: moving an entry by dragging it, removal by double-click, "Clear List", and the
// pointer while the window is busy.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "shell/filelistview.h"
#include "shell/pointers.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace zentavo::test {

namespace {

// Sends a mouse event to the list at the middle of entry row (from 0), with the pointer at
// screenY on the screen.
// A move holds the left button unless buttonUp says the button is already up.
void mouseAt(FileListView* list, QEvent::Type type, int row, int screenY = 330,
             bool buttonUp = false) {
    const QPoint local = list->visualRect(list->model()->index(row, 0)).center();
    const QPoint global(list->viewport()->mapToGlobal(local).x(), screenY);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease || buttonUp ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &event);
}

QStringList entries(const FileList& list) {
    return list.paths();
}

}  // namespace

class ListViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        m_programFolder = QStringLiteral(ZENTAVO_BUILD_DIR);
        loadForm();
        m_list = m_form->controls().ListView1;
    }
    void fill(int count) {
        for (int i = 1; i <= count; ++i) {
            m_form->fileList().append(QStringLiteral("/pictures/%1.jpg").arg(i));
        }
    }
    FileListView* m_list = nullptr;
};

TEST_F(ListViewTest, DraggingTheFirstEntryOverThreeOthersMovesItToFourth) {
    fill(4);
    mouseAt(m_list, QEvent::MouseButtonPress, 0);
    EXPECT_TRUE(m_list->dragActive());
    EXPECT_EQ(m_list->dragItem(), 1);
    // The shipped "drag.ico" is the list's pointer while the button is held.
    EXPECT_EQ(m_list->viewport()->cursor().shape(), Qt::BitmapCursor);
    for (int row = 1; row <= 3; ++row) {
        mouseAt(m_list, QEvent::MouseMove, row);
    }
    mouseAt(m_list, QEvent::MouseButtonRelease, 3);

    EXPECT_EQ(entries(m_form->fileList()), (QStringList{"/pictures/2.jpg", "/pictures/3.jpg",
                                                        "/pictures/4.jpg", "/pictures/1.jpg"}));
    EXPECT_EQ(m_list->selectedEntry(), 4);
    EXPECT_EQ(m_list->dragItem(), 4);
    EXPECT_FALSE(m_list->dragActive());
    EXPECT_EQ(m_list->viewport()->cursor().shape(), Qt::ArrowCursor);
    // Moving without a button held changes nothing.
    mouseAt(m_list, QEvent::MouseMove, 0);
    EXPECT_EQ(m_form->fileList().text(1), "/pictures/2.jpg");
}

TEST_F(ListViewTest, DraggingOverAnEqualTextSwapsNothingAndDragItemStays) {
    m_form->fileList().append(QStringList{"/a.jpg", "/a.jpg", "/b.jpg"});
    mouseAt(m_list, QEvent::MouseButtonPress, 0);
    mouseAt(m_list, QEvent::MouseMove, 1);
    EXPECT_EQ(m_list->dragItem(), 1);
    EXPECT_EQ(m_list->selectedEntry(), 1);
    mouseAt(m_list, QEvent::MouseMove, 2);
    mouseAt(m_list, QEvent::MouseButtonRelease, 2);
    EXPECT_EQ(entries(m_form->fileList()), (QStringList{"/b.jpg", "/a.jpg", "/a.jpg"}));
}

TEST_F(ListViewTest, DragScrollsOnlyBeyondTheTwoScreenRows) {
    fill(60);
    QCoreApplication::processEvents();
    QScrollBar* bar = m_list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    int lastVisible = 0;
    while (m_list->visualRect(m_list->model()->index(lastVisible + 1, 0)).bottom() <
           m_list->viewport()->height()) {
        ++lastVisible;
    }
    mouseAt(m_list, QEvent::MouseButtonPress, lastVisible - 1);
    mouseAt(m_list, QEvent::MouseMove, lastVisible, 364);
    EXPECT_EQ(bar->value(), 0);
    mouseAt(m_list, QEvent::MouseMove, lastVisible - 1, 365);
    mouseAt(m_list, QEvent::MouseMove, lastVisible, 365);
    EXPECT_GT(bar->value(), 0);
    mouseAt(m_list, QEvent::MouseButtonRelease, lastVisible);
}

TEST_F(ListViewTest, ADragWhoseReleaseWentElsewhereEndsAtTheFirstMoveWithoutTheButton) {
    fill(3);
    mouseAt(m_list, QEvent::MouseButtonPress, 0);
    // A message box took the release; the pointer now only hovers over the other entries.
    mouseAt(m_list, QEvent::MouseMove, 1, 330, true);
    mouseAt(m_list, QEvent::MouseMove, 2, 330, true);
    EXPECT_FALSE(m_list->dragActive());
    EXPECT_EQ(m_list->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(entries(m_form->fileList()),
              (QStringList{"/pictures/1.jpg", "/pictures/2.jpg", "/pictures/3.jpg"}));
}

TEST_F(ListViewTest, DoubleClickDeleteKeyAndClearListAreRefusedWhileBusy) {
    fill(4);
    mouseAt(m_list, QEvent::MouseButtonPress, 1);
    mouseAt(m_list, QEvent::MouseButtonRelease, 1);

    m_form->setBusy(true);
    mouseAt(m_list, QEvent::MouseButtonDblClick, 1);
    QTest::keyClick(m_list, Qt::Key_Delete);
    m_form->controls().PushButton4->click();
    EXPECT_EQ(m_form->fileList().count(), 4);
    EXPECT_EQ(m_form->cursor().shape(), Qt::WaitCursor);

    m_form->setBusy(false);
    mouseAt(m_list, QEvent::MouseButtonDblClick, 1);
    EXPECT_EQ(entries(m_form->fileList()),
              (QStringList{"/pictures/1.jpg", "/pictures/3.jpg", "/pictures/4.jpg"}));
    mouseAt(m_list, QEvent::MouseButtonPress, 2);
    mouseAt(m_list, QEvent::MouseButtonRelease, 2);
    QTest::keyClick(m_list, Qt::Key_Delete);
    EXPECT_EQ(entries(m_form->fileList()), (QStringList{"/pictures/1.jpg", "/pictures/3.jpg"}));
    m_form->controls().PushButton4->click();
    EXPECT_EQ(m_form->fileList().count(), 0);
    // On an empty list a double-click does nothing.
    m_form->ListView1_DblClick();
    EXPECT_TRUE(m_dialogs.shown.empty());
}

TEST_F(ListViewTest, ShiftAndCtrlExtendTheSelectionMovingNothingAndDeleteRemovesEverySelected) {
    fill(6);
    const auto click = [this](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, modifiers,
                          m_list->visualRect(m_list->model()->index(row, 0)).center());
    };
    click(0, Qt::NoModifier);
    click(2, Qt::ShiftModifier);
    EXPECT_EQ(m_list->selectedEntries(), (QList<int>{1, 2, 3}));
    click(4, Qt::ControlModifier);
    EXPECT_EQ(m_list->selectedEntries(), (QList<int>{1, 2, 3, 5}));
    // A press with Shift held, then a move over another entry with the button down: choosing,
    // not moving.
    const QPoint third = m_list->visualRect(m_list->model()->index(2, 0)).center();
    QTest::mousePress(m_list->viewport(), Qt::LeftButton, Qt::ShiftModifier, third);
    mouseAt(m_list, QEvent::MouseMove, 3);
    QTest::mouseRelease(m_list->viewport(), Qt::LeftButton, Qt::ShiftModifier, third);
    EXPECT_FALSE(m_list->dragActive());
    EXPECT_EQ(entries(m_form->fileList()),
              (QStringList{"/pictures/1.jpg", "/pictures/2.jpg", "/pictures/3.jpg",
                           "/pictures/4.jpg", "/pictures/5.jpg", "/pictures/6.jpg"}));

    click(0, Qt::NoModifier);
    click(2, Qt::ShiftModifier);
    click(4, Qt::ControlModifier);
    QTest::keyClick(m_list, Qt::Key_Delete);
    EXPECT_EQ(entries(m_form->fileList()), (QStringList{"/pictures/4.jpg", "/pictures/6.jpg"}));

    // Shift+Down extends from the current entry; a double-click still removes the one entry
    // under it.
    fill(3);  // 4, 6, 1, 2, 3
    click(1, Qt::NoModifier);
    QTest::keyClick(m_list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(m_list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(m_list->selectedEntries(), (QList<int>{2, 3, 4}));
    mouseAt(m_list, QEvent::MouseButtonPress, 4);
    mouseAt(m_list, QEvent::MouseButtonRelease, 4);
    mouseAt(m_list, QEvent::MouseButtonDblClick, 4);
    EXPECT_EQ(entries(m_form->fileList()), (QStringList{"/pictures/4.jpg", "/pictures/6.jpg",
                                                        "/pictures/1.jpg", "/pictures/2.jpg"}));

    // Ctrl+A, then Delete, empties the list; ten thousand entries go in one change.
    fill(10000);
    QTest::keyClick(m_list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(m_list->selectedEntries().size(), 10004);
    int removals = 0;
    QObject::connect(&m_form->fileList(), &FileList::rowsRemoved, [&removals] { ++removals; });
    QTest::keyClick(m_list, Qt::Key_Delete);
    EXPECT_EQ(m_form->fileList().count(), 0);
    EXPECT_EQ(removals, 1);
}

TEST_F(ListViewTest, HoveringNeverReplacesTheBusyPointer) {
    auto hover = [](QWidget* widget) {
        const QPoint centre(4, widget->height() - 4);  // clear of any inner frame
        QMouseEvent move(QEvent::MouseMove, centre, widget->mapToGlobal(centre), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    };
    m_form->setBusy(true);
    hover(m_form->controls().PushButton1);
    hover(m_form->controls().Frame5);
    hover(m_list->viewport());
    EXPECT_EQ(m_form->pointer(), PointerKind::Hourglass);
    EXPECT_EQ(m_form->cursor().shape(), Qt::WaitCursor);

    m_form->setBusy(false);
    hover(m_form->controls().PushButton4);
    EXPECT_EQ(m_form->pointer(), PointerKind::Custom);
    EXPECT_EQ(m_form->cursor().shape(), Qt::BitmapCursor);
    hover(m_form->controls().Frame5);
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);
    hover(m_form->controls().PushButton8);
    EXPECT_EQ(m_form->pointer(), PointerKind::Custom);
    hover(m_list->viewport());
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);
}

TEST(PointerFile, ReadsTheShippedCursorWithItsHotSpotAndRefusesOthers) {
    const auto hand = loadPointerFile(QStringLiteral(ZENTAVO_BUILD_DIR "/HAND-M.CUR"));
    ASSERT_TRUE(hand.has_value());
    const QSize size = hand->pixmap().size();
    EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(hand->hotSpot()));
    EXPECT_TRUE(loadPointerFile(QStringLiteral(ZENTAVO_BUILD_DIR "/drag.ico")).has_value());
    QTemporaryDir dir;
    EXPECT_FALSE(loadPointerFile(dir.filePath("missing.cur")).has_value());
    writeFile(dir.filePath("text.cur"), "not a cursor");
    EXPECT_FALSE(loadPointerFile(dir.filePath("text.cur")).has_value());
}

}  // namespace zentavo::test
