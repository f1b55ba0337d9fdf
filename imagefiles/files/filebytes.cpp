#include "imagefiles/files/filebytes.h"

#include "report/filenames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace zentavo {

namespace {

LoadError readFrom(const QString& path, qint64 maxBytes, bool wholeFile, QByteArray& bytes,
                   QString& reason) {
    bytes.clear();
    const QByteArray name = encodeFileName(path);
    // O_NONBLOCK: opening a FIFO with no writer must not hang; fstat then refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            reason = QStringLiteral("The file does not exist.");
            return LoadError::NotFound;
        }
        reason = QStringLiteral("The file cannot be opened: %1.")
                     .arg(QString::fromLocal8Bit(std::strerror(error)));
        return LoadError::Unreadable;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = QStringLiteral("The file cannot be examined.");
        return LoadError::Unreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? QStringLiteral("It is a folder, not a file.")
                                       : QStringLiteral("It is not a regular file.");
        return LoadError::NotAFile;
    }
    if (wholeFile && info.st_size > maxBytes) {
        reason = QStringLiteral("The file is larger than %1 MB.").arg(maxBytes >> 20);
        return LoadError::TooBig;
    }
    const qint64 wanted = std::min<qint64>(info.st_size, maxBytes);
    try {
        bytes.resize(wanted);
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("There is not enough memory to read the file.");
        return LoadError::OutOfMemory;
    }
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(wanted - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reason = QStringLiteral("The file cannot be read: %1.")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
            bytes.clear();
            return LoadError::Unreadable;
        }
        if (got == 0) {
            break;  // the file shrank while being read: what was there is what we have
        }
        done += got;
    }
    bytes.truncate(done);
    return LoadError::None;
}

}  // namespace

LoadError readRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes,
                          QString& reason) {
    return readFrom(path, maxBytes, true, bytes, reason);
}

LoadError readFileHead(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& reason) {
    return readFrom(path, maxBytes, false, bytes, reason);
}

}  // namespace zentavo
