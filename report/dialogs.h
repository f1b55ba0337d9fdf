#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace zentavo {

// The icon of a message box.
enum class MessageIcon { None, Exclamation };

// Every modal question and message of the program goes through this interface. The window
// implements it with Qt's dialogs; tests implement it with a script that records what was shown
// and answers what was asked. All calls are made on the GUI thread (or the command line's thread).
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An OK-only message box.
    virtual void message(const QString& text, const QString& title, MessageIcon icon) = 0;

    // An OK box with a check box captioned checkText under the text; true when it was closed
    // with the box ticked. While it is up the rest of the program goes on: the window can be
    // closed or the run stopped, and closeReports() closes it (unticked). Front ends that cannot
    // offer the check box show a plain message.
    virtual bool reportWithCheckBox(const QString& text, const QString& title, MessageIcon icon,
                                    const QString& checkText) {
        Q_UNUSED(checkText);
        message(text, title, icon);
        return false;
    }
    // Closes a box reportWithCheckBox() has up, if any.
    virtual void closeReports() {}

    // A Yes/No message box; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title) = 0;

    // An input box with a default answer; the empty text when the user cancels.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultAnswer) = 0;

    // A multiple-selection Open dialog; the chosen full paths in the dialog's order, or none
    // when the user cancels. filter uses Qt's filter syntax.
    virtual QStringList openFiles(const QString& title, const QString& filter) = 0;

    // A folder picker showing only folders, opened at initialFolder (may be empty); the chosen
    // folder, or the empty text when the user cancels.
    virtual QString pickFolder(const QString& title, const QString& initialFolder) = 0;
};

}  // namespace zentavo
