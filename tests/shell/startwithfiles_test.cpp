// The window program started with files and folders, as the desktop's "Open with Zentavo" starts
// it: they are in the list when the window is up, a folder expanded as a dropped one.
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace zentavo::test {

namespace {

// The lines of text in the list of a picture of the window: bands of rows with dark pixels
// below the list's header, inside the list's drawn place.
int textLinesInList(const QImage& window) {
    const QRect list(8, 8, 520, 451);  // at the window's default size
    const int header = 24;
    int lines = 0;
    bool inLine = false;
    for (int y = list.top() + header; y < list.bottom() - 2; ++y) {
        bool ink = false;
        for (int x = list.left() + 4; x < list.right() - 20 && !ink; ++x) {
            ink = QColor(window.pixel(x, y)).lightness() < 100;
        }
        if (ink && !inLine) {
            ++lines;
        }
        inLine = ink;
    }
    return lines;
}

}  // namespace

TEST(StartWithFiles, TheGivenFilesAndTheFolderFilesAreListedWhenTheWindowIsUp) {
    const QString program = QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo");
    ASSERT_TRUE(QFileInfo(program).isExecutable());
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("home/.config"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("Trip/Day 1"));
    writeFile(dir.filePath("Map.png"), "x");
    writeFile(dir.filePath("Trip/IMG_2.jpg"), "x");
    writeFile(dir.filePath("Trip/IMG_10.jpg"), "x");
    writeFile(dir.filePath("Trip/Day 1/IMG_1.jpg"), "x");

    const auto shoot = [&](const QStringList& arguments) {
        const QString picture = dir.filePath("window.png");
        QFile::remove(picture);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", dir.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", dir.filePath("home/.config"));
        environment.insert("ZENTAVO_SCREENSHOT", picture);
        process.setProcessEnvironment(environment);
        // A relative name is taken from the folder the program starts in.
        process.setWorkingDirectory(dir.path());
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return QImage(picture);
    };
    const QImage empty = shoot({});
    ASSERT_FALSE(empty.isNull());
    EXPECT_EQ(textLinesInList(empty), 0);
    // Map.png as given, then the folder's four files: the folder's own first, then its
    // sub-folder's, each in natural order.
    const QImage opened = shoot({"Map.png", dir.filePath("Trip")});
    ASSERT_FALSE(opened.isNull());
    EXPECT_EQ(textLinesInList(opened), 4);
}

}  // namespace zentavo::test
