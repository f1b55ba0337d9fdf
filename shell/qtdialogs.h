#pragma once

#include "report/dialogs.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

namespace zentavo {

// The program's dialogs, made with Qt's message box, input dialog and file dialogs, each modal
// over the owner window. GUI thread only.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}

    // The window the dialogs are centred on and modal to; may be none.
    void setOwner(QWidget* owner) { m_owner = owner; }

    // Long texts (a closing message naming many files) scroll inside a box no taller than the
    // screen; the text can always be selected and copied.
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    bool reportWithCheckBox(const QString& text, const QString& title, MessageIcon icon,
                            const QString& checkText) override;
    void closeReports() override;
    bool askYesNo(const QString& text, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultAnswer) override;
    QStringList openFiles(const QString& title, const QString& filter) override;
    QString pickFolder(const QString& title, const QString& initialFolder) override;

private:
    QPointer<QWidget> m_owner;
    QPointer<QDialog> m_report;  // the report box up, if any
};

// A message text as the screen shows it: the CR LF and lone CR line breaks of the program's
// messages become line feeds.
QString displayText(const QString& text);

}  // namespace zentavo
