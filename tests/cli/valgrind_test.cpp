// zentavo-batch under valgrind's memcheck over every kind of PNG: no value that a decoder or an
// encoder never wrote may decide anything or reach an output file.

#include "tests/imagefiles/png/pngsamples.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace zentavo {
namespace {

TEST(UnderMemcheck, TurningEveryKindOfPngUsesNoUninitialisedValue) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a program built with the address sanitizer cannot run under memcheck";
#endif
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (valgrind.isEmpty()) {
        GTEST_SKIP() << "valgrind is not installed (setup.sh installs it): memcheck run skipped";
    }
    QTemporaryDir inputs;
    QTemporaryDir results;
    ASSERT_TRUE(inputs.isValid() && results.isValid());
    QStringList arguments{"--tool=memcheck",
                          "--error-exitcode=99",
                          "--leak-check=no",
                          "--track-origins=no",
                          QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch"),
                          "-q",
                          "-j",
                          "1",
                          "--rotate",
                          "90",
                          "-o",
                          results.path(),
                          "--"};
    const QList<test::PngKind> kinds = test::everyPngKind();
    for (const test::PngKind& kind : kinds) {
        const QString path = inputs.filePath(kind.name() + QStringLiteral(".png"));
        test::writeFile(path, test::makePng(kind).file);
        arguments << path;
    }
    QProcess run;
    run.start(valgrind, arguments);
    ASSERT_TRUE(run.waitForFinished(500000)) << "zentavo-batch under memcheck did not finish";
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    EXPECT_FALSE(err.contains(QLatin1String("uninitialised"))) << err.toStdString();
    EXPECT_EQ(run.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(QDir(results.path()).entryList(QDir::Files).size(), kinds.size());
}

}  // namespace
}  // namespace zentavo
