#include "filelist/subdirectories.h"

#include "filelist/fileattributes.h"
#include "filelist/listfiles.h"
#include "filelist/naturalorder.h"
#include "report/errorreport.h"
#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <QtDebug>

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

namespace zentavo {

namespace {

constexpr qsizetype MaxPathLength = 260;

using FolderId = std::pair<dev_t, ino_t>;

// Without a window the collector's reports still reach someone: the log.
class LoggingDialogs : public Dialogs {
public:
    void message(const QString& text, const QString& title, MessageIcon) override {
        qWarning().noquote() << title << text;
    }
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString pickFolder(const QString&, const QString&) override { return {}; }
};

struct Walk {
    Dialogs& dialogs;
    QString title;
    const ServeEvents& serveEvents;
    QChar sep;
    // The folders entered so far, by device and inode.
    std::set<FolderId> entered;
    bool stopped = false;

    // Serves the caller's events; once the caller asks to stop, the walk ends at once.
    void yield() {
        if (!stopped && serveEvents && !serveEvents()) {
            stopped = true;
        }
    }
};

ZentavoError systemError(int error, const QString& path) {
    return ZentavoError(ErrorNumber::Generic,
                        QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(": ") + path);
}

// Permission denied and path not found: the folder is simply left out of the scan.
bool isUnreadable(int error) {
    return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR;
}

bool stopsDescent(const QString& folder, QChar sep) {
    if (isRootFolder(folder, sep)) {
        return false;
    }
    // A folder that is gone cannot be judged here; listing it finds it gone and drops it
    // without a message.
    int value = 0;
    try {
        value = attributeValue(folder, sep);
    } catch (const ZentavoError&) {
        return false;
    }
    return value == HiddenSystemFolder || value == HiddenSystemLinkFolder;
}

void collect(QStringList& collection, bool recurse, Walk& walk) {
    ErrorReport guard(walk.dialogs, QString::fromLatin1(SubDirectoriesLocation), walk.title);
    QStringList found;
    // Entries may be removed below; walk a copy so that none is skipped.
    QStringList entries;
    guard.step(100, [&] { entries = collection; });
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QString folder;
        guard.step(102, [&] { folder = entries.at(i); });
        guard.step(104, [&] { walk.yield(); });
        if (walk.stopped) {
            return;
        }
        if (!guard.test(106, [&] { return folder.size() < MaxPathLength; })) {
            continue;
        }
        if (!guard.test(108, [&] { return !stopsDescent(folder, walk.sep); })) {
            continue;
        }
        std::unique_ptr<DIR, int (*)(DIR*)> dir(nullptr, ::closedir);
        bool unreadable = false;
        bool enteredBefore = false;
        guard.step(110, [&] {
            dir.reset(::opendir(encodeFileName(folder).constData()));
            if (!dir) {
                const int error = errno;
                unreadable = isUnreadable(error);
                if (!unreadable) {
                    throw systemError(error, folder);
                }
                return;
            }
            // A folder is claimed when it is entered, never when it is merely met: a path that
            // is too long to enter must not keep the same folder out when a shorter path to it
            // comes later. The claim ends a link cycle and keeps two links to one folder from
            // listing its subtree twice.
            struct stat opened;
            if (::fstat(::dirfd(dir.get()), &opened) == 0) {
                enteredBefore = !walk.entered.insert({opened.st_dev, opened.st_ino}).second;
            }
        });
        if (unreadable || enteredBefore) {
            guard.step(112, [&] { collection.removeOne(folder); });
            continue;
        }
        if (!dir) {
            continue;
        }
        const int at = ::dirfd(dir.get());
        QStringList names;
        for (;;) {
            const dirent* entry = nullptr;
            const bool read = guard.step(114, [&] {
                errno = 0;
                entry = ::readdir(dir.get());
                if (!entry && errno != 0) {
                    throw systemError(errno, folder);
                }
            });
            if (!read || !entry) {
                break;
            }
            if (!guard.test(
                    116,
                    [&] {
                        if (entry->d_type == DT_DIR) {
                            return true;
                        }
                        if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
                            return false;
                        }
                        // A link to a folder is followed; a dangling link is no folder at all.
                        struct stat info;
                        return ::fstatat(at, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
                    },
                    false)) {
                continue;
            }
            guard.step(118, [&] { walk.yield(); });
            if (walk.stopped) {
                return;
            }
            QString name;
            guard.step(120, [&] { name = decodeFileName(entry->d_name); });
            if (!guard.test(
                    122,
                    [&] {
                        return name.size() < MaxPathLength &&
                               !HasOddCharacters(QByteArray(entry->d_name)) &&
                               !name.contains(QChar(u'?')) && name != QStringLiteral(".") &&
                               name != QStringLiteral("..");
                    },
                    false)) {
                continue;
            }
            guard.step(124, [&] { names.append(name); });
        }
        guard.step(126, [&] { dir.reset(); });
        // Each folder's sub-folders in the order a file manager shows them, not the arbitrary
        // order of the listing.
        guard.step(128, [&] {
            sortNaturally(names);
            for (const QString& name : names) {
                found.append(folder + name + walk.sep);
            }
        });
    }
    if (guard.test(
            130, [&] { return recurse && !found.isEmpty(); }, false)) {
        guard.step(132, [&] { collect(found, true, walk); });
        if (walk.stopped) {
            return;
        }
    }
    for (qsizetype i = 0; i < found.size(); ++i) {
        QString next;
        guard.step(134, [&] { next = found.at(i); });
        guard.step(136, [&] { walk.yield(); });
        if (walk.stopped) {
            return;
        }
        if (guard.test(
                138, [&] { return !stopsDescent(next, walk.sep); }, false)) {
            guard.step(140, [&] { collection.append(next); });
        }
    }
}

}  // namespace

bool GetSubDirectories2016(QStringList& collection, bool recurse, Dialogs* dialogs,
                           const QString& appTitle, const ServeEvents& serveEvents, QChar sep) {
    LoggingDialogs log;
    Walk walk{dialogs ? *dialogs : log, appTitle, serveEvents, sep, {}};
    collect(collection, recurse, walk);
    return !walk.stopped;
}

}  // namespace zentavo
