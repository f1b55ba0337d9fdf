#include "tests/filelist/foldertree.h"

#include "report/filenames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace zentavo::test {

namespace {

QByteArray native(const QString& root, const QByteArray& relative) {
    return encodeFileName(root) + '/' + relative;
}

void check(bool ok, const QByteArray& what) {
    if (!ok) {
        throw std::runtime_error("cannot create " + what.toStdString());
    }
}

// Removes a tree by raw names, unlocking folders first: QTemporaryDir alone can neither
// unlock a folder nor remove names that are not valid UTF-8.
void removeTree(const QByteArray& path) {
    struct stat info;
    if (::lstat(path.constData(), &info) != 0) {
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        ::unlink(path.constData());
        return;
    }
    ::chmod(path.constData(), 0700);
    if (DIR* dir = ::opendir(path.constData())) {
        QList<QByteArray> names;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..") {
                names.append(name);
            }
        }
        ::closedir(dir);
        for (const QByteArray& name : names) {
            removeTree(path + '/' + name);
        }
    }
    ::rmdir(path.constData());
}

}  // namespace

FolderTree::~FolderTree() {
    removeTree(encodeFileName(m_dir.path()));
}

FolderTree::FolderTree() {
    check(m_dir.isValid(), "temporary folder");
}

QString FolderTree::path(const QByteArray& relative) const {
    return decodeFileName(native(root(), relative));
}

void FolderTree::folder(const QByteArray& relative) {
    const QByteArray target = native(root(), relative);
    check(::mkdir(target.constData(), 0755) == 0, target);
}

void FolderTree::file(const QByteArray& relative) {
    const QByteArray target = native(root(), relative);
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(fd >= 0 && ::write(fd, "x", 1) == 1, target);
    ::close(fd);
}

void FolderTree::link(const QByteArray& relative, const QByteArray& target) {
    const QByteArray where = native(root(), relative);
    check(::symlink(target.constData(), where.constData()) == 0, where);
}

QStringList readdirOrder(const QString& folder) {
    QStringList names;
    DIR* dir = ::opendir(encodeFileName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.append(decodeFileName(name));
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace zentavo::test
