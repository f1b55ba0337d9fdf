#include "tests/hostile/batchprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace zentavo::test {

QString batchProgram() {
    // ZENTAVO_BATCH runs the tests against another build of the program.
    return qEnvironmentVariable("ZENTAVO_BATCH",
                                QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch"));
}

BatchProcess runBatch(const QStringList& arguments, int timeoutMs, const QStringList& wrapper,
                      const QString& workingFolder) {
    QProcess process;
    if (!workingFolder.isEmpty()) {
        process.setWorkingDirectory(workingFolder);
    }
    QStringList command = wrapper;
    command << batchProgram() << arguments;
    const QString program = command.takeFirst();
    process.start(program, command);
    BatchProcess result;
    if (!process.waitForStarted(10000)) {
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished(10000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.crashed = !result.timedOut;
        result.signal = process.exitCode();
    } else {
        result.exitCode = process.exitCode();
    }
    return result;
}

QList<QByteArray> rawEntries(const QString& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names << name;
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

QMap<QByteArray, QByteArray> folderFingerprint(const QString& folder) {
    QMap<QByteArray, QByteArray> prints;
    const QByteArray base = QFile::encodeName(folder);
    for (const QByteArray& name : rawEntries(folder)) {
        const QByteArray path = base + '/' + name;
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0) {
            prints.insert(name, "gone");
        } else if (S_ISREG(info.st_mode)) {
            QFile file(QFile::decodeName(path));
            QCryptographicHash hash(QCryptographicHash::Sha1);
            // A name that does not survive decoding is read through its descriptor.
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                hash.addData(&file);
            }
            prints.insert(name,
                          "file " + QByteArray::number(info.st_size) + ' ' + hash.result().toHex());
        } else if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t length = ::readlink(path.constData(), target, sizeof target);
            prints.insert(name, "link " + QByteArray(target, std::max<ssize_t>(length, 0)));
        } else if (S_ISDIR(info.st_mode)) {
            prints.insert(name, "folder");
            const auto inner = folderFingerprint(QFile::decodeName(path));
            for (auto it = inner.begin(); it != inner.end(); ++it) {
                prints.insert(name + '/' + it.key(), it.value());
            }
        } else {
            prints.insert(name, "special " + QByteArray::number(info.st_mode, 8));
        }
    }
    return prints;
}

bool canDropPrivileges() {
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        return false;
    }
    // The build folder may lie where the unprivileged user cannot reach the program.
    const BatchProcess probe = runBatch({QStringLiteral("--version")}, 30000, asNobody());
    return probe.exitCode == 0;
}

QStringList asNobody() {
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
            QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
}

}  // namespace zentavo::test
