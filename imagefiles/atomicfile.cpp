#include "imagefiles/atomicfile.h"

#include "imagefiles/gdiplusstatus.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

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
    QByteArray pattern = QFile::encodeName(folder) + "/.zt-XXXXXX.tmp";
    m_fd = mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        throw WriteFailure{statusForErrno(error),
                           QStringLiteral("Cannot create a file in %1: %2")
                               .arg(folder, QString::fromLocal8Bit(strerror(error)))};
    }
    m_tempPath = pattern;
    if (fchmod(m_fd, 0666 & ~processUmask()) != 0) {
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

void AtomicFile::commit() {
    if (fsync(m_fd) != 0) {
        fail(QStringLiteral("Cannot write %1").arg(m_finalPath), errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(QStringLiteral("Cannot write %1").arg(m_finalPath), errno);
    }
    if (::rename(m_tempPath.constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        fail(QStringLiteral("Cannot replace %1").arg(m_finalPath), errno);
    }
    m_tempPath.clear();
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
}

void writeFileAtomically(const QString& path, const QByteArray& bytes) {
    AtomicFile file(path);
    file.open();
    file.write(bytes.constData(), bytes.size());
    file.commit();
}

}  // namespace zentavo
