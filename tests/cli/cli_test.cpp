#include "cli/clifrontend.h"
#include "imagefiles/picture/picture.h"
#include "imagefiles/savewithencoder.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zentavo;
using namespace zentavo::test;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList& arguments, const QString& workingFolder = {}) {
    QProcess process;
    if (!workingFolder.isEmpty()) {
        process.setWorkingDirectory(workingFolder);
    }
    process.start(QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch"), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QImage arrow(int width, int height, bool alpha) {
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool mark = x < width / 3 && y < height / 2;
            image.setPixel(x, y,
                           mark ? qRgba(200, 20, 20, alpha ? 128 : 255)
                                : qRgba(x * 4 % 256, y * 4 % 256, 90, 255));
        }
    }
    return image;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.isValid());
        ASSERT_TRUE(results.isValid());
    }

    // One picture of every format the program writes, plus the ones it writes as bitmaps.
    QStringList everyFormat() {
        const QImage picture = arrow(24, 16, false);
        QStringList paths;
        for (const auto& [name, format] :
             std::vector<std::pair<QString, const char*>>{{"a.bmp", "BMP"},
                                                          {"b.jpg", "JPG"},
                                                          {"c.png", "PNG"},
                                                          {"d.tif", "TIFF"},
                                                          {"e.jpeg", "JPG"},
                                                          {"f.tiff", "TIFF"}}) {
            paths << inputs.filePath(name);
            EXPECT_TRUE(picture.save(paths.back(), format));
        }
        Picture gif;
        gif.image = arrow(24, 16, true);
        paths << inputs.filePath("g.gif");
        EXPECT_TRUE(SaveWithEncoder(gif, paths.back(), "image/gif"));
        return paths;
    }

    // count pictures of noise, slow to compress: a run over them lasts long enough to be
    // interrupted.
    QStringList noisePictures(int count) {
        QStringList paths;
        QImage noise(700, 700, QImage::Format_RGB32);
        for (int i = 0; i < count; ++i) {
            for (int y = 0; y < noise.height(); ++y) {
                auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
                for (int x = 0; x < noise.width(); ++x) {
                    line[x] = quint32((x * 2654435761u) ^ (y * 40503u) ^ (i * 977u));
                }
            }
            paths << inputs.filePath(QStringLiteral("n%1.png").arg(i));
            EXPECT_TRUE(noise.save(paths.back(), "PNG", 0));
        }
        return paths;
    }

    QTemporaryDir inputs;
    QTemporaryDir results;
};

}  // namespace

TEST_F(CliTest, FlipsEveryFormatIntoItsOwnAndExitsZero) {
    const QStringList paths = everyFormat();
    const CliRun run = runCli(QStringList{"-q", "-o", results.path()} + paths);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Done.\n");
    EXPECT_EQ(folderEntries(results.path()),
              (QStringList{"a_flipped.bmp", "b_flipped.jpg", "c_flipped.png", "d_flipped.tif",
                           "e_flipped.bmp", "f_flipped.bmp", "g_flipped.gif"}));
    for (const QString& name : folderEntries(results.path())) {
        QImageReader reader(results.filePath(name));
        const QImage image = reader.read();
        EXPECT_EQ(image.size(), QSize(24, 16)) << name.toStdString();
    }
}

TEST_F(CliTest, RotatesEveryFormatAndTurnsTheSize) {
    const QStringList paths = everyFormat();
    const CliRun run =
        runCli(QStringList{"--rotate", "270", "--quality", "90", "-o", results.path()} + paths);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const QString& name : folderEntries(results.path())) {
        EXPECT_TRUE(name.contains("_rotated.")) << name.toStdString();
        EXPECT_EQ(QImageReader(results.filePath(name)).read().size(), QSize(16, 24));
    }
    EXPECT_EQ(folderEntries(results.path()).size(), 7);
}

TEST_F(CliTest, AFileNotDoneIsOneLineOnStandardErrorWithThePathOnceWhateverTheOptions) {
    const QString bad = inputs.filePath("notes.jpg");
    writeFile(bad, "plain text");
    const QString good = inputs.filePath("good.png");
    ASSERT_TRUE(arrow(8, 8, true).save(good, "PNG"));
    const QString why =
        "The file is not a JPEG, GIF, PNG, TIFF, BMP, icon, WebP, HEIF, AVIF or JPEG XL picture.";
    // A flip names it at the end and gives no report; a turn reports it at its loading step.
    const QString flipLine = "zentavo-batch: " + bad + ": " + why + " (line 124)\n";
    const QString turnLine =
        "zentavo-batch: " + bad + ": cannot be loaded: " + why + " (line 210)\n";
    const QString turnReport = bad + " cannot be loaded: " + why +
                               "\nin Zentavo2021/08/31.Form1.PushButton2_Click at line 210\n\n"
                               "Please email screenshot of this message to "
                               "support@zentavo.example.com\n\n";
    struct Case {
        QStringList options;
        QString out;
        QString err;
    };
    const QString flipOut = "Done.\n\nThese files:\n\n" + bad + "\n\ncould not be loaded.\n";
    const Case table[] = {
        {{}, flipOut, flipLine},
        {{"-q"}, flipOut, flipLine},
        {{"--verbose"}, flipOut, flipLine},
        {{"--rotate", "90"}, "Done.\n", turnLine},
        {{"--rotate", "90", "--quiet"}, "Done.\n", turnLine},
        {{"--rotate", "90", "-v"}, "Done.\n", turnReport + turnLine},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const CliRun run = runCli(c.options + QStringList{"-o", results.path(), bad, good});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(folderEntries(results.path()), (QStringList{"good_flipped.png", "good_rotated.png"}));
}

TEST_F(CliTest, RefusalsAndWrongCommandLinesExitTwo) {
    const QString good = inputs.filePath("good.bmp");
    ASSERT_TRUE(arrow(8, 8, false).save(good, "BMP"));

    const CliRun missing = runCli({"-o", inputs.filePath("missing"), good});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("Folder does not exist. Please select another folder."));

    const CliRun empty = runCli({"-o", results.path(), inputs.filePath("empty-folder-x")});
    EXPECT_EQ(empty.exitCode, 1);  // a path that is not a folder is added as given, then fails

    QDir(inputs.path()).mkdir("empty");
    const CliRun none = runCli({"-o", inputs.filePath("missing"), inputs.filePath("empty")});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.contains("No files added."));

    for (const QStringList& wrong :
         {QStringList{good}, QStringList{"-o", results.path(), "--rotate", "45", good},
          QStringList{"-o", results.path(), "--quality", "0", good},
          QStringList{"-o", results.path(), "--bogus", good},
          QStringList{"-o", results.path(), "--flip", "sideways", good}}) {
        const CliRun run = runCli(wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
}

TEST_F(CliTest, DryRunListsEntriesAndOutputsAndWritesNothing) {
    QDir(inputs.path()).mkpath("tree/sub");
    const QString a = inputs.filePath("tree/a.JPG");
    const QString b = inputs.filePath("tree/sub/b.png");
    const QString c = inputs.filePath("tree/c.txt");
    ASSERT_TRUE(arrow(4, 4, false).save(a, "JPG"));
    ASSERT_TRUE(arrow(4, 4, false).save(b, "PNG"));
    writeFile(c, "text");
    const CliRun scan = runCli(
        {"--dry-run", "--scan", "jpg", "--rotate", "90", "-o", "/out", inputs.filePath("tree")});
    EXPECT_EQ(scan.exitCode, 0);
    EXPECT_EQ(scan.out, a + "\t/out/a_rotated.jpg\n");

    const CliRun all = runCli({"--dry-run", "-o", "/out", inputs.filePath("tree")});
    const QStringList lines = all.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.last(), b + "\t/out/b_flipped.png");  // sub-folders come after the folder
    EXPECT_TRUE(folderEntries(results.path()).isEmpty());
}

TEST_F(CliTest, NamesBeginningWithADashWorkAfterTheEndOfOptions) {
    const QString dashed = inputs.filePath("-x.png");
    ASSERT_TRUE(arrow(6, 6, false).save(dashed, "PNG"));
    const CliRun separated = runCli({"-q", "-o", results.path(), "--", "-x.png"}, inputs.path());
    EXPECT_EQ(separated.exitCode, 0) << separated.err.toStdString();
    const CliRun relative =
        runCli({"-q", "--flip", "vertical", "-o", results.path() + "/", "./-x.png"}, inputs.path());
    EXPECT_EQ(relative.exitCode, 0) << relative.err.toStdString();
    EXPECT_EQ(folderEntries(results.path()), QStringList{"-x_flipped.png"});
}

TEST_F(CliTest, AnInterruptStopsTheRunAndASecondEndsItAtOnceLeavingOnlyWholeFiles) {
    const QStringList paths = noisePictures(24);
    ASSERT_EQ(paths.size(), 24);
    // The signals sent, and the exit status expected.
    const std::vector<std::pair<std::vector<int>, int>> cases = {
        {{SIGINT}, 130}, {{SIGTERM}, 143}, {{SIGINT, SIGINT}, 130}};
    for (const auto& [sent, status] : cases) {
        QDir(results.path()).removeRecursively();
        QDir().mkpath(results.path());
        QProcess process;
        process.start(QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch"),
                      QStringList{"-q", "-j", "1", "-o", results.path()} + paths);
        ASSERT_TRUE(process.waitForStarted());
        // Mid-run: once the first output is there.
        for (int wait = 0; wait < 600 && folderEntries(results.path()).filter("_flipped").isEmpty();
             ++wait) {
            QThread::msleep(50);
        }
        for (const int number : sent) {
            ::kill(pid_t(process.processId()), number);
            QThread::msleep(20);  // two signals sent at once would arrive as one
        }
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), status);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (sent.size() == 1) {
            EXPECT_TRUE(out.startsWith("Stopped.\n\n")) << out.toStdString();
            EXPECT_TRUE(out.contains(" of 24 files were processed.\n")) << out.toStdString();
        }
        const QStringList left = folderEntries(results.path());
        EXPECT_LT(left.size(), 24);
        for (const QString& name : left) {
            EXPECT_TRUE(name.endsWith("_flipped.png")) << name.toStdString();
            EXPECT_EQ(QImageReader(results.filePath(name)).read().size(), QSize(700, 700));
        }
    }
}

TEST_F(CliTest, ASecondInterruptEndsTheProgressLineBeforeTheProgramEnds) {
    const QStringList paths = noisePictures(24);
    // Standard error on a terminal, so that progress is drawn.
    int terminal = -1;
    int side = -1;
    ASSERT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, side, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, terminal);
    posix_spawn_file_actions_addclose(&actions, side);
    std::vector<QByteArray> words{ZENTAVO_BUILD_DIR "/zentavo-batch", "-j", "1", "-o",
                                  QFile::encodeName(results.path())};
    for (const QString& path : paths) {
        words.push_back(QFile::encodeName(path));
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(side);

    QByteArray shown;
    bool interrupted = false;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t got = ::read(terminal, buffer, sizeof buffer);
            if (got <= 0) {
                break;  // the program has ended: its side of the terminal is closed
            }
            shown.append(buffer, got);
        }
        // Mid-run, with a progress line drawn: Ctrl+C twice.
        if (!interrupted && shown.contains("\r[") &&
            !folderEntries(results.path()).filter("_flipped").isEmpty()) {
            // The second while the first is still winding the run down.
            ::kill(child, SIGINT);
            QThread::usleep(1500);
            ::kill(child, SIGINT);
            interrupted = true;
        }
        if (clock.elapsed() > 120000) {
            ::kill(child, SIGKILL);
            ADD_FAILURE() << "no progress, or no end";
            break;
        }
    }
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(interrupted);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130);
    // The last thing on the terminal clears the progress line and leaves the cursor at its
    // start, where the shell's prompt begins.
    EXPECT_TRUE(shown.endsWith("\r\x1b[K")) << shown.right(80).toStdString();
}

TEST(CliProgress, AnExitFromASignalHandlerEndsAnOpenProgressLineAndOnlyThen) {
    // Standard error goes to a pipe for the length of the test.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    {
        CliFrontEnd frontEnd(stderr, true, 3);
        frontEnd.setProgressValue(33);
        CliFrontEnd::endProgressLineForExit();
        CliFrontEnd::endProgressLineForExit();  // nothing open any more: nothing written
        frontEnd.setProgressValue(67);
        frontEnd.showClosingMessage("Done.", MessageIcon::None);  // ends the line itself
        CliFrontEnd::endProgressLineForExit();
    }
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(pipeEnds[1]);
    QByteArray written;
    char buffer[1024];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        written.append(buffer, got);
    }
    ::close(pipeEnds[0]);
    const QList<QByteArray> lines = written.split('\r');
    ASSERT_EQ(lines.size(), 5) << written.toStdString();
    EXPECT_TRUE(lines[1].startsWith("[") && lines[1].contains("] 1/3  33%"))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], "\x1b[K");
    EXPECT_TRUE(lines[3].startsWith("[") && lines[3].contains("] 2/3  67%"))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], "\x1b[K");
}

TEST(CliVersion, PrintsTheVersionAndExitsZero) {
    const CliRun run = runCli({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("zentavo-batch "));
}

TEST_F(CliTest, LosslessRunTurnsWholeBlockJpegsExactlyAndReencodesTheOthers) {
    // 4:2:0 codes 16 x 16 blocks: 4000 x 3000 falls on them, 4001 x 3001 does not.
    const auto photo = [&](const QString& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                row[3 * x] = uchar(x * 255 / width);
                row[3 * x + 1] = uchar(y * 255 / height);
                row[3 * x + 2] = uchar((x ^ y) & 0xFF);
            }
        }
        EXPECT_TRUE(image.save(inputs.filePath(name), "JPG", 80));
        return inputs.filePath(name);
    };
    const QString whole = photo("whole.jpg", 4000, 3000);
    const QString odd = photo("odd.jpg", 4001, 3001);
    const CliRun run = runCli({"--quality", "lossless", "-o", results.path(), "-q", whole, odd});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              "Done.\n\nThese files were re-encoded, their size does not allow a "
              "lossless turn:\n\n" +
                  odd + "\n");
    EXPECT_EQ(QImageReader(results.filePath("odd_flipped.jpg")).size(), QSize(4001, 3001));

    // Flipped twice losslessly, a picture is back to its very pixels; a re-encode never is.
    // A cut-off JPEG in the same run is refused, as in the other modes, and named before the
    // re-encoded files.
    const QString cut = inputs.filePath("cut.jpg");
    writeFile(cut, readFile(odd).left(20000));
    const QString small = photo("small.jpg", 33, 17);
    QTemporaryDir again;
    const CliRun back = runCli({"--quality", "lossless", "-o", again.path(), "-q",
                                results.filePath("whole_flipped.jpg"), cut, small});
    EXPECT_EQ(back.exitCode, 1);
    EXPECT_EQ(QImage(again.filePath("whole_flipped_flipped.jpg")), QImage(whole));
    EXPECT_FALSE(QFile::exists(again.filePath("cut_flipped.jpg")));
    EXPECT_EQ(back.out, "Done.\n\nThese files:\n\n" + cut +
                            "\n\ncould not be loaded.\n\nThese files were re-encoded, their size "
                            "does not allow a lossless turn:\n\n" +
                            small + "\n");
}

namespace {

// No input can end a run whole: a 16-bit picture named for each newer format is written in it,
// high-depth AVIF through libavif (libheif with aom 3.6 aborts the process on it).
TEST_F(CliTest, DeepPicturesInTheNewerFormatsAreWrittenAndTheRunLivesOn) {
    QImage deep(40, 24, QImage::Format_RGBA64);
    for (int y = 0; y < deep.height(); ++y) {
        for (int x = 0; x < deep.width(); ++x) {
            deep.setPixelColor(x, y,
                               QColor::fromRgba64(quint16(x * 1500), quint16(y * 2500), 777,
                                                  quint16(65535 - x * 900)));
        }
    }
    QStringList paths;
    for (const char* name : {"deep.avif", "deep.heic", "deep.jxl", "deep.webp"}) {
        paths << inputs.filePath(QLatin1String(name));
        ASSERT_TRUE(deep.save(paths.back(), "PNG"));
    }
    const CliRun run =
        runCli(QStringList{"-o", results.path(), "--rotate", "90", "-j", "1"} + paths);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(folderEntries(results.path()),
              (QStringList{"deep_rotated.avif", "deep_rotated.heic", "deep_rotated.jxl",
                           "deep_rotated.webp"}));
    const QByteArray avif = readFile(results.filePath("deep_rotated.avif"));
    EXPECT_EQ(avif.mid(4, 8), QByteArray("ftypavif"));
}

}  // namespace
