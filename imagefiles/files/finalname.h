#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentavo {

// What the final rename of an output does when a file of its name exists by then.
enum class ExistingOutput {
    Replace,   // the new file takes the name; the old one is gone
    Skip,      // the old file stays; the new one is dropped
    KeepBoth,  // the new file takes the first free name "NAME (2).EXT", "NAME (3).EXT", ...
};

// The name of the n-th copy of a file: " (n)" before the last extension of its name
// ("a/IMG_0001_rotated.jpg" gives "a/IMG_0001_rotated (2).jpg"), or at the end of a name that
// has none. Pure.
QString numberedName(const QString& path, int n);

// Moves the finished file temporary to its final name as existing says. Several processes may
// place files into one folder at once: the test for an existing file and the move are one step
// of the file system (a rename that refuses to replace, or a hard link where the file system
// has no such rename), never a look followed by a move. Returns the path the file now has
// (finalPath, or a numbered name), or nothing when Skip found the name taken; temporary is gone
// then too. Throws WriteFailure when the file cannot be placed (temporary is left for the
// caller to remove). Any thread.
std::optional<QString> placeFinishedFile(const QByteArray& temporary, const QString& finalPath,
                                         ExistingOutput existing);

// The no-replace move by hard link alone: links temporary to target and unlinks temporary.
// False with errno EEXIST when target exists; false with another errno when the file system
// cannot link. Exposed for tests: placeFinishedFile() uses it where the rename cannot refuse.
bool linkIntoPlace(const QByteArray& temporary, const QByteArray& target);

}  // namespace zentavo
