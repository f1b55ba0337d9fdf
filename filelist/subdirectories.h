#pragma once

#include "filelist/listfiles.h"
#include "filelist/pathroutines.h"
#include "report/dialogs.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace zentavo {

// The location that the folder collector's error reports name.
inline constexpr char SubDirectoriesLocation[] =
    "in Dunmere2021/08/31.AddFolder.GetSubDirectories2016 ";

// Appends to collection (folder paths, each ending with sep) the sub-folders of its entries,
// breadth first: all folders one level down grouped by parent in the parents' order, each
// parent's sub-folders in natural order (naturalCompare), then the next level, and so on (only
// one level without recurse). Folders whose path is 260 characters or more are collected but not
// entered. Left out with their subtrees: hidden folders below the starting entries, names with
// odd characters or of 260 characters or more, and folders entered a second time in the same
// walk (same device and inode, so a link cycle ends). A folder that cannot be read (no
// permission, gone) is removed from the collection with everything below it. Other failures are
// shown through dialogs as an error report titled appTitle (only logged when dialogs is null)
// and the walk goes on. serveEvents, when set, is called before each folder examined, for each
// sub-folder read and before each collected folder is checked, so a window stays responsive;
// when it returns false the walk ends there, leaving the collection incomplete, and the result
// is false. True when the walk ran to its end. Thread of the caller (the GUI thread when
// serveEvents serves the window).
bool GetSubDirectories2016(QStringList& collection, bool recurse, Dialogs* dialogs,
                           const QString& appTitle, const ServeEvents& serveEvents = {},
                           QChar sep = PathSeparator);

}  // namespace zentavo
