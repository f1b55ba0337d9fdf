#include "filelist/fileattributes.h"

#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <sys/stat.h>

namespace zentavo {

namespace {

constexpr int bit(FileAttribute a) {
    return static_cast<int>(a);
}

}  // namespace

int attributeValue(const QString& path, QChar sep) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(sep)) {
        trimmed.chop(1);
    }
    const QByteArray native = encodeFileName(trimmed);
    struct stat info;
    if (trimmed.isEmpty() || ::lstat(native.constData(), &info) != 0) {
        throw ZentavoError(ErrorNumber::Generic, QStringLiteral("File not found: ") + path);
    }
    int value = 0;
    bool folder = S_ISDIR(info.st_mode);
    if (S_ISLNK(info.st_mode)) {
        value |= bit(FileAttribute::ReparsePoint);
        struct stat target;
        folder = ::stat(native.constData(), &target) == 0 && S_ISDIR(target.st_mode);
    }
    const bool hidden = trimmed.mid(trimmed.lastIndexOf(sep) + 1).startsWith(QChar(u'.'));
    if (folder) {
        value |= bit(FileAttribute::Directory);
        if (hidden) {
            value |= bit(FileAttribute::Hidden) | bit(FileAttribute::System);
        }
    } else {
        value |= bit(FileAttribute::Archive);
        if (hidden) {
            value |= bit(FileAttribute::Hidden);
        }
    }
    return value;
}

bool isRootFolder(const QString& path, QChar sep) {
    if (path.isEmpty()) {
        return false;
    }
    qsizetype start = 0;
    if (sep == QChar(u'\\') && path.size() >= 2 && path[0].isLetter() && path[1] == u':') {
        start = 2;
        if (path.size() == 2) {
            return false;
        }
    }
    for (qsizetype i = start; i < path.size(); ++i) {
        if (path[i] != sep) {
            return false;
        }
    }
    return true;
}

}  // namespace zentavo
