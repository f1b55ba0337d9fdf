#pragma once

#include "filelist/pathroutines.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace zentavo {

// Serves the caller's pending events during a folder walk or listing; returns false when the
// work is to stop (the window is closing).
using ServeEvents = std::function<bool()>;

// How many names a listing checks between two calls of its ServeEvents: each check opens the
// file, so a window waits at most a few dozen file openings for its events.
inline constexpr int ServeEveryNames = 32;

// The names of the regular files in folder (with or without a trailing separator) that match
// pattern and pass IsOpenableFile, in natural order (naturalCompare); hidden files
// included, links to regular files included. None when nothing matched or the folder cannot be
// read. Names that cannot be turned into a path and back unchanged are left out. serveEvents,
// when set, is called every ServeEveryNames names read; when it returns false the listing ends
// and gives none. Any thread (the caller's, when serveEvents serves a window).
QStringList ListFiles(const QString& folder, const QString& pattern, QChar sep = PathSeparator,
                      const ServeEvents& serveEvents = {});

// True when path opens for reading as an existing file that is not a folder. The file is closed
// at once and nothing is read. Never fails: any error gives false. Any thread.
bool IsOpenableFile(const QString& path);

// True when a file-system name (raw bytes as listed) holds a character the scan does not
// follow: a code point below 32, from 127 to 159, "?", or bytes that are not valid UTF-8.
bool HasOddCharacters(const QByteArray& name);
bool HasOddCharacters(const QString& name);

// The wildcard match of file listings: "*" any run of characters, "?" exactly one, letter case
// ignored; a pattern that ends in ".*" also matches names without a dot, so "*.*" matches every
// name. Pure, any thread.
bool matchesWildcard(const QString& pattern, const QString& name);

}  // namespace zentavo
