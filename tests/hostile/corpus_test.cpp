// The hostile corpus run through zentavo-batch as a user runs it: every file gets its verdict,
// nothing crashes or hangs, the inputs stay byte for byte, and the results folder holds the
// complete outputs and nothing else.

#include "imagefiles/loadpicfile.h"
#include "tests/hostile/batchprocess.h"
#include "tests/hostile/hostilecorpus.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace zentavo;
using namespace zentavo::test;

namespace {

QByteArray rotatedName(const QByteArray& name) {
    QByteArray flipped = flippedName(name);
    return flipped.replace("_flipped.", "_rotated.");
}

// The lines of the closing message between "These files:" and "could not be loaded.".
QSet<QString> failedLines(const QString& out) {
    QSet<QString> lines;
    bool inside = false;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        if (line == QLatin1String("These files:")) {
            inside = true;
        } else if (line == QLatin1String("could not be loaded.")) {
            inside = false;
        } else if (inside && !line.isEmpty()) {
            lines.insert(line);
        }
    }
    return lines;
}

class HostileCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inputs.isValid() && results.isValid());
        // Made once: the bombs take a moment to compress.
        static const std::vector<CorpusFile> made = hostileCorpus();
        corpus = made;
        ASSERT_TRUE(materialise(inputs.path(), corpus));
        before = folderFingerprint(inputs.path());
    }

    QStringList arguments(const QStringList& options) const {
        QStringList list = options;
        list << QStringLiteral("-q") << QStringLiteral("-j") << QStringLiteral("2")
             << QStringLiteral("-o") << results.path() << QStringLiteral("--");
        for (const CorpusFile& file : corpus) {
            list << inputs.filePath(QString::fromUtf8(file.name));
        }
        return list;
    }

    void expectOnlyOutputs(const QList<QByteArray>& expected) {
        QList<QByteArray> sorted = expected;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(rawEntries(results.path()).join('\n').toStdString(),
                  QByteArrayList(sorted).join('\n').toStdString())
            << "the results folder holds something besides the complete outputs";
        EXPECT_EQ(folderFingerprint(inputs.path()), before) << "an input was changed";
    }

    QTemporaryDir inputs;
    QTemporaryDir results;
    std::vector<CorpusFile> corpus;
    QMap<QByteArray, QByteArray> before;
};

TEST_F(HostileCorpus, FlipRunGivesEveryFileItsVerdictAndLeavesNothingElse) {
    // The lossless mode reads JPEGs on another road, which must refuse the same damaged files.
    for (const QStringList& mode : {QStringList{}, QStringList{"--quality", "lossless"}}) {
        SCOPED_TRACE(mode.join(' ').toStdString());
        QDir(results.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(results.path()));
        const BatchProcess run = runBatch(arguments(mode), 240000);
        ASSERT_FALSE(run.timedOut) << "zentavo-batch hung";
        ASSERT_FALSE(run.crashed) << "zentavo-batch died of signal " << run.signal << "\n"
                                  << run.err.constData();
        EXPECT_EQ(run.exitCode, 1);
        const QString out = QString::fromUtf8(run.out);
        const QSet<QString> failed = failedLines(out);
        QList<QByteArray> outputs;
        for (const CorpusFile& file : corpus) {
            SCOPED_TRACE(file.name.constData());
            const QString input = inputs.filePath(QString::fromUtf8(file.name));
            const QString output = results.filePath(QString::fromUtf8(flippedName(file.name)));
            if (file.verdict == Verdict::Written) {
                outputs << flippedName(file.name);
                EXPECT_FALSE(failed.contains(input));
                QImageReader reader(output);
                QImage picture;
                EXPECT_TRUE(reader.read(&picture)) << reader.errorString().toStdString();
                EXPECT_EQ(picture.size(), file.flippedSize);
            } else {
                EXPECT_TRUE(failed.contains(input)) << "not named in the closing message";
                EXPECT_FALSE(QFile::exists(output));
            }
            if (file.partlyKept) {
                const qsizetype note = out.indexOf(QLatin1String("Only the first page"));
                EXPECT_GE(note, 0);
                EXPECT_GT(out.indexOf(input, note), note);
            }
        }
        expectOnlyOutputs(outputs);
    }
}

TEST_F(HostileCorpus, RotateRunTurnsWhatLoadsAndWritesNothingForTheRest) {
    const BatchProcess run = runBatch(arguments({QStringLiteral("--rotate"), "90"}), 240000);
    ASSERT_FALSE(run.timedOut) << "zentavo-batch hung";
    ASSERT_FALSE(run.crashed) << "zentavo-batch died of signal " << run.signal;
    EXPECT_EQ(run.exitCode, 1);
    QList<QByteArray> outputs;
    int notLoaded = 0;
    for (const CorpusFile& file : corpus) {
        SCOPED_TRACE(file.name.constData());
        const QString output = results.filePath(QString::fromUtf8(rotatedName(file.name)));
        if (file.verdict == Verdict::Written) {
            outputs << rotatedName(file.name);
            EXPECT_EQ(QImageReader(output).size(), file.flippedSize.transposed());
        } else {
            ++notLoaded;
            EXPECT_FALSE(QFile::exists(output));
        }
    }
    // Each file that did not load is named once, at the loading statement, and standard
    // error holds these lines and nothing a library printed.
    const QString err = QString::fromUtf8(run.err);
    EXPECT_EQ(err.count(QLatin1String(" (line 210)\n")), notLoaded) << run.err.constData();
    QString others = err;
    others.remove(
        QRegularExpression(QStringLiteral("(?m)^zentavo-batch: [^\\n]+ \\(line \\d+\\)\\n")));
    EXPECT_EQ(others.toStdString(), "") << "standard error holds more than our reports";
    expectOnlyOutputs(outputs);
}

class OddNames : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(inputs.isValid() && results.isValid()); }
    QTemporaryDir inputs;
    QTemporaryDir results;
};

TEST_F(OddNames, EveryNameIsProcessedAsAnOrdinaryName) {
    const std::vector<CorpusFile> files = oddNameCorpus();
    ASSERT_TRUE(materialise(inputs.path(), files));
    QStringList arguments{"-q", "-o", results.path(), "--"};
    QList<QByteArray> outputs;
    for (const CorpusFile& file : files) {
        arguments << inputs.filePath(QString::fromUtf8(file.name));
        outputs << flippedName(file.name);
    }
    const BatchProcess run = runBatch(arguments);
    ASSERT_FALSE(run.crashed || run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(rawEntries(results.path()).join('\n').toStdString(),
              QByteArrayList(outputs).join('\n').toStdString());
    for (const CorpusFile& file : files) {
        const QString output = results.filePath(QString::fromUtf8(flippedName(file.name)));
        EXPECT_EQ(QImageReader(output).size(), QSize(4, 3)) << file.name.constData();
    }
}

TEST_F(OddNames, ALeadingDashWorksAfterDoubleDashAndAsDotSlash) {
    ASSERT_TRUE(materialise(inputs.path(), {oddNameCorpus()[4]}));
    ASSERT_EQ(oddNameCorpus()[4].name, "-leading-dash.bmp");
    BatchProcess run =
        runBatch({"-q", "-o", results.path(), "--", "-leading-dash.bmp"}, 60000, {}, inputs.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(QFile::exists(results.filePath("-leading-dash_flipped.bmp")));
    QFile::remove(results.filePath("-leading-dash_flipped.bmp"));
    run = runBatch({"-q", "-o", results.path(), "./-leading-dash.bmp"}, 60000, {}, inputs.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(QFile::exists(results.filePath("-leading-dash_flipped.bmp")));
}

TEST_F(OddNames, ControlCharactersInAFailedNameKeepTheReportOneNamePerLine) {
    CorpusFile newline;
    newline.name = "bad\nname.jpg";
    newline.bytes = "not a picture";
    CorpusFile tab = newline;
    tab.name = "bad\ttab.jpg";
    ASSERT_TRUE(materialise(inputs.path(), {newline, tab}));
    const BatchProcess run =
        runBatch({"-q", "-o", results.path(), "--", inputs.filePath("bad\nname.jpg"),
                  inputs.filePath("bad\ttab.jpg")});
    EXPECT_EQ(run.exitCode, 1);
    const QSet<QString> failed = failedLines(QString::fromUtf8(run.out));
    EXPECT_EQ(failed.size(), 2) << run.out.constData();
    EXPECT_TRUE(failed.contains(inputs.filePath("bad\\nname.jpg"))) << run.out.constData();
    EXPECT_TRUE(failed.contains(inputs.filePath("bad\\ttab.jpg"))) << run.out.constData();
}

TEST_F(OddNames, ANameThatIsNotUtf8IsProcessedAndItsOutputKeepsTheBytes) {
    CorpusFile raw = oddNameCorpus()[0];
    raw.name = "\xFF\xFE-raw.bmp";
    ASSERT_TRUE(materialise(inputs.path(), {raw}));
    const auto before = folderFingerprint(inputs.path());
    // The name goes to the program as the raw bytes a shell passes.
    const QStringList shell{"/bin/sh", "-c",
                            "exec \"$0\" \"$@\" \"$(printf '\\377\\376')-raw.bmp\""};
    const BatchProcess run =
        runBatch({"-q", "-o", results.path(), "--"}, 60000, shell, inputs.path());
    ASSERT_FALSE(run.crashed || run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray("Done.\n"));
    EXPECT_EQ(rawEntries(results.path()), QList<QByteArray>{"\xFF\xFE-raw_flipped.bmp"});
    EXPECT_EQ(folderFingerprint(inputs.path()), before);
    // QTemporaryDir cannot name them to remove them.
    ::unlink((QFile::encodeName(inputs.path()) + '/' + raw.name).constData());
    ::unlink((QFile::encodeName(results.path()) + "/\xFF\xFE-raw_flipped.bmp").constData());
}

// Things that are not regular files are refused by the loader itself, before any read.
TEST(SpecialFiles, AFolderNamedLikeAPictureAndAFifoAreRefusedAsNotFiles) {
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("x.jpg"));
    EXPECT_EQ(loadPicture(folder.filePath("x.jpg")).error, LoadError::NotAFile);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("pipe.png")).constData(), 0644), 0);
    EXPECT_EQ(loadPicture(folder.filePath("pipe.png")).error, LoadError::NotAFile);
    EXPECT_EQ(loadPicture(QStringLiteral("/dev/zero")).error, LoadError::NotAFile);
    EXPECT_EQ(loadPicture(folder.filePath("none.gif")).error, LoadError::NotFound);
}

}  // namespace
