#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zentavo {

class Dialogs;

// The product name; the window's caption.
inline constexpr char ProductName[] = "Zentavo";

// The application title made from a product name: the last word is removed, then further words
// while the result is longer than 40 characters. A name without a space has no last word to
// remove and is kept whole. Pure.
QString SetAppTitle(const QString& productName);

// The skin beside the program: when programFolder + "/x/o.cjs" exists, the window and its
// option buttons, check boxes, frames and labels take the button-face colour and the file is
// applied to the window as a Qt style sheet; their text takes the button text's colour, which
// reads on the button face. Without the file nothing changes. True when the skin was applied.
// GUI thread.
bool ApplySkin(QWidget& window, const QString& programFolder);

// The user's desktop folder as the desktop defines it (XDG user folders); when that folder does
// not exist, the user's pictures folder, then the home folder; the empty text when none of them
// exists.
QString SpecialFolderPath();

// The desktop folder (as SpecialFolderPath gives it) followed by "/". Throws ZentavoError when the desktop folder cannot be
// located, so that the caller reports it.
QString DefaultResultsFolder(const QString& desktopFolder);

// The files and folders the program was started with ("Open with Zentavo" passes the chosen
// ones), in the order given, to be added to the list as if dropped on it: each made absolute
// against currentFolder and cleaned; a "file:" URL stands for its local path, other URLs are
// left out; a first "--" is dropped (a name may begin with a dash). Pure.
QStringList startupPaths(const QStringList& arguments, const QString& currentFolder);

// Asks for a folder through the dialogs' folder picker, opened at initialFolder. The chosen
// folder without a trailing separator, except the root "/" which keeps it; the empty text when
// the user cancels. GUI thread.
QString PickFolder(Dialogs& dialogs, const QString& title, const QString& initialFolder);

}  // namespace zentavo
