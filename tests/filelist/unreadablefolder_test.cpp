#include "filelist/folderfiles.h"
#include "filelist/subdirectories.h"
#include "tests/filelist/foldertree.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

using namespace zentavo;

namespace {

const char TreeVariable[] = "ZENTAVO_UNREADABLE_TREE";

void build(test::FolderTree& tree) {
    for (const char* name : {"A", "A/locked", "A/locked/inner", "A/open"}) {
        tree.folder(name);
    }
    for (const char* name : {"A/a.jpg", "A/locked/x.jpg", "A/locked/inner/y.jpg", "A/open/o.jpg"}) {
        tree.file(name);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(tree.path("A/locked")).constData(), 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tree.root()).constData(), 0755), 0);
}

QStringList expected(const test::FolderTree& tree) {
    return {tree.path("A/a.jpg"), tree.path("A/open/o.jpg")};
}

}  // namespace

// Root reads every folder, so the unreadable case runs in a child process under an
// unprivileged user; the child prints what it found.
TEST(UnreadableFolder, IsRemovedWithEverythingBelowIt) {
    test::FolderTree tree;
    build(tree);
    if (::geteuid() != 0) {
        EXPECT_EQ(scanFolderTree(tree.path("A"), "*.jpg", nullptr, "Zentavo"), expected(tree));
        return;
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(TreeVariable, tree.path("A"));
    child.setProcessEnvironment(environment);
    child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                            QCoreApplication::applicationFilePath(),
                            "--gtest_filter=UnreadableFolder.ChildScan"});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit) {
        GTEST_SKIP() << "cannot run a child process as an unprivileged user";
    }
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    if (child.exitCode() != 0 && !output.contains("FOUND")) {
        GTEST_SKIP() << "the unprivileged child could not run: "
                     << child.readAllStandardError().toStdString();
    }
    QStringList found;
    for (const QString& line : output.split('\n')) {
        if (line.startsWith("FOUND ")) {
            found.append(line.mid(6));
        }
    }
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_EQ(found, expected(tree)) << output.toStdString();
}

TEST(UnreadableFolder, ChildScan) {
    const QString folder = qEnvironmentVariable(TreeVariable);
    if (folder.isEmpty()) {
        GTEST_SKIP() << "runs only as the child of IsRemovedWithEverythingBelowIt";
    }
    QStringList collection{folder + "/"};
    GetSubDirectories2016(collection, true, nullptr, "Zentavo");
    EXPECT_EQ(collection, (QStringList{folder + "/", folder + "/open/"}));
    for (const QString& file : scanFolderTree(folder, "*.jpg", nullptr, "Zentavo")) {
        printf("FOUND %s\n", qPrintable(file));
    }
    fflush(stdout);
}
