// Which pointer the window shows: the custom pointer over the buttons, the default one over the
// window, the frames and the quality options, and never in place of the hourglass.
#include "shell/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

namespace zentavo {

namespace {

constexpr char PointerRole[] = "zentavoPointer";

// A move that a button ignores travels on to its frame and the window; only the innermost
// watched control under the pointer decides.
bool watchedChildUnder(QWidget* widget, QEvent* event) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    for (QWidget* child = widget->childAt(at); child && child != widget;
         child = child->parentWidget()) {
        if (child->property(PointerRole).isValid()) {
            return true;
        }
    }
    return false;
}

}  // namespace

void Form1::watchPointer() {
    auto watch = [this](QWidget* widget, PointerKind kind) {
        widget->setMouseTracking(true);
        widget->setProperty(PointerRole, static_cast<int>(kind));
        widget->installEventFilter(this);
    };
    watch(this, PointerKind::Default);
    for (QGroupBox* frame :
         {m_ui.Frame1, m_ui.Frame2, m_ui.Frame3, m_ui.Frame4, m_ui.Frame5, m_ui.Frame6}) {
        watch(frame, PointerKind::Default);
    }
    watch(m_ui.Option21, PointerKind::Default);
    watch(m_ui.Option22, PointerKind::Default);
    watch(m_ui.Option23, PointerKind::Default);
    watch(m_ui.Check1, PointerKind::Default);
    watch(m_ui.Check2, PointerKind::Default);
    watch(m_ui.Combo1, PointerKind::Default);
    for (QPushButton* button :
         {m_ui.PushButton1, m_ui.PushButton2, m_ui.PushButton3, m_ui.PushButton4, m_ui.PushButton5,
          m_ui.PushButton6, m_ui.PushButton8}) {
        watch(button, PointerKind::Custom);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && !isBusy()) {
        const QVariant kind = watched->property(PointerRole);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (kind.isValid() && widget && !watchedChildUnder(widget, event)) {
            setPointer(static_cast<PointerKind>(kind.toInt()));
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zentavo
