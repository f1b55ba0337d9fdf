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

    int count() const;
    // The path of entry i, 1 <= i <= count(); throws ZentavoError outside that range.
    QString text(int i) const;
    void setText(int i, const QString& path);
    void append(const QString& path);
    void append(const QStringList& paths);
    // Removes entry i; later entries move up by one. Throws outside the range.
    void remove(int i);
    void clear();
    QStringList paths() const { return m_paths; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_paths;
};

}  // namespace zentavo
