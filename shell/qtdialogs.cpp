#include "shell/qtdialogs.h"

#include "report/filenames.h"

#include <algorithm>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace zentavo {

namespace {

// Texts hold file names: one such as a<b>c.jpg must not make Qt take the whole text for rich
// text, drop the tag and every line break.
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}

}  // namespace

QString displayText(const QString& text) {
    // A name that is not valid UTF-8 shows its odd bytes as the replacement character.
    QString shown = readableFileName(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    return icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
}

// Room for the window frame and title bar, which the platform adds around a box.
constexpr int WindowFrameAllowance = 40;

QRect availableArea(const QWidget* near) {
    const QScreen* screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// A message too tall for a message box: the text in a scrolling area, OK (and the extra button,
// when buttonText is given) below it, the whole box within the screen's available height. True
// when the extra button closed it.
bool showScrollingMessage(const QString& text, const QString& title, MessageIcon icon,
                          QWidget* owner, const QString& buttonText) {
    QDialog box(owner);
    box.setWindowTitle(title);
    box.setObjectName(QStringLiteral("scrollingMessage"));
    auto* layout = new QVBoxLayout(&box);
    auto* row = new QHBoxLayout;
    if (icon == MessageIcon::Exclamation) {
        auto* picture = new QLabel;
        const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        picture->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side));
        picture->setAlignment(Qt::AlignTop);
        row->addWidget(picture);
    }
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(displayText(text));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    label->setContentsMargins(6, 6, 6, 6);
    auto* area = new QScrollArea;
    area->setWidget(label);
    area->setWidgetResizable(true);
    row->addWidget(area, 1);
    layout->addLayout(row, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    bool pressed = false;
    if (!buttonText.isEmpty()) {
        QPushButton* extra = buttons->addButton(buttonText, QDialogButtonBox::ActionRole);
        QObject::connect(extra, &QPushButton::clicked, &box, [&box, &pressed] {
            pressed = true;
            box.accept();
        });
    }
    layout->addWidget(buttons);

    const QRect screen = availableArea(owner);
    // Lines are kept whole: a long path scrolls sideways rather than wrapping.
    const int scrollBar = box.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &box);
    const QSize wanted =
        label->sizeHint() + QSize(60 + scrollBar, buttons->sizeHint().height() + 60 + scrollBar);
    const int highest = screen.height() - WindowFrameAllowance;
    box.resize(std::min(wanted.width(), screen.width() * 3 / 4),
               std::min(wanted.height(), highest));
    box.setMaximumHeight(highest);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    box.exec();
    return pressed;
}

// A message box with OK, and a button captioned buttonText beside it unless that is empty. True
// when that button closed it.
bool showMessage(const QString& text, const QString& title, MessageIcon icon, QWidget* owner,
                 const QString& buttonText) {
    const auto makeBox = [&](QMessageBox& box) -> QPushButton* {
        box.setIcon(boxIcon(icon));
        box.setWindowTitle(title);
        box.setText(displayText(text));
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        showAsPlainText(box);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
        return buttonText.isEmpty() ? nullptr : box.addButton(buttonText, QMessageBox::ActionRole);
    };
    // A message box sizes itself when it is shown, wrapping long lines: its height is measured
    // on a copy shown off the screen, after wrapping. Too tall for the screen, the text goes
    // into a scrolling area that keeps each line whole instead.
    int height = 0;
    {
        QMessageBox measure(owner);
        makeBox(measure);
        measure.setAttribute(Qt::WA_DontShowOnScreen);
        measure.show();
        height = measure.height();
        measure.hide();
    }
    if (height + WindowFrameAllowance > availableArea(owner).height()) {
        return showScrollingMessage(text, title, icon, owner, buttonText);
    }
    QMessageBox box(owner);
    QPushButton* extra = makeBox(box);
    box.exec();
    return extra && box.clickedButton() == extra;
}

}  // namespace

void QtDialogs::message(const QString& text, const QString& title, MessageIcon icon) {
    showMessage(text, title, icon, m_owner, QString());
}

bool QtDialogs::messageWithButton(const QString& text, const QString& title, MessageIcon icon,
                                  const QString& buttonText) {
    return showMessage(text, title, icon, m_owner, buttonText);
}

bool QtDialogs::reportWithCheckBox(const QString& text, const QString& title, MessageIcon icon,
                                   const QString& checkText) {
    // Not modal: while the report is up the window can still be closed or the run stopped.
    auto* box = new QMessageBox(boxIcon(icon), title, displayText(text), QMessageBox::Ok, m_owner);
    box->setObjectName(QStringLiteral("errorReport"));
    box->setWindowModality(Qt::NonModal);
    showAsPlainText(*box);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setCheckBox(new QCheckBox(checkText));
    QPointer<QMessageBox> alive(box);
    m_report = box;
    QEventLoop loop;
    QObject::connect(box, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(box, &QObject::destroyed, &loop, &QEventLoop::quit);
    box->show();
    loop.exec();
    bool ticked = false;
    if (alive) {
        ticked = box->result() != QDialog::Rejected && box->checkBox()->isChecked();
        box->hide();
        box->deleteLater();
    }
    return ticked;
}

void QtDialogs::closeReports() {
    if (m_report) {
        m_report->done(QDialog::Rejected);
    }
}

bool QtDialogs::askYesNo(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, displayText(text),
                    QMessageBox::Yes | QMessageBox::No, m_owner);
    showAsPlainText(box);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultAnswer) {
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(title);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(displayText(prompt));
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
    dialog.setTextValue(defaultAnswer);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

QStringList QtDialogs::openFiles(const QString& title, const QString& filter) {
    // Qt's own dialog matches the filter's patterns regardless of letter case on every desktop,
    // and shows each filter by its description alone.
    return QFileDialog::getOpenFileNames(
        m_owner, title, QString(), filter, nullptr,
        QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::pickFolder(const QString& title, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(m_owner, title, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

}  // namespace zentavo
