#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>

namespace zentavo {

// The ordered list of input paths, numbered from 1 in display order. Entries are neither unique
// nor validated. A list model, so the window's view shows it directly and 100,000 entries append
// in well under a second. GUI thread only.
class FileList : public QAbstractListModel {
    Q_OBJECT
public:
    explicit FileList(QObject* parent = nullptr);

    // The number of entries.
    int count() const;
    // The path of entry i, 1 <= i <= count(); throws ZentavoError outside that range.
    QString text(int i) const;
    // Replaces the text of entry i, 1 <= i <= count(); throws ZentavoError outside that range.
    void setText(int i, const QString& path);
    // Appends at the end, unchanged and without any test. Several paths arrive as one insertion,
    // so a view lays itself out once however many there are.
    void append(const QString& path);
    void append(const QStringList& paths);
    // Appends the files of an added folder, each with its place in the folder's tree (see
    // treeFolder(); treeFolders holds one entry per path).
    void append(const QStringList& paths, const QStringList& treeFolders);
    // The folder an entry keeps under the results folder when the tree is kept: the added
    // folder's own name and the sub-folders down to the file ("DCIM/100CANON"); empty for an
    // entry added on its own. It travels with the entry's text when entries are swapped.
    QString treeFolder(int i) const;
    // Swaps the texts (and tree folders) of entries a and b. Throws outside the range.
    void swapEntries(int a, int b);
    // Removes entry i; later entries move up by one. Throws outside the range.
    void remove(int i);
    // Removes count entries from row (counted from 0) as one change, so a view follows the
    // removal of thousands at once; false, removing nothing, when they are not all entries.
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    // Removes every entry.
    void clear();
    // All entries in display order (a copy: a snapshot for a run).
    QStringList paths() const { return m_paths; }
    // The tree folders of all entries in display order (empty when no entry has one).
    QStringList treeFolders() const { return m_treeFolders; }

    // The model of the view: one row per entry; the path is both the text and the tooltip; the
    // one column is headed "Image File(s)".
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_paths;
    // Empty while no entry came from a folder; then one per entry.
    QStringList m_treeFolders;
};

}  // namespace zentavo
