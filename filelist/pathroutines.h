#pragma once

#include <QChar>
#include <QString>

namespace zentavo {

class FileList;

// The separator that joins folder and name on this platform.
inline constexpr QChar PathSeparator = QChar(u'/');

// Cleans a joined path. A leading run of separators becomes exactly one "/" (or, with "\" as
// separator, exactly two: a network share prefix); inside the path every non-overlapping pair of
// separators becomes one, in one left-to-right pass, so three in a row become two. Accepts any
// text; the empty text comes back empty. Pure, any thread.
QString NormalizeSlashes(const QString& path, QChar sep = PathSeparator);

// True when path names an existing file or folder (a link counts by its target). Never fails:
// an empty path, a dangling link or any error gives false. Any thread.
bool PathExists(const QString& path);

// True when an entry of list has exactly the text path (case-sensitive, whole text). GUI thread.
bool IsInList(const FileList& list, const QString& path);

}  // namespace zentavo
