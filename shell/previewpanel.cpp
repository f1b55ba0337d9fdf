#include "shell/previewpanel.h"

#include "batch/joboptions.h"
#include "batch/preview.h"
#include "batch/rotation.h"
#include "imagefiles/files/cancellation.h"
#include "report/errorreport.h"

#include <QFileInfo>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace zentavo {

namespace {

constexpr int Spacing = 8;  // between the two boxes
constexpr int Padding = 4;  // inside a well, around the picture
constexpr int ReloadRestMs = 200;

QString degreesWords(const QString& degrees) {
    const double angle = leadingNumber(degrees);
    const QString amount = QString::number(std::abs(angle)) + QChar(0x00B0);
    if (std::fmod(std::abs(angle), 360.0) == 180.0) {
        return QStringLiteral("turned ") + amount;
    }
    // The rotation text counts clockwise turns as negative.
    return QStringLiteral("turned ") + amount +
           (angle < 0 ? QStringLiteral(" clockwise") : QStringLiteral(" counter-clockwise"));
}

}  // namespace

QString orientationWords(int orientation) {
    switch (orientation) {
        case 2:
            return QStringLiteral("mirrored left to right");
        case 3:
            return QStringLiteral("turned 180\u00B0");
        case 4:
            return QStringLiteral("mirrored top to bottom");
        case 5:
            return QStringLiteral("mirrored across its diagonal");
        case 6:
            return QStringLiteral("turned 90\u00B0 clockwise");
        case 7:
            return QStringLiteral("mirrored across its other diagonal");
        case 8:
            return QStringLiteral("turned 90\u00B0 counter-clockwise");
        default:
            return {};
    }
}

PreviewPanel::PreviewPanel(const JobOptions& options, QWidget* parent)
    : QWidget(parent),
      m_options(options),
      m_loader([](const QString& path, int longSide, const std::atomic_bool& cancelled) {
          const CancellationScope scope(&cancelled);
          return loadReducedPicture(path, longSide);
      }) {
    // One decode at a time: a new entry cancels the last rather than queueing behind it.
    m_pool.setMaxThreadCount(1);
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(ReloadRestMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] {
        if (!m_path.isEmpty() && isVisible()) {
            load();
        }
    });
}

PreviewPanel::~PreviewPanel() {
    if (m_cancelled) {
        m_cancelled->store(true);
    }
    m_pool.clear();
    m_pool.waitForDone();
}

void PreviewPanel::showEntry(const QString& path) {
    if (path == m_path && (m_loading || !m_before.isEmpty() || !m_reason.isEmpty())) {
        return;
    }
    m_path = path;
    m_before = Picture();
    m_after = QImage();
    m_reason.clear();
    m_fullSize = QSize();
    m_loadedLongSide = 0;
    m_loading = false;
    if (m_cancelled) {
        m_cancelled->store(true);
    }
    ++m_request;
    if (!path.isEmpty() && isVisible()) {
        load();
    }
    update();
}

void PreviewPanel::load() {
    if (m_cancelled) {
        m_cancelled->store(true);
    }
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    m_loading = true;
    const quint64 request = ++m_request;
    const int longSide = wantedLongSide();
    const QString path = m_path;
    const Loader loader = m_loader;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    // The destructor waits for the worker, so the panel outlives it; a result that arrives after
    // the panel is gone is dropped with its posted events.
    PreviewPanel* self = this;
    m_pool.start([self, request, longSide, path, loader, cancelled] {
        // Worker thread: a decode that was cancelled before it began never begins.
        if (cancelled->load()) {
            return;
        }
        ReducedPicture reduced = loader(path, longSide, *cancelled);
        if (cancelled->load()) {
            return;
        }
        QMetaObject::invokeMethod(
            self, [self, request, reduced] { self->loaded(request, reduced); },
            Qt::QueuedConnection);
    });
    update();
}

void PreviewPanel::loaded(quint64 request, const ReducedPicture& reduced) {
    if (request != m_request) {
        return;
    }
    m_loading = false;
    m_fullSize = reduced.fullSize;
    if (reduced.loaded.ok()) {
        m_before = reduced.loaded.picture;
        m_loadedLongSide = std::max(m_before.width(), m_before.height());
        m_reason.clear();
        makeAfter();
    } else {
        m_before = Picture();
        m_after = QImage();
        m_reason = QFileInfo(m_path).fileName() + QStringLiteral(" cannot be loaded: ") +
                   reduced.loaded.reason;
    }
    m_beforeShown = QPixmap();
    update();
    emit shown();
}

void PreviewPanel::optionsChanged() {
    if (m_before.isEmpty()) {
        return;
    }
    makeAfter();
    update();
}

void PreviewPanel::makeAfter() {
    m_afterShown = QPixmap();
    try {
        m_after = previewAfter(m_before, m_options).image;
    } catch (...) {
        m_after = QImage();
        m_reason = describeException(std::current_exception());
    }
}

std::pair<PreviewPanel::Box, PreviewPanel::Box> PreviewPanel::boxes() const {
    const QRect all = rect();
    // Side by side where the panel is wider than tall; one above the other otherwise.
    const bool sideBySide = all.width() >= all.height();
    QRect first = all;
    QRect second = all;
    if (sideBySide) {
        const int width = (all.width() - Spacing) / 2;
        first.setWidth(width);
        second.setLeft(all.right() - width + 1);
    } else {
        const int height = (all.height() - Spacing) / 2;
        first.setHeight(height);
        second.setTop(all.bottom() - height + 1);
    }
    // The captions wrap within their box; both pictures start below the taller one.
    const auto wrapped = [this, &first](const QString& caption) {
        return fontMetrics()
            .boundingRect(QRect(0, 0, first.width(), 10000), Qt::TextWordWrap, caption)
            .height();
    };
    const int captionHeight =
        std::max(wrapped(beforeCaption()), wrapped(afterCaption())) + Padding;
    const auto box = [captionHeight](const QRect& place) {
        return Box{QRect(place.left(), place.top(), place.width(), captionHeight),
                   place.adjusted(0, captionHeight, 0, 0)};
    };
    return {box(first), box(second)};
}

int PreviewPanel::wantedLongSide() const {
    const QRect well = boxes().first.well.adjusted(Padding, Padding, -Padding, -Padding);
    return std::max(1, int(std::ceil(std::max(well.width(), well.height()) * devicePixelRatioF())));
}

void PreviewPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_beforeShown = QPixmap();
    m_afterShown = QPixmap();
    // A picture that was reduced more than the panel now needs is decoded again, larger.
    if (!m_before.isEmpty() && m_loadedLongSide < wantedLongSide() &&
        std::max(m_fullSize.width(), m_fullSize.height()) > m_loadedLongSide) {
        m_reloadTimer.start();
    }
}

void PreviewPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_path.isEmpty() && !m_loading && m_before.isEmpty() && m_reason.isEmpty()) {
        load();
    }
}

void PreviewPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        m_beforeShown = QPixmap();
        m_afterShown = QPixmap();
    }
}

QString PreviewPanel::beforeCaption() const {
    QString caption = QStringLiteral("Before");
    if (!m_fullSize.isEmpty()) {
        caption += QStringLiteral(" (%1 x %2)").arg(m_fullSize.width()).arg(m_fullSize.height());
    }
    const QString upright = orientationWords(m_before.orientation);
    if (!upright.isEmpty()) {
        // What the run does first, which a picture shown upright would otherwise hide.
        caption += QStringLiteral("\nShown upright, as its orientation tag asks: ") + upright;
    }
    return caption;
}

QString PreviewPanel::afterCaption() const {
    switch (m_options.operation()) {
        case Operation::Flip:
            switch (m_options.flipDirection()) {
                case FlipDirection::Horizontal:
                    return QStringLiteral("After: flipped horizontally");
                case FlipDirection::Vertical:
                    return QStringLiteral("After: flipped vertically");
                case FlipDirection::None:
                    break;
            }
            break;
        case Operation::Rotate:
            return QStringLiteral("After: ") + degreesWords(m_options.degrees());
        case Operation::None:
            break;
    }
    return QStringLiteral("After: unchanged");
}

void PreviewPanel::paintBox(QPainter& painter, const Box& box, const QString& caption,
                            const QImage& image, QPixmap& scaled, const QString& note) const {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(box.caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(box.well.adjusted(0, 0, -1, -1));
    const QRect inside = box.well.adjusted(Padding, Padding, -Padding, -Padding);
    if (!image.isNull() && inside.isValid()) {
        const qreal ratio = devicePixelRatioF();
        if (scaled.isNull()) {
            // Never enlarged: a small picture shows at its own size.
            const QSize fit = image.size().boundedTo(inside.size() * ratio);
            scaled = QPixmap::fromImage(
                image.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            scaled.setDevicePixelRatio(ratio);
        }
        const QSizeF shown = scaled.deviceIndependentSize();
        painter.drawPixmap(QPointF(inside.left() + (inside.width() - shown.width()) / 2.0,
                                   inside.top() + (inside.height() - shown.height()) / 2.0),
                           scaled);
    } else if (!note.isEmpty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(inside, Qt::AlignCenter | Qt::TextWordWrap, note);
    }
}

void PreviewPanel::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    if (m_path.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Select a file in the list to see it here before and "
                                        "after."));
        return;
    }
    const auto [before, after] = boxes();
    const QString note = m_loading ? QStringLiteral("Loading\u2026") : m_reason;
    paintBox(painter, before, beforeCaption(), m_before.image, m_beforeShown, note);
    paintBox(painter, after, afterCaption(), m_after, m_afterShown,
             m_loading || m_before.isEmpty() ? QString() : m_reason);
}

}  // namespace zentavo
