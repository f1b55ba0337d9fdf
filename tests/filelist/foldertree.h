#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zentavo::test {

// A folder tree built for one test inside a temporary folder. Paths are relative to the root
// and given as raw bytes, so names that are not valid UTF-8 can be made too.
class FolderTree {
public:
    FolderTree();
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    QString root() const { return m_dir.path(); }
    QString path(const QByteArray& relative) const;
    void folder(const QByteArray& relative);
    void file(const QByteArray& relative);
    void link(const QByteArray& relative, const QByteArray& target);

private:
    QTemporaryDir m_dir;
};

// The names of a folder in the order the file system lists them, without "." and "..".
QStringList readdirOrder(const QString& folder);

}  // namespace zentavo::test
