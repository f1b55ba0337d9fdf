#pragma once

#include "filelist/pathroutines.h"
#include "filelist/subdirectories.h"
#include "report/dialogs.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace zentavo {

// Runs one numbered statement of a caller's guarded procedure; false when it failed. An
// ErrorReport's step() fits: [&](int n, const auto& s) { return guard.step(n, s); }.
using StatementRunner = std::function<bool(int number, const std::function<void()>& statement)>;

// The numbers under which collectFolderFiles runs its statements, as "Add All File(s) In
// Folder" reports them.
enum class FolderFilesStatement : int {
    TakeEntry = 118,
    DropSeparator = 120,
    ListNames = 122,
    TakeName = 124,
    TildeTest = 126,
    FormPath = 128,
    TestAndAppend = 132,
};

// An extension as the user may type it, reduced to the bare extension: "jpg", ".jpg" and
// "*.jpg" all give "jpg"; "*" and "*.*" give "*" (every file); blanks around it are dropped.
// The empty text when nothing is left. Pure.
QString bareExtension(const QString& typed);

// The listing pattern for an extension: "*." + its bare extension ("*" gives "*.*", every
// file).
QString extensionPattern(const QString& extension);

// The files to add for a folder collection (each entry ending with sep, as GetSubDirectories2016
// leaves it), in order: for each entry its ListFiles names for pattern, without names starting
// with "~", each joined as folder + sep + name and cleaned with NormalizeSlashes, kept when the
// file opens and is not a hidden file (attribute value 34). Duplicates are kept. Each statement
// goes through run; a failed statement skips the rest of its name (or its entry), so a path is
// never added twice or half-formed. Without run the first failure propagates (a file that
// vanishes during the scan is no failure: it is left out). serveEvents, when set, is called
// before each entry is listed, while it is listed and before every ServeEveryNames names are
// checked; when it returns false the listing ends there and the result is empty. Thread of the
// caller (the GUI thread when serveEvents serves the window).
QStringList collectFolderFiles(const QStringList& collection, const QString& pattern,
                               const StatementRunner& run = {}, const ServeEvents& serveEvents = {},
                               QChar sep = PathSeparator);

// The whole expansion of one folder, as a dropped folder or a command-line folder gets it: a
// collection holding folder + sep, GetSubDirectories2016 with recurse (reporting through dialogs
// titled appTitle), then collectFolderFiles, both yielding through serveEvents. Nothing when
// serveEvents stopped the walk or the listing. Thread of the caller.
QStringList scanFolderTree(const QString& folder, const QString& pattern, Dialogs* dialogs,
                           const QString& appTitle, const StatementRunner& run = {},
                           const ServeEvents& serveEvents = {}, QChar sep = PathSeparator);

// The tree folder of each file that the expansion of folder gave (see FileList::treeFolder):
// the folder's own name followed by the sub-folders between it and the file, joined with sep
// ("DCIM/100CANON" for ".../DCIM/100CANON/IMG_0001.JPG" from ".../DCIM"). A folder given as
// "." or ".." is named by the folder it stands for; the root folder has no name, so its files
// keep their whole path below it. Files of one folder share one text. Any thread.
QStringList treeFoldersOf(const QString& folder, const QStringList& files,
                          QChar sep = PathSeparator);

}  // namespace zentavo
