// The window's controls: designer names, captions, fonts and places. Places are kept in twips,
// the units the layout was drawn in, and converted at 96 dots per inch (15 twips to a pixel).
// At its default size every control stands at its drawn place; a larger window gives the list
// the extra room, keeps the frames on the right at their size against the right edge, and keeps
// the buttons and the progress bar at the bottom. A smaller one (down to a size that fits a
// 1024 x 600 screen) takes the room from the list first: narrower, the list and the buttons
// under it give up the width; lower, the list gives up the height and the option frames draw
// their rows closer together.
#include "shell/form1.h"

#include "filelist/filelist.h"
#include "shell/filelistview.h"
#include "shell/previewpanel.h"
#include "shell/thumbnails.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSlider>
#include <QtMath>

namespace zentavo {

namespace {

constexpr double TwipsPerPixel = 15.0;
constexpr int ClientWidthTwips = 15960;
constexpr int ClientHeightTwips = 8010;
// The right column's frames stand above the Start button's top.
constexpr int RightColumnTwips = 6970;
// The option frames draw their rows at most this much closer together.
constexpr double TightestRows = 0.9;
// The gap between the list and the right column, and between the rows of the right column.
constexpr int RowGapTwips = 120;
// The least room the preview is shown in, in pixels: two captions and pictures a hundred
// pixels high; a column beside the list at least this wide.
constexpr int PreviewLeastHeight = 140;
constexpr int PreviewLeastWidth = 200;

int pixels(int twips) {
    return qRound(twips / TwipsPerPixel);
}

QRect twipsRect(int left, int top, int width, int height) {
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

// A progress bar whose text is shown as given: a file name holding "%p" or "%v" is not taken
// for a placeholder.
class CaptionedProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    void setCaption(const QString& caption) {
        m_caption = caption;
        update();
    }
    QString text() const override { return m_caption; }

private:
    QString m_caption;
};

// How a control of the window itself follows a resize. Controls inside a frame move with it.
enum class Follow {
    Stay,             // inside a frame
    Grow,             // the list: all the extra width and height
    Right,            // the frames on the right: keep their size against the right edge
    BottomRight,      // Start and the progress bar: the right edge and the bottom
    BottomLeftHalf,   // the left column of buttons under the list: the bottom, half the width
    BottomRightHalf,  // the right column of buttons under the list
};

constexpr char DrawnPlace[] = "zentavoDrawnPlace";
constexpr char FollowRole[] = "zentavoFollow";

template <typename W>
W* place(W* widget, const char* name, QRect rect, Follow follow = Follow::Stay) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(rect);
    widget->setProperty(DrawnPlace, rect);
    if (follow != Follow::Stay) {
        widget->setProperty(FollowRole, static_cast<int>(follow));
    }
    return widget;
}

// The rows of a frame drawn closer together by rows (1 as drawn): each control inside keeps its
// height and moves up in proportion; frames inside shrink with their rows.
void drawRowsCloser(QWidget* frame, double rows) {
    for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant drawn = child->property(DrawnPlace);
        if (!drawn.isValid()) {
            continue;
        }
        const QRect place = drawn.toRect();
        const bool isFrame = qobject_cast<QGroupBox*>(child) != nullptr;
        child->setGeometry(child->x(), qRound(place.y() * rows), child->width(),
                           isFrame ? qRound(place.height() * rows) : child->height());
        if (isFrame) {
            drawRowsCloser(child, rows);
        }
    }
}

// Where a control of the window stands when the window is dx and dy pixels larger than drawn.
QRect followed(QRect drawn, Follow follow, int dx, int dy) {
    const int half = dx / 2;
    switch (follow) {
        case Follow::Stay:
            return drawn;
        case Follow::Grow:
            return drawn.adjusted(0, 0, dx, dy);
        case Follow::Right:
            return drawn.translated(dx, 0);
        case Follow::BottomRight:
            return drawn.translated(dx, dy);
        case Follow::BottomLeftHalf:
            return {drawn.x(), drawn.y() + dy, drawn.width() + half, drawn.height()};
        case Follow::BottomRightHalf:
            return {drawn.x() + half, drawn.y() + dy, drawn.width() + dx - half, drawn.height()};
    }
    return drawn;
}

// Fusion lays a faintly tinted panel inside every frame, so a white frame would show as
// near-white around its white option buttons. This style draws the frame's line alone and lets
// the frame's own background (white, or the skin's button face) show through. Other styles draw
// their frames as they do.
class PlainFrameStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameGroupBox ||
            baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // Fusion's frame begins below the caption line.
        constexpr int CaptionGap = 3;
        const auto* box = qobject_cast<const QGroupBox*>(widget);
        const int top = box && box->title().isEmpty()
                            ? CaptionGap
                            : qMax(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                   option->fontMetrics.height()) +
                                  CaptionGap;
        const QRectF frame =
            QRectF(option->rect.adjusted(0, top, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5);
        // A faint line in the text's colour: black on white, light on a dark panel.
        QColor line = option->palette.color(QPalette::WindowText);
        line.setAlpha(line.lightness() < 128 ? 27 : 60);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(line);
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(frame, 2, 2);
        painter->restore();
    }
};

// One style for the frames of every window, kept for the life of the program: a frame may be
// destroyed after any window that made it.
QStyle* plainFrameStyle() {
    static auto* style = new PlainFrameStyle;
    return style;
}

// Gives a frame, option button or check box of a window with the palette window its background
// and the matching text colour: white under a light palette (the layout's look), the palette's base
// colour under a dark or high-contrast one; with the skin, the button face. Group box captions
// are drawn in the Text colour, option captions in WindowText: both take the panel's text colour.
void paintPanel(QWidget& widget, const QPalette& window, bool skinned) {
    QPalette palette = widget.palette();
    const bool light =
        window.color(QPalette::Base).lightness() >= window.color(QPalette::Text).lightness();
    const QColor background = skinned ? window.color(QPalette::Button)
                              : light ? QColor(Qt::white)
                                      : window.color(QPalette::Base);
    const QPalette::ColorRole text = skinned ? QPalette::ButtonText : QPalette::Text;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::WindowText, window.color(group, text));
        palette.setColor(group, QPalette::Text, window.color(group, text));
    }
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

void Form1::buildLayout() {
    setObjectName(QStringLiteral("Form1"));
    resize(pixels(ClientWidthTwips), pixels(ClientHeightTwips));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setBold(true);
    setFont(font);
    QFont buttonFont = font;
    buttonFont.setPointSizeF(11.25);

    auto button = [&](QWidget* parent, const char* name, const char* caption, QRect rect,
                      Follow follow = Follow::Stay) {
        auto* b = place(new QPushButton(QString::fromUtf8(caption), parent), name, rect, follow);
        b->setFont(buttonFont);
        // Enter presses the focused button, as Space does.
        b->setAutoDefault(true);
        return b;
    };
    auto frame = [&](QWidget* parent, const char* name, const char* caption, QRect rect,
                     Follow follow = Follow::Stay) {
        auto* f = place(new QGroupBox(QString::fromUtf8(caption), parent), name, rect, follow);
        f->setStyle(plainFrameStyle());
        return f;
    };
    auto option = [&](QWidget* parent, const char* name, const char* caption, QRect rect) {
        auto* o = place(new QRadioButton(QString::fromUtf8(caption), parent), name, rect);
        // Qt's indicator is wider than the drawn layout allowed for; widen rather than clip.
        o->resize(qMax(o->width(), o->sizeHint().width()), o->height());
        // A button paints its Button role, grey in most styles; an option button stands on its
        // frame's white (or, with a skin, on the skin's button face) like the frame itself.
        o->setBackgroundRole(QPalette::Window);
        return o;
    };
    auto group = [this](std::initializer_list<QRadioButton*> options) {
        auto* g = new QButtonGroup(this);
        for (QRadioButton* o : options) {
            g->addButton(o);
        }
    };

    m_fileList = new FileList(this);
    m_ui.ListView1 = place(new FileListView(*m_fileList, this), "ListView1",
                           twipsRect(120, 120, 7800, 6765), Follow::Grow);
    m_ui.ListView1->setToolTip(
        QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                       "right and out of window to reveal full names."));
    m_ui.PushButton1 = button(this, "PushButton1", "Add Image File(s)",
                              twipsRect(120, 6970, 3840, 405), Follow::BottomLeftHalf);
    m_ui.PushButton3 = button(this, "PushButton3", "Add All File(s) In Folder",
                              twipsRect(4080, 6970, 3840, 405), Follow::BottomRightHalf);
    m_ui.PushButton4 = button(this, "PushButton4", "Clear List", twipsRect(120, 7490, 3840, 405),
                              Follow::BottomLeftHalf);
    m_ui.PushButton5 = button(this, "PushButton5", "Load Sample/Example Files",
                              twipsRect(4080, 7490, 3840, 405), Follow::BottomRightHalf);

    m_ui.Frame6 =
        frame(this, "Frame6", "Two Options", twipsRect(8040, 60, 7800, 3795), Follow::Right);
    m_ui.Option8 = option(m_ui.Frame6, "Option8", "Flip Image", twipsRect(240, 300, 1815, 255));
    m_ui.Frame2 = frame(m_ui.Frame6, "Frame2", "Direction", twipsRect(480, 600, 6840, 1050));
    m_ui.Option1 = option(m_ui.Frame2, "Option1", "Flip horizontally (left and right)",
                          twipsRect(240, 300, 3015, 255));
    m_ui.Option2 = option(m_ui.Frame2, "Option2", "Flip vertically (up and down)",
                          twipsRect(240, 650, 2805, 255));
    m_ui.Option9 = option(m_ui.Frame6, "Option9", "Rotate Image", twipsRect(240, 1770, 1965, 255));
    m_ui.Frame4 = frame(m_ui.Frame6, "Frame4", "Direction", twipsRect(480, 2070, 6840, 1410));
    m_ui.Option4 =
        option(m_ui.Frame4, "Option4", "90 degrees clockwise", twipsRect(240, 300, 2415, 255));
    m_ui.Option3 =
        option(m_ui.Frame4, "Option3", "180 degrees clockwise", twipsRect(240, 650, 2415, 255));
    m_ui.Option5 =
        option(m_ui.Frame4, "Option5", "270 degrees clockwise", twipsRect(240, 1000, 2295, 255));

    // The output choices sit on the rows of "Flip Image" and "Rotate Image", right of them,
    // where the frame has room: every other control keeps its place.
    m_ui.Check1 = place(new QCheckBox(QStringLiteral("Keep folder tree"), m_ui.Frame6), "Check1",
                        twipsRect(2640, 300, 2340, 255));
    m_ui.Check1->setToolTip(
        QStringLiteral("Files added from a folder are written below the results folder at their "
                       "place in that folder's tree, under the folder's own name; missing "
                       "folders are made. Files added one by one go to the results folder."));
    m_ui.Check2 = place(new QCheckBox(QStringLiteral("Keep file dates"), m_ui.Frame6), "Check2",
                        twipsRect(5100, 300, 2220, 255));
    m_ui.Check2->setToolTip(
        QStringLiteral("Each output takes the modification and access time of its input."));
    for (QCheckBox* check : {m_ui.Check1, m_ui.Check2}) {
        check->setBackgroundRole(QPalette::Window);
    }
    m_ui.Label1 = place(new QLabel(QStringLiteral("If a result exists:"), m_ui.Frame6), "Label1",
                        twipsRect(2640, 1770, 2040, 255));
    m_ui.Combo1 = place(new QComboBox(m_ui.Frame6), "Combo1", twipsRect(4740, 1740, 2580, 285));
    m_ui.Combo1->addItems({QStringLiteral("Replace it"), QStringLiteral("Skip the file"),
                           QStringLiteral("Keep both")});
    m_ui.Combo1->setToolTip(
        QStringLiteral("When the results folder already holds a file of an output's name: "
                       "replace it, skip the input (it counts as done), or keep both and "
                       "number the new one, as in \"IMG_0001_rotated (2).jpg\"."));
    m_ui.Label1->setBuddy(m_ui.Combo1);

    m_ui.Frame5 = frame(this, "Frame5", "Output JPG Quality Option (JPG ONLY)",
                        twipsRect(8040, 3920, 7800, 2055), Follow::Right);
    m_ui.Option21 = option(m_ui.Frame5, "Option21", "Smart-Detect", twipsRect(240, 300, 1515, 255));
    m_ui.Option22 =
        option(m_ui.Frame5, "Option22", "Fixed Quality:", twipsRect(240, 650, 1455, 255));
    // On the row of Smart-Detect, right of it, clear of the "?" button.
    m_ui.Option23 =
        option(m_ui.Frame5, "Option23", "Lossless (JPG to JPG)", twipsRect(1995, 300, 2535, 255));
    m_ui.Option23->setToolTip(
        QStringLiteral("Flips and turns JPG files without re-encoding them, so they lose no "
                       "quality; a JPG whose size does not allow that is re-encoded as with "
                       "Smart-Detect."));
    m_ui.PushButton8 = button(m_ui.Frame5, "PushButton8", "?", twipsRect(6720, 270, 600, 405));
    m_ui.Frame3 = frame(m_ui.Frame5, "Frame3", "0%", twipsRect(480, 960, 6840, 885));
    m_ui.Slider1 =
        place(new QSlider(Qt::Horizontal, m_ui.Frame3), "Slider1", twipsRect(120, 240, 6600, 540));
    m_ui.Slider1->setRange(1, 100);
    m_ui.Slider1->setSingleStep(1);
    m_ui.Slider1->setPageStep(5);
    m_ui.Slider1->setTickPosition(QSlider::TicksBelow);
    m_ui.Slider1->setTickInterval(5);
    m_ui.Slider1->setValue(85);

    m_ui.Frame1 = frame(this, "Frame1", "Save Results To This Folder",
                        twipsRect(8040, 6040, 7800, 810), Follow::Right);
    m_ui.Text1 = place(new QLineEdit(m_ui.Frame1), "Text1", twipsRect(240, 300, 6630, 345));
    m_ui.PushButton6 = button(m_ui.Frame1, "PushButton6", "...", twipsRect(6960, 300, 600, 345));

    m_ui.PushButton2 = button(this, "PushButton2", "Start Flipping or Rotating",
                              twipsRect(8040, 6970, 7800, 405), Follow::BottomRight);
    auto* bar = place(new CaptionedProgressBar(this), "ProgressBar1",
                      twipsRect(8040, 7490, 7800, 405), Follow::BottomRight);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setAlignment(Qt::AlignCenter);
    bar->setCaption(QStringLiteral("Progress Bar"));
    m_ui.ProgressBar1 = bar;

    group({m_ui.Option8, m_ui.Option9});
    group({m_ui.Option1, m_ui.Option2});
    group({m_ui.Option3, m_ui.Option4, m_ui.Option5});
    group({m_ui.Option21, m_ui.Option22, m_ui.Option23});
    m_ui.Option8->setChecked(true);
    m_ui.Option1->setChecked(true);
    m_ui.Option4->setChecked(true);
    m_ui.Option21->setChecked(true);
    for (QRadioButton* o : {m_ui.Option3, m_ui.Option4, m_ui.Option5}) {
        o->setEnabled(false);
    }
    paintPanels();

    // The smallest window: the buttons under the list keep room for their captions, and the
    // option frames' rows come no closer than TightestRows.
    int caption = 0;
    for (QPushButton* b :
         {m_ui.PushButton1, m_ui.PushButton3, m_ui.PushButton4, m_ui.PushButton5}) {
        caption = qMax(caption, b->sizeHint().width());
    }
    const int listDrawn = m_ui.ListView1->width();
    const int listNarrowest = qMin(listDrawn, 2 * caption + pixels(4080 - 3960));
    const int column = pixels(RightColumnTwips);
    setMinimumSize(width() - (listDrawn - listNarrowest),
                   height() - (column - qCeil(column * TightestRows)));
}

void Form1::paintPanels() {
    // Frames and option buttons paint a background of their own; the window's own colours,
    // which follow the desktop's palette, say which.
    const QPalette window = palette();
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(widget) || qobject_cast<QRadioButton*>(widget) ||
            qobject_cast<QCheckBox*>(widget)) {
            paintPanel(*widget, window, m_skinned);
        }
    }
}

void Form1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Back from another program, which may have changed the files: the thumbnails in view
    // are checked against them.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_thumbnails) {
        m_thumbnails->recheck();
        wantThumbnails();
    }
    // The desktop changed its palette (a dark scheme switched on, say): the panels follow.
    if (event->type() == QEvent::PaletteChange && !m_paintingPanels) {
        m_paintingPanels = true;
        paintPanels();
        m_paintingPanels = false;
    }
}

int Form1::placePreview(int dx, int dy) {
    if (!m_preview) {
        return 0;
    }
    // Taller than drawn, the right column has room below the results-folder frame, above the
    // Start button. Only wider, the list shares its extra width with a column beside it.
    const QRect folder = followed(twipsRect(8040, 6040, 7800, 810), Follow::Right, dx, dy);
    const QRect start = followed(twipsRect(8040, 6970, 7800, 405), Follow::BottomRight, dx, dy);
    const int gap = pixels(RowGapTwips);
    const QRect below(folder.left(), folder.bottom() + 1 + gap, folder.width(),
                      start.top() - gap - (folder.bottom() + 1 + gap));
    int listGivesUp = 0;
    QRect place;
    if (below.height() >= PreviewLeastHeight) {
        place = below;
    } else if (dx >= 2 * PreviewLeastWidth) {
        listGivesUp = dx / 2;
        const QRect list =
            followed(twipsRect(120, 120, 7800, 6765), Follow::Grow, dx - listGivesUp, dy);
        const QRect buttons = followed(twipsRect(4080, 7490, 3840, 405), Follow::BottomRightHalf,
                                       dx - listGivesUp, dy);
        place = QRect(list.right() + 1 + gap, list.top(), listGivesUp - gap,
                      buttons.bottom() - list.top() + 1);
    }
    m_preview->setGeometry(place);
    m_preview->setVisible(place.isValid());
    return listGivesUp;
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int dx = width() - pixels(ClientWidthTwips);
    const int dy = height() - pixels(ClientHeightTwips);
    // The list, and the buttons under it, give up to the preview what it takes of the width.
    const int listDx = dx - placePreview(dx, dy);
    // Lower than drawn, the right column's frames fit above the Start button by drawing their
    // rows closer together.
    const int column = pixels(RightColumnTwips);
    const double rows = dy < 0 ? double(column + dy) / column : 1.0;
    const int listWidth = m_ui.ListView1->width();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant follow = child->property(FollowRole);
        if (!follow.isValid()) {
            continue;
        }
        const Follow how = static_cast<Follow>(follow.toInt());
        const bool underList =
            how == Follow::Grow || how == Follow::BottomLeftHalf || how == Follow::BottomRightHalf;
        QRect place =
            followed(child->property(DrawnPlace).toRect(), how, underList ? listDx : dx, dy);
        if (how == Follow::Right) {
            place = QRect(place.x(), qRound(place.y() * rows), place.width(),
                          qRound(place.height() * rows));
            drawRowsCloser(child, rows);
        }
        child->setGeometry(place);
    }
    // The column grows and shrinks with the list, keeping whatever width the user dragged it to
    // beyond the list's.
    const int grown = m_ui.ListView1->width() - listWidth;
    if (grown != 0 && m_ui.ListView1->model()->columnCount() > 0) {
        m_ui.ListView1->setColumnWidth(0, qMax(0, m_ui.ListView1->columnWidth(0) + grown));
    }
}

void Form1::setProgressText(const QString& text) {
    m_progressCaption = text;
    showProgressCaption();
}

void Form1::showProgressCaption() {
    QString caption = m_progressCaption;
    if (m_clock.isValid()) {
        if (const std::optional<qint64> left = m_timeLeft.remaining(m_clock.elapsed())) {
            caption += QStringLiteral(" - ") + timeLeftText(*left);
        }
    }
    static_cast<CaptionedProgressBar*>(m_ui.ProgressBar1)->setCaption(caption);
}

}  // namespace zentavo
