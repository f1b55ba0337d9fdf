#include "imagefiles/files/deletefileforced.h"

#include "report/filenames.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace zentavo {

void DeleteFileForced(const QString& path) {
    const QByteArray name = encodeFileName(path);
    if (name.isEmpty() || ::unlink(name.constData()) == 0) {
        return;
    }
    struct stat file;
    if (::lstat(name.constData(), &file) != 0 || S_ISDIR(file.st_mode)) {
        return;
    }
    // Deleting a name needs write permission on the folder; the file's own write bit matters
    // where the folder is sticky or the file system honours it (as read-only attributes do).
    if (!S_ISLNK(file.st_mode)) {
        ::chmod(name.constData(), file.st_mode | S_IWUSR);
    }
    const QByteArray folder = encodeFileName(QFileInfo(path).absolutePath());
    struct stat folderStat;
    const bool folderKnown = ::stat(folder.constData(), &folderStat) == 0;
    const bool folderChanged =
        folderKnown && !(folderStat.st_mode & S_IWUSR) &&
        ::chmod(folder.constData(), (folderStat.st_mode & 07777) | S_IWUSR) == 0;
    const bool deleted = ::unlink(name.constData()) == 0;
    if (folderChanged) {
        ::chmod(folder.constData(), folderStat.st_mode & 07777);
    }
    if (!deleted && !S_ISLNK(file.st_mode)) {
        ::chmod(name.constData(), file.st_mode & 07777);
    }
}

}  // namespace zentavo
