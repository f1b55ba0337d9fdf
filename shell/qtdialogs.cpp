#include "shell/qtdialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace zentavo {

namespace {

// Texts hold file names: one such as a<b>c.jpg must not make Qt take the whole text for rich
// text, drop the tag and every line break.
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}

}  // namespace

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtDialogs::message(const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, displayText(text), QMessageBox::Ok, m_owner);
    showAsPlainText(box);
    box.exec();
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
