#include "filelist/filelist.h"

#include "report/filenames.h"
#include "report/zentavoerror.h"

namespace zentavo {

namespace {

[[noreturn]] void throwOutOfRange(int i, int count) {
    throw ZentavoError(ErrorNumber::Generic,
                       QStringLiteral("Index out of bounds: entry %1 of %2").arg(i).arg(count));
}

}  // namespace

FileList::FileList(QObject* parent) : QAbstractListModel(parent) {}

int FileList::count() const {
    return static_cast<int>(m_paths.size());
}

QString FileList::text(int i) const {
    if (i < 1 || i > count()) {
        throwOutOfRange(i, count());
    }
    return m_paths.at(i - 1);
}

void FileList::setText(int i, const QString& path) {
    if (i < 1 || i > count()) {
        throwOutOfRange(i, count());
    }
    if (m_paths.at(i - 1) == path) {
        return;
    }
    m_paths[i - 1] = path;
    const QModelIndex changed = index(i - 1);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::ToolTipRole});
}

void FileList::append(const QString& path) {
    beginInsertRows({}, count(), count());
    m_paths.append(path);
    if (!m_treeFolders.isEmpty()) {
        m_treeFolders.append(QString());
    }
    endInsertRows();
}

void FileList::append(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    // One insertion for the whole batch, so a view relayouts once for a large folder scan.
    beginInsertRows({}, count(), count() + static_cast<int>(paths.size()) - 1);
    m_paths.append(paths);
    if (!m_treeFolders.isEmpty()) {
        m_treeFolders.resize(m_paths.size());
    }
    endInsertRows();
}

void FileList::append(const QStringList& paths, const QStringList& treeFolders) {
    if (paths.isEmpty()) {
        return;
    }
    beginInsertRows({}, count(), count() + static_cast<int>(paths.size()) - 1);
    m_treeFolders.resize(m_paths.size());
    m_paths.append(paths);
    m_treeFolders.append(treeFolders.mid(0, paths.size()));
    m_treeFolders.resize(m_paths.size());
    endInsertRows();
}

QString FileList::treeFolder(int i) const {
    if (i < 1 || i > count()) {
        throwOutOfRange(i, count());
    }
    return m_treeFolders.value(i - 1);
}

void FileList::swapEntries(int a, int b) {
    if (a < 1 || a > count()) {
        throwOutOfRange(a, count());
    }
    if (b < 1 || b > count()) {
        throwOutOfRange(b, count());
    }
    m_paths.swapItemsAt(a - 1, b - 1);
    if (!m_treeFolders.isEmpty()) {
        m_treeFolders.swapItemsAt(a - 1, b - 1);
    }
    for (const int row : {a - 1, b - 1}) {
        emit dataChanged(index(row), index(row), {Qt::DisplayRole, Qt::ToolTipRole});
    }
}

void FileList::remove(int i) {
    if (i < 1 || i > count()) {
        throwOutOfRange(i, count());
    }
    beginRemoveRows({}, i - 1, i - 1);
    m_paths.removeAt(i - 1);
    if (!m_treeFolders.isEmpty()) {
        m_treeFolders.removeAt(i - 1);
    }
    endRemoveRows();
}

bool FileList::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count < 1 || row > this->count() - count) {
        return false;
    }
    beginRemoveRows({}, row, row + count - 1);
    m_paths.remove(row, count);
    endRemoveRows();
    return true;
}

void FileList::clear() {
    beginResetModel();
    m_paths.clear();
    m_treeFolders.clear();
    endResetModel();
}

int FileList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant FileList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return readableFileName(m_paths.at(index.row()));
    }
    return {};
}

QVariant FileList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return QStringLiteral("Image File(s)");
    }
    return QAbstractListModel::headerData(section, orientation, role);
}

}  // namespace zentavo
