#pragma once

#include <QIdentityProxyModel>
#include <QList>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>

namespace zentavo {

class FileList;

class EntryOutcomes;

// The list's columns as the window adds them at load; before that the list shows no column.
// After a run, an entry's tooltip also says what became of it.
class ListColumns : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    // Adds a column with the header text; the list has one column of paths, so one is enough.
    void addColumn(const QString& header);
    // The outcomes the tooltips tell; none by default.
    void setOutcomes(const EntryOutcomes* outcomes) { m_outcomes = outcomes; }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QStringList m_headers;
    const EntryOutcomes* m_outcomes = nullptr;
};

// ListView1: shows the FileList, takes local files and folders dropped on it, and lets the user
// move an entry by dragging it over its neighbours. A press anywhere starts a drag; the clicked
// entry becomes DragItem; each move over an entry with a different text swaps the two texts,
// selects the hovered entry and lets DragItem follow the moved text. Only texts and the selection
// move. Shift and Ctrl extend the selection instead (a press with either moves nothing), and
// Ctrl+A selects every entry. GUI thread.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    FileListView(FileList& list, QWidget* parent = nullptr);

    ListColumns& columns() { return m_columns; }

    // The screen rows (pixels from the top of the screen) above and below which a drag scrolls
    // the neighbour of the hovered entry into view.
    static constexpr int ScrollUpRow = 305;
    static constexpr int ScrollDownRow = 364;

    // The pointer shown over the list from an item click until the button is released, loaded
    // from "drag.ico" beside the program; without it the list keeps its pointer.
    void setDragPointerFile(const QString& path) { m_dragPointerFile = path; }

    // The selected entry, counted from 1; 0 when none is selected. With several selected, the
    // first of them.
    int selectedEntry() const;
    // Every selected entry, counted from 1, in list order.
    QList<int> selectedEntries() const;
    // The entry the user is on: the current entry when it is selected, else the first selected;
    // 0 when none is selected.
    int chosenEntry() const;
    // The paths of the entries in view, top first.
    QStringList visiblePaths() const;
    bool dragActive() const { return m_dragActive; }
    // DragItem, counted from 1; 0 when there is none (or its entry was removed).
    int dragItem() const;

signals:
    // The pointer moved over the list (the window restores its default pointer unless busy).
    void pointerMoved();
    // ListView1_DblClick.
    void doubleClickedList();
    // The Delete key: the window removes the selected entries.
    void deletePressed();
    // The context menu was asked for over entry (counted from 1; 0 over no entry) at a point on
    // the screen.
    void contextMenuAsked(int entry, const QPoint& screenPoint);
    // Other entries came into view (a scroll, a resize, entries added or removed).
    void viewChanged();
    // Local paths dropped on the list, in the drop's order.
    void pathsDropped(const QStringList& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ListView1_ItemClick();
    // The button is up: the list stops moving entries and shows the arrow again.
    void endDrag();
    void dragOver(const QModelIndex& hovered, int screenY);

    FileList& m_list;
    ListColumns m_columns;
    QString m_dragPointerFile;
    bool m_dragActive = false;
    QPersistentModelIndex m_dragItem;
};

}  // namespace zentavo
