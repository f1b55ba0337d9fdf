#include "cli/clifrontend.h"
#include "cli/pathlist.h"
#include "report/filenames.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace zentavo;

namespace {

// What the front end drew on its error stream: the last progress line.
QString lastLine(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    QByteArray all;
    char buffer[4096];
    while (const size_t got = std::fread(buffer, 1, sizeof buffer, stream)) {
        all.append(buffer, qsizetype(got));
    }
    const QList<QByteArray> lines = all.split('\r');
    return QString::fromUtf8(lines.size() > 1 ? lines.at(lines.size() - 1) : QByteArray());
}

}  // namespace

TEST(ProgressLine, PaceAndTimeLeftFollowTheLatestFilesOnceAFewAreDone) {
    std::FILE* stream = std::tmpfile();
    ASSERT_TRUE(stream);
    CliFrontEnd frontEnd(stream, true, 1000);
    qint64 now = 0;
    frontEnd.setClock([&] { return now; });
    // The first files are skipped at once, as a resumed run skips its done files; then one file
    // every 250 ms.
    for (int i = 1; i <= 4; ++i) {
        frontEnd.setProgressValue(1);
    }
    EXPECT_FALSE(lastLine(stream).contains("files/s"));
    for (int i = 0; i < 200; ++i) {
        now += 250;
        frontEnd.setProgressValue(20);
    }
    // 204 done, 796 left at 4 files a second: 199 seconds.
    const QString line = lastLine(stream);
    EXPECT_TRUE(line.contains("204/1000")) << line.toStdString();
    EXPECT_TRUE(line.contains("4.0 files/s, 3:19 left")) << line.toStdString();
    std::fclose(stream);
}

TEST(ProgressLine, TheLineKeepsToOneRowOfTheTerminalAndTheNameGivesUpTheRoom) {
    const QString name = QStringLiteral("Processing: ") + QString(70, QLatin1Char('n'));
    struct Case {
        int columns;
        int nameShown;  // characters of "Processing: nnn..." on the line
    };
    // The line before the name: the bar and counts (47 characters) and the pace (24).
    for (const Case c : {Case{0, 60}, Case{200, 60}, Case{120, 48}, Case{80, 8}, Case{60, 0}}) {
        SCOPED_TRACE(c.columns);
        std::FILE* stream = std::tmpfile();
        ASSERT_TRUE(stream);
        CliFrontEnd frontEnd(stream, true, 1000);
        frontEnd.setColumns(c.columns);
        qint64 now = 0;
        frontEnd.setClock([&] { return now; });
        frontEnd.setProgressText(name);
        for (int i = 0; i < 10; ++i) {
            now += 250;
            frontEnd.setProgressValue(1);
        }
        QString line = lastLine(stream);
        line.chop(3);  // the clearing to the end of the row
        if (c.columns > 0) {
            EXPECT_LE(line.size(), c.columns - 1) << line.toStdString();
        }
        if (c.nameShown > 0) {
            EXPECT_TRUE(line.contains("4.0 files/s, 4:08 left  " + name.left(c.nameShown)))
                << line.toStdString();
        }
        EXPECT_FALSE(line.contains(name.left(c.nameShown + 1))) << line.toStdString();
        std::fclose(stream);
    }
}

TEST(ProgressLine, PaceTextShowsHoursPastAnHourAndRoundsTheSecondsUp) {
    EXPECT_EQ(CliFrontEnd::paceText(2.0, 5), "2.0 files/s, 0:03 left");
    EXPECT_EQ(CliFrontEnd::paceText(150.0, 150 * 3725), "150 files/s, 1:02:05 left");
    EXPECT_EQ(CliFrontEnd::paceText(0.5, 0), "0.5 files/s, 0:00 left");
}

TEST(PathList, NamesEndAtLineEndsOrAtNulAndKeepEveryOtherByte) {
    const QByteArray lines("a.jpg\n\nsub dir/b c.jpg\ncaf\xe9.jpg\nlast.jpg");
    EXPECT_EQ(splitPathList(lines, false),
              (QStringList{"a.jpg", "sub dir/b c.jpg", decodeFileName("caf\xe9.jpg"), "last.jpg"}));
    static const char listed[] = "new\nline.jpg\0tab\there.jpg\0\0 lead.jpg\0";
    const QByteArray nul(listed, sizeof listed - 1);
    EXPECT_EQ(splitPathList(nul, true),
              (QStringList{"new\nline.jpg", "tab\there.jpg", " lead.jpg"}));
    EXPECT_TRUE(splitPathList({}, true).isEmpty());
}
