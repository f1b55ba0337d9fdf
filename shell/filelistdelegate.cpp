#include "shell/filelistdelegate.h"

#include "shell/entryoutcomes.h"
#include "shell/thumbnails.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zentavo {

namespace {

constexpr int MarkSide = 16;
constexpr int Gap = 4;

// The mark of an outcome, drawn rather than taken from an icon theme so that it is the same on
// every desktop and stands out on light and dark rows alike: a white sign on a coloured disc.
void drawMark(QPainter& painter, const QRectF& box, FileOutcome outcome) {
    QColor disc;
    switch (outcome) {
        case FileOutcome::Written:
            disc = QColor(0x2e, 0x8b, 0x3e);
            break;
        case FileOutcome::NotLoaded:
            disc = QColor(0xc6, 0x28, 0x28);
            break;
        case FileOutcome::NotWritten:
            disc = QColor(0xd9, 0x6c, 0x00);
            break;
        case FileOutcome::Skipped:
        case FileOutcome::ResultExists:
            disc = QColor(0x75, 0x75, 0x75);
            break;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(disc);
    painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
    QPen sign(Qt::white, box.width() / 8.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(sign);
    painter.setBrush(Qt::NoBrush);
    const auto at = [&box](double x, double y) {
        return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
    };
    switch (outcome) {
        case FileOutcome::Written: {  // a tick
            QPainterPath tick;
            tick.moveTo(at(0.27, 0.52));
            tick.lineTo(at(0.44, 0.69));
            tick.lineTo(at(0.74, 0.33));
            painter.drawPath(tick);
            break;
        }
        case FileOutcome::NotLoaded:  // a cross
            painter.drawLine(at(0.32, 0.32), at(0.68, 0.68));
            painter.drawLine(at(0.68, 0.32), at(0.32, 0.68));
            break;
        case FileOutcome::NotWritten:  // an exclamation mark
            painter.drawLine(at(0.5, 0.25), at(0.5, 0.56));
            painter.drawPoint(at(0.5, 0.74));
            break;
        case FileOutcome::Skipped:  // a dash
        case FileOutcome::ResultExists:
            painter.drawLine(at(0.3, 0.5), at(0.7, 0.5));
            break;
    }
    painter.restore();
}

// A transparent icon of size: the style leaves room for it before the text and the delegate
// paints the thumbnail and the mark into that room.
const QIcon& roomFor(QSize size) {
    static QHash<quint64, QIcon> icons;
    const quint64 key = (quint64(size.width()) << 32) | quint32(size.height());
    auto it = icons.find(key);
    if (it == icons.end()) {
        QPixmap blank(size);
        blank.fill(Qt::transparent);
        it = icons.insert(key, QIcon(blank));
    }
    return *it;
}

}  // namespace

FileListDelegate::FileListDelegate(const EntryOutcomes& outcomes, const Thumbnails& thumbnails,
                                   QObject* parent)
    : QStyledItemDelegate(parent), m_outcomes(outcomes), m_thumbnails(thumbnails) {}

QSize FileListDelegate::decorationSize() const {
    int width = m_thumbnailsShown ? Thumbnails::Side : 0;
    if (!m_outcomes.isEmpty()) {
        width += (width > 0 ? Gap : 0) + MarkSide;
    }
    return {width, m_thumbnailsShown ? Thumbnails::Side : MarkSide};
}

QSize FileListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QSize room = decorationSize();
    if (room.width() > 0) {
        size.setWidth(size.width() + room.width() + Gap);
    }
    if (m_thumbnailsShown) {
        size.setHeight(qMax(size.height(), Thumbnails::Side + 4));
    }
    return size;
}

void FileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QSize room = decorationSize();
    if (room.width() > 0) {
        item.features |= QStyleOptionViewItem::HasDecoration;
        item.decorationSize = room;
        item.icon = roomFor(room);
    }
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    if (room.width() == 0) {
        return;
    }
    const QRect place = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, widget);
    int left = place.left();
    if (m_thumbnailsShown) {
        bool gaveNone = false;
        const QImage thumbnail =
            m_thumbnails.thumbnail(index.data(Qt::DisplayRole).toString(), &gaveNone);
        if (gaveNone) {
            // Not a picture the program reads: an empty frame says so, where a picture still
            // to come shows nothing.
            painter->save();
            QColor line = option.palette.color(QPalette::Text);
            line.setAlpha(90);
            painter->setPen(QPen(line, 1, Qt::DashLine));
            painter->drawRect(QRectF(left + 6.5, place.top() + (place.height() - 28) / 2.0 + 0.5,
                                     Thumbnails::Side - 13, 27));
            painter->restore();
        } else if (!thumbnail.isNull()) {
            const QSizeF shown = thumbnail.deviceIndependentSize();
            const QPointF corner(left + (Thumbnails::Side - shown.width()) / 2.0,
                                 place.top() + (place.height() - shown.height()) / 2.0);
            painter->drawImage(corner, thumbnail);
        }
        left += Thumbnails::Side + Gap;
    }
    if (const EntryOutcome* outcome = m_outcomes.outcome(index.row())) {
        const QRectF mark(left, place.top() + (place.height() - MarkSide) / 2.0, MarkSide,
                          MarkSide);
        drawMark(*painter, mark, outcome->outcome);
    }
}

}  // namespace zentavo
