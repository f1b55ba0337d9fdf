#pragma once

#include <QStyledItemDelegate>

namespace zentavo {

class EntryOutcomes;
class Thumbnails;

// Paints an entry of the list: its thumbnail when thumbnails are shown, the mark of its outcome
// after a run, then its path, shortened as the list shortens it. The row and the selection are
// the style's. GUI thread.
class FileListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FileListDelegate(const EntryOutcomes& outcomes, const Thumbnails& thumbnails,
                     QObject* parent = nullptr);

    void setThumbnailsShown(bool shown) { m_thumbnailsShown = shown; }
    bool thumbnailsShown() const { return m_thumbnailsShown; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The room before the path: the thumbnail's square and the outcome mark's, as shown now.
    QSize decorationSize() const;

    const EntryOutcomes& m_outcomes;
    const Thumbnails& m_thumbnails;
    bool m_thumbnailsShown = false;
};

}  // namespace zentavo
