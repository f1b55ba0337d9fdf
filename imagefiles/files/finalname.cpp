#include "imagefiles/files/finalname.h"

#include "imagefiles/picture/gdiplusstatus.h"
#include "report/filenames.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace zentavo {

namespace {

// Copies of one name beyond this are refused rather than searched for ever.
constexpr int MostCopies = 9999;

enum class Placed { Done, Taken };

[[noreturn]] void cannotPlace(const QString& finalPath, int errorNumber) {
    throw WriteFailure{statusForErrno(errorNumber),
                       QStringLiteral("Cannot replace %1: %2")
                           .arg(finalPath, QString::fromLocal8Bit(std::strerror(errorNumber)))};
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Moves temporary to target unless target exists, in one step of the file system.
Placed moveIfFree(const QByteArray& temporary, const QByteArray& target, const QString& shown) {
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0) {
        return Placed::Done;
    }
    if (errno == EEXIST) {
        return Placed::Taken;
    }
    // NFS and some FUSE file systems cannot refuse in a rename; they can in a hard link.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        cannotPlace(shown, errno);
    }
    if (linkIntoPlace(temporary, target)) {
        return Placed::Done;
    }
    if (errno == EEXIST) {
        return Placed::Taken;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
        cannotPlace(shown, errno);
    }
    // A file system with neither (FAT over some network shares) leaves only a look before the
    // rename: right for one process, and the best such a folder allows for several.
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        return Placed::Taken;
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        cannotPlace(shown, errno);
    }
    return Placed::Done;
}

}  // namespace

QString numberedName(const QString& path, int n) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString number = QStringLiteral(" (%1)").arg(n);
    // A dot that begins the name (".png") starts no extension.
    if (dot <= nameStart) {
        return path + number;
    }
    return path.left(dot) + number + path.mid(dot);
}

bool linkIntoPlace(const QByteArray& temporary, const QByteArray& target) {
    if (::link(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        // Over NFS a link whose reply was lost is sent again and answered "exists": the
        // temporary file then has two names, and the target is the file itself.
        struct stat mine {};
        struct stat there {};
        if (error == EEXIST && ::stat(temporary.constData(), &mine) == 0 && mine.st_nlink == 2 &&
            ::stat(target.constData(), &there) == 0 && sameFile(mine, there)) {
            ::unlink(temporary.constData());
            return true;
        }
        errno = error;
        return false;
    }
    ::unlink(temporary.constData());
    return true;
}

std::optional<QString> placeFinishedFile(const QByteArray& temporary, const QString& finalPath,
                                         ExistingOutput existing) {
    if (existing == ExistingOutput::Replace) {
        if (::rename(temporary.constData(), encodeFileName(finalPath).constData()) != 0) {
            cannotPlace(finalPath, errno);
        }
        return finalPath;
    }
    for (int n = 1; n <= MostCopies; ++n) {
        const QString candidate = n == 1 ? finalPath : numberedName(finalPath, n);
        if (moveIfFree(temporary, encodeFileName(candidate), candidate) == Placed::Done) {
            return candidate;
        }
        if (existing == ExistingOutput::Skip) {
            ::unlink(temporary.constData());
            return std::nullopt;
        }
    }
    cannotPlace(finalPath, EEXIST);
}

}  // namespace zentavo
