#include "cli/pathlist.h"

#include "batch/naming.h"
#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "report/filenames.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace zentavo {

QStringList splitPathList(const QByteArray& bytes, bool nullSeparated) {
    const char end = nullSeparated ? '\0' : '\n';
    QStringList paths;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype stop = bytes.indexOf(end, start);
        if (stop < 0) {
            stop = bytes.size();
        }
        if (stop > start) {
            paths.append(decodeFileName(QByteArrayView(bytes).sliced(start, stop - start)));
        }
        start = stop + 1;
    }
    return paths;
}

bool readPathList(const QString& path, bool nullSeparated, QStringList& paths, QString& error) {
    const bool standardInput = path == QLatin1String("-");
    const int fd = standardInput ? STDIN_FILENO
                                 : ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    const QString shown = standardInput ? QStringLiteral("standard input") : path;
    if (fd < 0) {
        error = QStringLiteral("Cannot read the list %1: %2")
                    .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QByteArray bytes;
    char buffer[1 << 16];
    int failure = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            failure = errno;
            break;
        }
    }
    if (!standardInput) {
        ::close(fd);
    }
    if (failure != 0) {
        error = QStringLiteral("Cannot read the list %1: %2")
                    .arg(shown, QString::fromLocal8Bit(std::strerror(failure)));
        return false;
    }
    paths = splitPathList(bytes, nullSeparated);
    return true;
}

void fillList(FileList& list, const QStringList& paths, const QString& scanExtension,
              Dialogs& dialogs) {
    const QString pattern =
        scanExtension.isEmpty() ? QStringLiteral("*.*") : extensionPattern(scanExtension);
    // Files named one after another join the list in one step: a list of a million names is
    // one insertion, not a million.
    QStringList files;
    for (const QString& path : paths) {
        if (!FolderExists(path)) {
            files.append(path);
            continue;
        }
        list.append(files);
        files.clear();
        QString folder = path;
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
            folder.chop(1);
        }
        const QStringList found =
            scanFolderTree(folder, pattern, &dialogs, QStringLiteral("Zentavo"));
        list.append(found, treeFoldersOf(folder, found));
    }
    list.append(files);
}

}  // namespace zentavo
