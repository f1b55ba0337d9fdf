#pragma once

#include "filelist/pathroutines.h"

#include <QString>

namespace zentavo {

// The attribute bits the folder scan reasons with. This platform has no hidden or system flags:
// a name that starts with "." is hidden, a hidden folder also counts as system, every other
// file counts as archive, and a symbolic link is a reparse point.
enum class FileAttribute : int {
    Hidden = 2,
    System = 4,
    Directory = 16,
    Archive = 32,
    ReparsePoint = 1024,
};

// Whole attribute values that the scan compares against.
inline constexpr int HiddenSystemFolder = 22;        // hidden + system + directory
inline constexpr int HiddenSystemLinkFolder = 1046;  // the same, reached through a link
inline constexpr int HiddenArchiveFile = 34;         // hidden + archive: never added

// The attribute value of path (trailing separators ignored): the sum of the FileAttribute bits
// that apply. Any thread. Throws ZentavoError when the path does not exist.
int attributeValue(const QString& path, QChar sep = PathSeparator);

// True for the root folder: a path made of separators only (or, with "\", a drive root such as
// "C:\"). Pure, any thread.
bool isRootFolder(const QString& path, QChar sep = PathSeparator);

}  // namespace zentavo
