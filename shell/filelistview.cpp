#include "shell/filelistview.h"

#include "filelist/filelist.h"
#include "report/filenames.h"
#include "shell/entryoutcomes.h"
#include "shell/pointers.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>

namespace zentavo {

namespace {

// The local path of a dropped file with the very bytes of its name: a name that is not valid
// UTF-8 still names the file that was dropped.
QString localPathOf(const QUrl& url) {
    if (!url.host().isEmpty()) {
        return url.toLocalFile();
    }
    return decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

// The local paths a drag offers, in its order; none when it brings no local file list.
QStringList droppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << localPathOf(url);
        }
    }
    return paths;
}

}  // namespace

void ListColumns::addColumn(const QString& header) {
    if (!m_headers.isEmpty()) {
        return;
    }
    beginInsertColumns({}, 0, 0);
    m_headers << header;
    endInsertColumns();
}

int ListColumns::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant ListColumns::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole && m_outcomes && index.isValid()) {
        return m_outcomes->toolTip(index.row(), QIdentityProxyModel::data(index, role).toString());
    }
    return QIdentityProxyModel::data(index, role);
}

QVariant ListColumns::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size()) {
        return m_headers.at(section);
    }
    return {};
}

FileListView::FileListView(FileList& list, QWidget* parent)
    : QTreeView(parent), m_list(list), m_columns(this) {
    m_columns.setSourceModel(&list);
    setModel(&m_columns);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Entries move only by the swapping drag below; the list never exports a drag of its own.
    setDragEnabled(false);
    header()->setStretchLastSection(false);
    viewport()->setMouseTracking(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    // A long path loses its middle, so that the file name stays in sight; the whole path is the
    // entry's tooltip.
    setTextElideMode(Qt::ElideMiddle);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FileListView::viewChanged);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(&m_columns, signal, this, &FileListView::viewChanged);
    }
    connect(&m_columns, &QAbstractItemModel::modelReset, this, &FileListView::viewChanged);
    connect(&m_columns, &QAbstractItemModel::dataChanged, this, &FileListView::viewChanged);
}

int FileListView::selectedEntry() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

QList<int> FileListView::selectedEntries() const {
    QList<int> entries;
    for (const QModelIndex& row : selectionModel()->selectedRows()) {
        entries << row.row() + 1;
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

int FileListView::chosenEntry() const {
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current)) {
        return current.row() + 1;
    }
    return selectedEntry();
}

QStringList FileListView::visiblePaths() const {
    QStringList paths;
    const int rows = m_columns.rowCount();
    if (rows == 0 || m_columns.columnCount() == 0) {
        return paths;
    }
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid()) {
        return paths;
    }
    const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
    const int last = bottom.isValid() ? bottom.row() : rows - 1;
    for (int row = top.row(); row <= last; ++row) {
        paths << m_list.text(row + 1);
    }
    return paths;
}

int FileListView::dragItem() const {
    return m_dragItem.isValid() ? m_dragItem.row() + 1 : 0;
}

void FileListView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    // Shift and Ctrl choose entries; only a plain press may move one.
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) {
        return;
    }
    m_dragActive = true;
    if (indexAt(event->position().toPoint()).isValid()) {
        ListView1_ItemClick();
    }
}

void FileListView::ListView1_ItemClick() {
    if (!m_dragPointerFile.isEmpty()) {
        if (const auto pointer = loadPointerFile(m_dragPointerFile)) {
            viewport()->setCursor(*pointer);
        }
    }
    const int selected = selectedEntry();
    m_dragItem = selected > 0 ? QPersistentModelIndex(m_columns.index(selected - 1, 0))
                              : QPersistentModelIndex();
}

void FileListView::mouseMoveEvent(QMouseEvent* event) {
    emit pointerMoved();
    // A release the list never heard (a message box took the mouse while the button was down)
    // must not leave entries swapping under a pointer that only hovers.
    if (m_dragActive && !(event->buttons() & Qt::LeftButton)) {
        endDrag();
    }
    if (!m_dragActive) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    dragOver(indexAt(event->position().toPoint()), qRound(event->globalPosition().y()));
}

void FileListView::dragOver(const QModelIndex& hovered, int screenY) {
    if (!hovered.isValid() || !m_dragItem.isValid()) {
        return;
    }
    const int from = m_dragItem.row() + 1;
    const int to = hovered.row() + 1;
    const QString moved = m_list.text(from);
    const QString passed = m_list.text(to);
    if (moved == passed) {
        return;
    }
    m_list.swapEntries(from, to);
    const QModelIndex target = m_columns.index(to - 1, 0);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    m_dragItem = QPersistentModelIndex(target);
    if (screenY < ScrollUpRow && to >= 2) {
        scrollTo(m_columns.index(to - 2, 0));
    } else if (screenY > ScrollDownRow && to < m_list.count()) {
        scrollTo(m_columns.index(to, 0));
    }
}

void FileListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    endDrag();
}

void FileListView::endDrag() {
    m_dragActive = false;
    viewport()->setCursor(Qt::ArrowCursor);
}

void FileListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileListView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex under = indexAt(event->pos());
    emit contextMenuAsked(under.isValid() ? under.row() + 1 : 0, event->globalPos());
}

void FileListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    emit viewChanged();
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_UNUSED(event);
    emit doubleClickedList();
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListView::dragMoveEvent(QDragMoveEvent* event) {
    if (droppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListView::dropEvent(QDropEvent* event) {
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit pathsDropped(paths);
}

}  // namespace zentavo
