#include "filelist/folderfiles.h"

#include "filelist/fileattributes.h"
#include "filelist/listfiles.h"
#include "filelist/subdirectories.h"
#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <QDir>

#include <unistd.h>
#include <climits>

namespace zentavo {

namespace {

// True when the file's attribute value is exactly 34 (hidden). Only a hidden name can have that
// value, which spares a look-up for every other file of a large tree. A file that vanished
// since it was opened counts as hidden: it is left out, like a file that does not open.
bool isHiddenFile(const QString& name, const QString& path, QChar sep) {
    if (!name.startsWith(QChar(u'.'))) {
        return false;
    }
    try {
        return attributeValue(path, sep) == HiddenArchiveFile;
    } catch (const ZentavoError&) {
        return true;
    }
}

// The name a folder is known by: its last part, or, for "." and "..", the last part of the
// folder it stands for.
QString ownName(const QString& folder, QChar sep) {
    QString path = folder;
    while (path.size() > 1 && path.endsWith(sep)) {
        path.chop(1);
    }
    const QString last = path.mid(path.lastIndexOf(sep) + 1);
    if (last != QLatin1String(".") && last != QLatin1String("..") && !last.isEmpty()) {
        return last;
    }
    if (!path.startsWith(sep)) {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here)) {
            path = decodeFileName(here) + sep + path;
        }
    }
    const QString clean = QDir::cleanPath(path);
    return clean.mid(clean.lastIndexOf(sep) + 1);
}

}  // namespace

QString bareExtension(const QString& typed) {
    QString extension = typed.trimmed();
    if (extension.startsWith(QLatin1String("*.")) && extension.size() > 2) {
        extension.remove(0, 2);
    } else if (extension.startsWith(QLatin1Char('.'))) {
        extension.remove(0, 1);
    }
    return extension;
}

QString extensionPattern(const QString& extension) {
    return QStringLiteral("*.") + bareExtension(extension);
}

QStringList collectFolderFiles(const QStringList& collection, const QString& pattern,
                               const StatementRunner& run, const ServeEvents& serveEvents,
                               QChar sep) {
    const auto step = [&run](FolderFilesStatement number, const std::function<void()>& statement) {
        if (run) {
            return run(static_cast<int>(number), statement);
        }
        statement();
        return true;
    };
    // Once the caller asks to stop, it is asked nothing more.
    bool halted = false;
    const ServeEvents serve = [&serveEvents, &halted] {
        halted = halted || !serveEvents();
        return !halted;
    };
    const auto stopped = [&] { return serveEvents && !serve(); };
    QStringList files;
    for (qsizetype i = 0; i < collection.size(); ++i) {
        if (stopped()) {
            return {};
        }
        QString folder;
        QStringList names;
        if (!step(FolderFilesStatement::TakeEntry, [&] { folder = collection.at(i); }) ||
            !step(FolderFilesStatement::DropSeparator, [&] { folder.chop(1); }) ||
            !step(FolderFilesStatement::ListNames, [&] {
                names = ListFiles(folder, pattern, sep, serveEvents ? serve : ServeEvents());
            })) {
            continue;
        }
        if (halted) {
            return {};  // the listing of the folder was cut short
        }
        for (qsizetype k = 0; k < names.size(); ++k) {
            if (k > 0 && k % ServeEveryNames == 0 && stopped()) {
                return {};
            }
            QString name;
            bool tilde = true;
            QString path;
            if (!step(FolderFilesStatement::TakeName, [&] { name = names.at(k); }) ||
                !step(FolderFilesStatement::TildeTest,
                      [&] { tilde = name.startsWith(QChar(u'~')); }) ||
                tilde ||
                !step(FolderFilesStatement::FormPath, [&] { path = folder + sep + name; })) {
                continue;
            }
            step(FolderFilesStatement::TestAndAppend, [&] {
                if (IsOpenableFile(path) && !isHiddenFile(name, path, sep)) {
                    files.append(NormalizeSlashes(path, sep));
                }
            });
        }
    }
    return files;
}

QStringList treeFoldersOf(const QString& folder, const QStringList& files, QChar sep) {
    const QString name = ownName(folder, sep);
    const QString prefix = NormalizeSlashes(folder + sep, sep);
    QStringList folders;
    folders.reserve(files.size());
    QStringView lastBetween;
    QString lastFolder = name;
    bool first = true;
    for (const QString& file : files) {
        QStringView between;
        if (file.startsWith(prefix)) {
            const QStringView below = QStringView(file).mid(prefix.size());
            const qsizetype cut = below.lastIndexOf(sep);
            between = cut > 0 ? below.left(cut) : QStringView();
        }
        if (first || between != lastBetween) {
            lastFolder = between.isEmpty() ? name
                         : name.isEmpty()  ? between.toString()
                                           : name + sep + between.toString();
            lastBetween = between;
            first = false;
        }
        folders.append(lastFolder);
    }
    return folders;
}

QStringList scanFolderTree(const QString& folder, const QString& pattern, Dialogs* dialogs,
                           const QString& appTitle, const StatementRunner& run,
                           const ServeEvents& serveEvents, QChar sep) {
    QStringList collection{folder + sep};
    if (!GetSubDirectories2016(collection, true, dialogs, appTitle, serveEvents, sep)) {
        return {};
    }
    return collectFolderFiles(collection, pattern, run, serveEvents, sep);
}

}  // namespace zentavo
