// The start-up routines of the window: the application title, the results folder default, the
// folder picker's answer and the skin.
#include "shell/mainroutines.h"

#include "report/zentavoerror.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWidget>

namespace zentavo::test {

TEST(SetAppTitle, DropsTheLastWordThenMoreWhileOverFortyCharacters) {
    EXPECT_EQ(SetAppTitle("Zentavo"), "Zentavo");
    EXPECT_EQ(SetAppTitle("Zentavo Picture Turner"), "Zentavo Picture");
    // 49 characters: the last word goes, then words until at most 40 remain.
    const QString longName = "Zentavo Batch Picture Flipper And Rotator Deluxe2";
    EXPECT_EQ(SetAppTitle(longName), "Zentavo Batch Picture Flipper And");
    EXPECT_LE(SetAppTitle(longName).size(), 40);
    const QString noSpace(50, QLatin1Char('z'));
    EXPECT_EQ(SetAppTitle(noSpace), noSpace);
}

TEST(DefaultResultsFolder, AppendsTheSeparatorOrFailsWithoutADesktop) {
    EXPECT_EQ(DefaultResultsFolder("/home/ann/Desktop"), "/home/ann/Desktop/");
    EXPECT_THROW(DefaultResultsFolder(QString()), ZentavoError);
}

TEST(PickFolder, KeepsTheRootSeparatorAndDropsOthers) {
    ScriptedDialogs dialogs;
    dialogs.folderAnswers = {"/srv/out", "/srv/out/", "/", ""};
    EXPECT_EQ(PickFolder(dialogs, "Please select folder:", "/srv"), "/srv/out");
    EXPECT_EQ(PickFolder(dialogs, "t", ""), "/srv/out");
    EXPECT_EQ(PickFolder(dialogs, "t", ""), "/");
    EXPECT_EQ(PickFolder(dialogs, "t", ""), "");
    EXPECT_EQ(dialogs.lastFolderInitials.first(), "/srv");
}

TEST(StartupPaths, EachArgumentIsAnAbsolutePathInTheOrderGiven) {
    const struct {
        QStringList arguments;
        QStringList expected;
    } table[] = {
        {{}, {}},
        {{"/srv/in/a.jpg", "/srv/in/b.png"}, {"/srv/in/a.jpg", "/srv/in/b.png"}},
        {{"a.jpg", "../up/b.jpg", "./sub//c.gif"},
         {"/home/ann/a.jpg", "/home/up/b.jpg", "/home/ann/sub/c.gif"}},
        {{"file:///srv/in/with%20space.jpg", "https://example.com/x.jpg"},
         {"/srv/in/with space.jpg"}},
        {{"--", "-x.jpg", "--"}, {"/home/ann/-x.jpg", "/home/ann/--"}},
        {{"/srv/in/folder/"}, {"/srv/in/folder"}},
    };
    for (const auto& row : table) {
        EXPECT_EQ(startupPaths(row.arguments, "/home/ann"), row.expected)
            << row.arguments.join(' ').toStdString();
    }
}

TEST(ApplySkin, LoadsTheStyleSheetAndButtonFaceOnlyWhenTheFileExists) {
    QTemporaryDir dir;
    QWidget window;
    auto* frame = new QGroupBox("Frame", &window);
    auto* option = new QRadioButton("Option", frame);
    auto* button = new QPushButton("Button", &window);
    option->setAutoFillBackground(true);
    QPalette white = option->palette();
    white.setColor(QPalette::Window, Qt::white);
    option->setPalette(white);

    ApplySkin(window, dir.path());
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_EQ(option->palette().color(QPalette::Window), QColor(Qt::white));

    ASSERT_TRUE(QDir(dir.path()).mkpath("x"));
    writeFile(dir.filePath("x/o.cjs"), "QPushButton { color: red; }");
    ApplySkin(window, dir.path());
    EXPECT_EQ(window.styleSheet(), "QPushButton { color: red; }");
    const QColor face = window.palette().color(QPalette::Button);
    EXPECT_EQ(option->palette().color(QPalette::Window), face);
    EXPECT_EQ(frame->palette().color(QPalette::Window), face);
    EXPECT_FALSE(button->autoFillBackground());
}

}  // namespace zentavo::test
