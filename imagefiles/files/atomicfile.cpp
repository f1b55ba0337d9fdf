#include "imagefiles/files/atomicfile.h"

#include "imagefiles/files/diskwait.h"
#include "imagefiles/files/staletemporaries.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "report/filenames.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zentavo {

namespace {

// umask() can only be read by setting it, which races with other threads; the kernel also
// reports it in /proc/self/status.
mode_t processUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return mode_t(value);
                }
            }
        }
    }
    return mode_t(022);
}

// The temporary files being written, readable from a signal handler: a slot is Ready while its
// name may exist on disk. Plain arrays and lock-free atomics only. Written files wait for their
// commit on the engine's finishing threads, so there is room for many more than the workers.
constexpr int SlotCount = 256;
constexpr size_t SlotBytes = 4096;
enum SlotState : int { Free, Busy, Ready };
std::atomic<int> slotState[SlotCount];
char slotPath[SlotCount][SlotBytes];

// Takes a slot for a temporary file whose name template is pattern; -1 when none is free or
// the name does not fit (the file is then written unlisted).
int takeSlot(const QByteArray& pattern) {
    if (size_t(pattern.size()) >= SlotBytes) {
        return -1;
    }
    for (int i = 0; i < SlotCount; ++i) {
        int expected = Free;
        if (slotState[i].compare_exchange_strong(expected, Busy)) {
            std::memcpy(slotPath[i], pattern.constData(), size_t(pattern.size()) + 1);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) {
        slotState[slot].store(Free);
    }
}

}  // namespace

void removeUnfinishedFiles() {
    for (int i = 0; i < SlotCount; ++i) {
        if (slotState[i].load() == Ready) {
            ::unlink(slotPath[i]);
        }
    }
}

GdiplusStatus statusForErrno(int errorNumber) {
    return errorNumber == ENOMEM ? GdiplusStatus::OutOfMemory : GdiplusStatus::Win32Error;
}

AtomicFile::AtomicFile(const QString& finalPath) : m_finalPath(finalPath) {}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::fail(const QString& what, int errorNumber) {
    discard();
    throw WriteFailure{statusForErrno(errorNumber),
                       what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errorNumber))};
}

void AtomicFile::open() {
    const QString folder = QFileInfo(m_finalPath).absolutePath();
    QByteArray pattern = encodeFileName(folder) + '/' + temporaryNamePrefix() + "XXXXXX.tmp";
    // The name is made in the slot itself and the slot is Ready before the file exists, so no
    // moment passes in which the file is on disk but unlisted. A handler that runs while the
    // name is being made unlinks a name of our own pattern that does not exist yet.
    m_slot = takeSlot(pattern);
    char* name = pattern.data();
    if (m_slot >= 0) {
        name = slotPath[m_slot];
        slotState[m_slot].store(Ready);
    }
    m_fd = mkostemps(name, 4, O_CLOEXEC);
    pattern = QByteArray(name);
    if (m_fd < 0) {
        releaseSlot(std::exchange(m_slot, -1));
        const int error = errno;
        throw WriteFailure{statusForErrno(error),
                           QStringLiteral("Cannot create a file in %1: %2")
                               .arg(folder, QString::fromLocal8Bit(strerror(error)))};
    }
    m_tempPath = pattern;
    // Read once: nothing in the program changes its umask, and a batch of small files would
    // otherwise read /proc for every one of them.
    static const mode_t umaskOfProcess = processUmask();
    if (fchmod(m_fd, 0666 & ~umaskOfProcess) != 0) {
        fail(QStringLiteral("Cannot set the permissions of %1").arg(m_finalPath), errno);
    }
}

void AtomicFile::write(const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(QStringLiteral("Cannot write %1").arg(m_finalPath), errno);
        }
        data += written;
        size -= written;
    }
}

std::optional<QString> AtomicFile::commit() {
    // The times go on before the sync, so the file has them from the moment it has its name.
    if (m_times) {
        const timespec times[2] = {m_times->accessed, m_times->modified};
        if (::futimens(m_fd, times) != 0) {
            fail(QStringLiteral("Cannot set the dates of %1").arg(m_finalPath), errno);
        }
    }
    int synced;
    {
        const DiskWait wait;
        synced = fsync(m_fd);
    }
    if (synced != 0) {
        fail(QStringLiteral("Cannot write %1").arg(m_finalPath), errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(QStringLiteral("Cannot write %1").arg(m_finalPath), errno);
    }
    std::optional<QString> placed;
    try {
        placed = placeFinishedFile(m_tempPath, m_finalPath, m_existing);
    } catch (...) {
        discard();
        throw;
    }
    m_tempPath.clear();
    releaseSlot(std::exchange(m_slot, -1));
    return placed;
}

void AtomicFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(m_tempPath.constData());
        m_tempPath.clear();
    }
    releaseSlot(std::exchange(m_slot, -1));
}

namespace {
thread_local CommitScope* innermostScope = nullptr;
}

CommitScope::CommitScope(const CommitRules& rules) : m_rules(rules), m_outer(innermostScope) {
    innermostScope = this;
}

CommitScope::~CommitScope() {
    innermostScope = m_outer;
}

void CommitScope::recordCommit(const std::optional<QString>& placedAt) {
    m_committed = true;
    m_placedAt = placedAt;
}

void CommitScope::holdUnfinished(std::unique_ptr<AtomicFile> file) {
    if (m_unfinished) {
        recordCommit(m_unfinished->commit());
    }
    m_unfinished = std::move(file);
}

CommitScope* CommitScope::current() {
    return innermostScope;
}

void writeFileAtomically(const QString& path, const QByteArray& bytes) {
    auto file = std::make_unique<AtomicFile>(path);
    CommitScope* scope = CommitScope::current();
    if (scope) {
        file->setExisting(scope->rules().existing);
        if (scope->rules().times) {
            file->setTimes(*scope->rules().times);
        }
    }
    file->open();
    file->write(bytes.constData(), bytes.size());
    if (scope && scope->rules().leaveUnfinished) {
        scope->holdUnfinished(std::move(file));
        return;
    }
    const std::optional<QString> placed = file->commit();
    if (scope) {
        scope->recordCommit(placed);
    }
}

}  // namespace zentavo
