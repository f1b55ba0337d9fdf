#include "filelist/pathroutines.h"

#include "filelist/filelist.h"
#include "report/filenames.h"

#include <sys/stat.h>

namespace zentavo {

namespace {

// One left-to-right pass: each pair of separators becomes one, so "///" becomes "//".
QString collapseDoubledSeparators(QStringView text, QChar sep) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) {
            ++i;
        }
    }
    return result;
}

}  // namespace

QString NormalizeSlashes(const QString& path, QChar sep) {
    // Nearly every path of a folder walk has no doubled separator: it stays shared, uncopied.
    const QChar doubled[] = {sep, sep};
    if (!path.contains(QStringView(doubled, 2)) && !(sep == QChar(u'\\') && path.startsWith(sep))) {
        return path;
    }
    if (!path.startsWith(sep)) {
        return collapseDoubledSeparators(path, sep);
    }
    qsizetype k = 1;
    while (k < path.size() && path[k] == sep) {
        ++k;
    }
    // A backslash prefix names a network share and keeps two; POSIX has no such prefix.
    const QString prefix = sep == QChar(u'\\') ? QString(2, sep) : QString(sep);
    return prefix + collapseDoubledSeparators(QStringView(path).mid(k), sep);
}

bool PathExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    struct stat info;
    return ::stat(encodeFileName(path).constData(), &info) == 0;
}

bool IsInList(const FileList& list, const QString& path) {
    const int n = list.count();
    for (int i = 1; i <= n; ++i) {
        if (list.text(i) == path) {
            return true;
        }
    }
    return false;
}

}  // namespace zentavo
