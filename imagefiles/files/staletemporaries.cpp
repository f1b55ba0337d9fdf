#include "imagefiles/files/staletemporaries.h"

#include "report/filenames.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <memory>

namespace zentavo {

namespace {

constexpr char Start[] = ".zt-";
constexpr char End[] = ".tmp";
constexpr int UniqueLength = 6;  // mkstemp's letters

// The machine's tag: its host name hashed (FNV-1a) to eight hex digits, so that several
// machines writing into one shared folder never take each other's files for leftovers.
QByteArray hashedHostName() {
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    quint32 hash = 2166136261u;
    for (const char* c = host; *c; ++c) {
        hash = (hash ^ quint8(*c)) * 16777619u;
    }
    return QByteArray::number(hash, 16).rightJustified(8, '0');
}

const QByteArray& machineTag() {
    static const QByteArray tag = hashedHostName();
    return tag;
}

// The process that wrote a temporary file of this machine, by its name; 0 for any other name.
pid_t writerOf(const QByteArray& name, const QByteArray& tag) {
    const QByteArray head = QByteArray(Start) + tag + '-';
    if (!name.startsWith(head) || !name.endsWith(End)) {
        return 0;
    }
    const QByteArray middle = name.mid(head.size(), name.size() - head.size() - 4);
    const qsizetype dash = middle.indexOf('-');
    if (dash <= 0 || middle.size() - dash - 1 != UniqueLength) {
        return 0;
    }
    bool ok = false;
    const qlonglong pid = middle.left(dash).toLongLong(&ok);
    return ok && pid > 0 && pid <= INT_MAX ? pid_t(pid) : 0;
}

bool isRunning(pid_t pid) {
    // EPERM: it runs, under another user.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

QByteArray temporaryNamePrefix() {
    return QByteArray(Start) + machineTag() + '-' + QByteArray::number(qint64(::getpid())) + '-';
}

int removeStaleTemporaries(const QString& folder) {
    const QByteArray& tag = machineTag();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(encodeFileName(folder).constData()),
                                            ::closedir);
    if (!dir) {
        return 0;
    }
    const int at = ::dirfd(dir.get());
    const pid_t self = ::getpid();
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        const pid_t writer = writerOf(name, tag);
        if (writer == 0 || writer == self || isRunning(writer)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(at, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && ::unlinkat(at, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace zentavo
