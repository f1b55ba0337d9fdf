#include "filelist/folderfiles.h"

#include "filelist/fileattributes.h"
#include "filelist/listfiles.h"
#include "filelist/subdirectories.h"
#include "report/zentavoerror.h"

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
