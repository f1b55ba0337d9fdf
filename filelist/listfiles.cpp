#include "filelist/listfiles.h"

#include "filelist/naturalorder.h"
#include "report/filenames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace zentavo {

namespace {

// Opens name relative to folder descriptor at without reading anything; O_NONBLOCK keeps a
// FIFO or device from blocking the scan. A caller that already knows the entry is a regular
// file skips the folder test: in a tree of 100,000 files each saved call counts.
bool openableAt(int at, const char* name, bool knownRegular) {
    const int fd = ::openat(at, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    const bool file = knownRegular || (::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode));
    ::close(fd);
    return file;
}

bool isRegularEntry(int at, const dirent* entry) {
    if (entry->d_type == DT_REG) {
        return true;
    }
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info;
    return ::fstatat(at, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

uint foldCase(uint c) {
    return QChar::toCaseFolded(c);
}

// Iterative match with one backtrack point per "*": linear in practice, never exponential.
bool matchCodePoints(const QList<uint>& pattern, const QList<uint>& name) {
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool matchesWildcard(const QString& pattern, const QString& name) {
    // Both match every name (the second by the rule below); a folder walk asks for one of them
    // for each of its files.
    if (pattern == QLatin1String("*") || pattern == QLatin1String("*.*")) {
        return true;
    }
    const QList<uint> codes = name.toUcs4();
    if (matchCodePoints(pattern.toUcs4(), codes)) {
        return true;
    }
    // A trailing ".*" also stands for "no extension at all", as listings have always treated it.
    return pattern.endsWith(QStringLiteral(".*")) && !name.contains(QChar(u'.')) &&
           matchCodePoints(pattern.chopped(2).toUcs4(), codes);
}

QStringList ListFiles(const QString& folder, const QString& pattern, QChar sep,
                      const ServeEvents& serveEvents) {
    QString prefix = folder;
    if (!prefix.endsWith(sep)) {
        prefix += sep;
    }
    QStringList names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(encodeFileName(prefix).constData()),
                                            ::closedir);
    if (!dir) {
        return names;
    }
    names.reserve(100);
    const int at = ::dirfd(dir.get());
    int read = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (serveEvents && ++read % ServeEveryNames == 0 && !serveEvents()) {
            return {};
        }
        const QString name = decodeFileName(entry->d_name);
        if (!matchesWildcard(pattern, name) || !isRegularEntry(at, entry)) {
            continue;
        }
        if (openableAt(at, entry->d_name, true)) {
            names.append(name);
        }
    }
    // A file manager's order rather than the arbitrary order of the listing.
    sortNaturally(names);
    return names;
}

bool IsOpenableFile(const QString& path) {
    return !path.isEmpty() && openableAt(AT_FDCWD, encodeFileName(path).constData(), false);
}

bool HasOddCharacters(const QByteArray& name) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.constData());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size;) {
        char32_t code = bytes[i];
        const int length = code < 0x80 ? 1 : validUtf8Sequence(bytes, size, i, code);
        if (length == 0) {
            return true;
        }
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?') {
            return true;
        }
        i += length;
    }
    return false;
}

bool HasOddCharacters(const QString& name) {
    return HasOddCharacters(encodeFileName(name));
}

}  // namespace zentavo
