#include "imagefiles/files/deletefileforced.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/savewithencoder.h"
#include "report/zentavoerror.h"
#include "tests/imagefiles/writefixtures.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace zentavo {
namespace {

using test::folderEntries;
using test::readFile;

Picture photo(int width = 64, int height = 48) {
    Picture picture;
    picture.image = test::photoLike(width, height);
    return picture;
}

int modeOf(const QString& path) {
    struct stat info;
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

void setMode(const QString& path, int mode) {
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
}

// Runs the permission cases as a user who cannot override permissions. As root the test runs
// itself again in a child without those capabilities; the child finds its folder prepared.
// Returns true when the caller should run the checks here.
bool runHereOrInChild(const QString& folder, bool* skipped) {
    *skipped = false;
    if (!test::unprivilegedChildFolder().isEmpty() || geteuid() != 0) {
        return true;
    }
    const test::ChildRun run = test::rerunWithoutOverride(folder);
    if (!run.started || !run.output.contains(QLatin1String("[ RUN      ]"))) {
        *skipped = true;
        return false;
    }
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains(QLatin1String("[  SKIPPED ]"))) << run.output.toStdString();
    return false;
}

TEST(WriterFailures, ReadOnlyFolderGivesStatus7AndKeepsTheOldFile) {
    QString folder = test::unprivilegedChildFolder();
    QTemporaryDir dir;
    if (folder.isEmpty()) {
        folder = dir.path();
        test::writeFile(folder + QStringLiteral("/old.jpg"), "old");
        test::writeFile(folder + QStringLiteral("/old.png"), "old");
        setMode(folder, 0555);
    }
    bool skipped = false;
    const bool here = runHereOrInChild(folder, &skipped);
    if (test::unprivilegedChildFolder().isEmpty()) {
        setMode(folder, 0755);
    }
    if (skipped) {
        GTEST_SKIP() << "cannot drop the permission override with setpriv";
    }
    if (!here) {
        EXPECT_EQ(folderEntries(folder), (QStringList{"old.jpg", "old.png"}));
        return;
    }
    try {
        SaveJpeg(photo(), folder + QStringLiteral("/old.jpg"), 80);
        ADD_FAILURE() << "SaveJpeg wrote into a read-only folder";
    } catch (const ZentavoError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::CannotSave);
        EXPECT_EQ(error.description(), QStringLiteral("Cannot save the image. GDI+ Error:7"));
    }
    QString reason;
    EXPECT_FALSE(SaveWithEncoder(photo(), folder + QStringLiteral("/old.png"),
                                 QStringLiteral("image/png"), &reason));
    EXPECT_TRUE(reason.contains(QLatin1String("Permission denied"))) << reason.toStdString();
    EXPECT_THROW(SaveBitmap(photo(), folder + QStringLiteral("/new.bmp")), ZentavoError);
    EXPECT_EQ(readFile(folder + QStringLiteral("/old.jpg")), QByteArray("old"));
    EXPECT_EQ(folderEntries(folder), (QStringList{"old.jpg", "old.png"}));
}

// A write that fails half-way (here the file size limit, as a full disk would) leaves the folder
// as it was: no temporary file and the earlier output untouched.
TEST(WriterFailures, WriteFailingMidwayLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    const QString earlier = dir.filePath(QStringLiteral("out.png"));
    test::writeFile(earlier, "earlier");
    const QStringList before = folderEntries(dir.path());

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    QString reason;
    const bool written =
        SaveWithEncoder(photo(256, 256), earlier, QStringLiteral("image/png"), &reason);
    QString jpegError;
    try {
        SaveJpeg(photo(512, 512), dir.filePath(QStringLiteral("out.jpg")), 100);
    } catch (const ZentavoError& error) {
        jpegError = error.description();
    }
    bool bitmapThrew = false;
    try {
        SaveBitmap(photo(256, 256), dir.filePath(QStringLiteral("out.bmp")));
    } catch (const ZentavoError&) {
        bitmapThrew = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_TRUE(reason.contains(QLatin1String("too large"))) << reason.toStdString();
    EXPECT_EQ(jpegError, QStringLiteral("Cannot save the image. GDI+ Error:7"));
    EXPECT_TRUE(bitmapThrew);
    EXPECT_EQ(folderEntries(dir.path()), before);
    EXPECT_EQ(readFile(earlier), QByteArray("earlier"));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#else
constexpr bool AddressSanitizer = false;
#endif

// The process's virtual memory size in bytes, from /proc/self/status.
qint64 virtualMemoryBytes() {
    for (const QByteArray& line : readFile(QStringLiteral("/proc/self/status")).split('\n')) {
        if (line.startsWith("VmSize:")) {
            return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return 0;
}

// Out of memory is status 3; with a status argument it is silent and only sets the flag.
TEST(WriterFailures, OutOfMemoryIsStatus3AndSilentWithAStatusArgument) {
    if (AddressSanitizer) {
        GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
    }
    QTemporaryDir dir;
    Picture picture;
    picture.image = QImage(6000, 6000, QImage::Format_ARGB32);
    picture.image.fill(qRgba(10, 20, 30, 128));
    const QString path = dir.filePath(QStringLiteral("big.jpg"));

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    struct rlimit tight = saved;
    // Room for small allocations, not for the 144 MB copy composed onto white.
    tight.rlim_cur = rlim_t(virtualMemoryBytes() + (64 << 20));
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    bool status = false;
    bool silentThrew = false;
    try {
        SaveJpeg(picture, path, 80, &status);
    } catch (...) {
        silentThrew = true;
    }
    QString description;
    try {
        SaveJpeg(picture, path, 80);
    } catch (const ZentavoError& error) {
        description = error.description();
    }
    setrlimit(RLIMIT_AS, &saved);

    EXPECT_FALSE(silentThrew);
    EXPECT_TRUE(status);
    EXPECT_EQ(description, QStringLiteral("Cannot save the image. GDI+ Error:3"));
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());
}

TEST(WriterFailures, NewFilesGetTheUsualPermissions) {
    QTemporaryDir dir;
    const mode_t mask = umask(022);
    const QString path = dir.filePath(QStringLiteral("out.bmp"));
    SaveBitmap(photo(4, 4), path);
    umask(mask);
    EXPECT_EQ(modeOf(path), 0644);
}

TEST(DeleteFileForced, DeletesAReadOnlyFileInAReadOnlyFolderOnTheSecondAttempt) {
    QString folder = test::unprivilegedChildFolder();
    QTemporaryDir dir;
    if (folder.isEmpty()) {
        folder = dir.path();
        test::writeFile(folder + QStringLiteral("/intermediate.bmp"), "bmp");
        setMode(folder + QStringLiteral("/intermediate.bmp"), 0444);
        setMode(folder, 0555);
    }
    bool skipped = false;
    const bool here = runHereOrInChild(folder, &skipped);
    if (test::unprivilegedChildFolder().isEmpty()) {
        setMode(folder, 0755);
    }
    if (skipped) {
        GTEST_SKIP() << "cannot drop the permission override with setpriv";
    }
    if (!here) {
        EXPECT_TRUE(folderEntries(folder).isEmpty());
        return;
    }
    // The first attempt fails here: deleting needs a writable folder.
    ASSERT_NE(access(QFile::encodeName(folder).constData(), W_OK), 0);
    DeleteFileForced(folder + QStringLiteral("/intermediate.bmp"));
    EXPECT_TRUE(folderEntries(folder).isEmpty());
    EXPECT_EQ(modeOf(folder), 0555);
}

TEST(DeleteFileForced, MissingFileOrFolderDoesNothing) {
    QTemporaryDir dir;
    test::writeFile(dir.filePath(QStringLiteral("keep.txt")), "keep");
    DeleteFileForced(dir.filePath(QStringLiteral("gone.bmp")));
    DeleteFileForced(dir.filePath(QStringLiteral("no/such/folder/gone.bmp")));
    DeleteFileForced(QString());
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    DeleteFileForced(dir.filePath(QStringLiteral("sub")));
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{"keep.txt", "sub"}));
}

TEST(DeleteFileForced, DeletesALinkNotItsTarget) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("target.bmp"));
    test::writeFile(target, "target");
    ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("link.bmp"))));
    DeleteFileForced(dir.filePath(QStringLiteral("link.bmp")));
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"target.bmp"});
}

}  // namespace
}  // namespace zentavo
