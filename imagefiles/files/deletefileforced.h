#pragma once

#include <QString>

namespace zentavo {

// Deletes the file at path. When that fails it makes the file and its folder writable by their
// owner and tries once more; the folder gets its previous permissions back afterwards. Every
// failure is swallowed: a file that cannot be deleted simply stays, and a missing file is no
// error. A symbolic link is deleted as a link. Never processes events, so worker threads may
// call it. Reentrant: any thread.
void DeleteFileForced(const QString& path);

}  // namespace zentavo
