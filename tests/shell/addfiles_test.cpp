// Filling the list from the window: the Open dialog, drops, the samples and the folder scan.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "filelist/subdirectories.h"
#include "report/filenames.h"
#include "shell/filelistview.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace zentavo::test {

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    writeFile(path, "x");
}

// Sends a drag entering the list and, when accepted, the drop; true when it was accepted.
bool dropOn(FileListView* list, QMimeData* data) {
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

bool dropPaths(FileListView* list, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    data.setUrls(urls);
    return dropOn(list, &data);
}

// Counts the passes of the event loop made while it lives: each pass delivers one tick, which
// posts the next (an event posted during a pass waits for the next one).
class LoopPasses : public QObject {
public:
    LoopPasses() { post(); }
    int passes = 0;
    std::function<void(int pass)> onPass;

protected:
    bool event(QEvent* event) override {
        if (event->type() != Tick) {
            return QObject::event(event);
        }
        ++passes;
        post();
        if (onPass) {
            onPass(passes);
        }
        return true;
    }

private:
    static constexpr QEvent::Type Tick = QEvent::Type(QEvent::User + 21);
    void post() { QCoreApplication::postEvent(this, new QEvent(Tick)); }
};

}  // namespace

class AddFilesTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        m_tree = m_dir.filePath("tree");
        m_programFolder = m_dir.filePath("program");
        loadForm();
    }
    QStringList entries() const { return m_form->fileList().paths(); }
    QString m_tree;
};

TEST_F(AddFilesTest, OpenDialogAddsOneFileAsGivenAndSeveralJoinedAndCleaned) {
    m_dialogs.openAnswers.push_back({"/pics//odd/Sun.JPG"});
    m_dialogs.openAnswers.push_back({"/c.jpg", "/a.png", "/b.tif"});
    m_form->controls().PushButton1->click();
    m_form->controls().PushButton1->click();
    EXPECT_EQ(entries(), (QStringList{"/pics//odd/Sun.JPG", "/c.jpg", "/a.png", "/b.tif"}));
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown[0].title,
              "Add File(s) - Hold Ctrl or Shift to select multiple files");
    EXPECT_TRUE(m_dialogs.lastOpenFilters[0].startsWith(
        "All Pictures (*.bmp;*.jpg;*.gif;*.png;*.tif;*.tiff;*.webp;*.heic;*.heif;*.avif;*.jxl) "));
    // Cancelling adds nothing and says nothing.
    m_form->controls().PushButton1->click();
    EXPECT_EQ(entries().size(), 4);
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(AddFilesTest, SelectionOverThirtyThousandCharactersAddsNothing) {
    const QString folder = "/pictures/holiday";
    QStringList fits;
    QStringList tooMany;
    // Folder (17) + 296 x (NUL + 100-character name) = 29913 characters: fits with its NUL.
    for (int i = 0; i < 297; ++i) {
        const QString name = QStringLiteral("%1.jpg").arg(i, 96, 10, QLatin1Char('0'));
        if (i < 296) {
            fits << folder + "/" + name;
        }
        tooMany << folder + "/" + name;
    }
    m_dialogs.openAnswers.push_back(tooMany);
    m_form->PushButton1_Click();
    EXPECT_EQ(m_form->fileList().count(), 0);
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(m_dialogs.messages()[0],
              "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" "
              "button.");
    EXPECT_EQ(m_dialogs.shown.back().title, "Zentavo");

    m_dialogs.openAnswers.push_back(fits);
    m_form->PushButton1_Click();
    EXPECT_EQ(m_form->fileList().count(), 296);
}

TEST_F(AddFilesTest, DroppedFilesAreAddedAsDroppedEvenTwice) {
    touch(m_tree + "/notes.txt");
    touch(m_tree + "/a.jpg");
    EXPECT_TRUE(
        dropPaths(m_form->controls().ListView1, {m_tree + "/a.jpg", m_tree + "/notes.txt"}));
    EXPECT_TRUE(dropPaths(m_form->controls().ListView1, {m_tree + "/a.jpg"}));
    EXPECT_EQ(entries(),
              (QStringList{m_tree + "/a.jpg", m_tree + "/notes.txt", m_tree + "/a.jpg"}));

    QMimeData text;
    text.setText("/not/a/file/list.jpg");
    EXPECT_FALSE(dropOn(m_form->controls().ListView1, &text));
    EXPECT_EQ(m_form->fileList().count(), 3);
}

TEST_F(AddFilesTest, DroppedFoldersAddTheirOwnFilesFirstFolderFirstInNaturalOrder) {
    touch(m_tree + "/one/a10.jpg");
    touch(m_tree + "/one/A9.jpg");
    touch(m_tree + "/one/~temp.jpg");
    touch(m_tree + "/one/.hidden.jpg");
    touch(m_tree + "/one/deeper/b.PNG");
    touch(m_tree + "/two/c.txt");
    // A dropped folder whose name is not valid UTF-8 is expanded like any other: its files keep
    // the bytes of its name.
    const QByteArray odd = QFile::encodeName(m_tree) + "/bad\xff";
    ASSERT_EQ(::mkdir(odd.constData(), 0755), 0);
    const QByteArray inOdd = odd + "/d\xe9.jpg";
    ::close(::open(inOdd.constData(), O_WRONLY | O_CREAT, 0644));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_tree + "/two"),
                  QUrl::fromEncoded("file://" + odd.toPercentEncoding("/")),
                  QUrl::fromLocalFile(m_tree + "/one")});
    ASSERT_TRUE(dropOn(m_form->controls().ListView1, &data));
    EXPECT_EQ(entries(),
              (QStringList{m_tree + "/two/c.txt", decodeFileName(inOdd), m_tree + "/one/A9.jpg",
                           m_tree + "/one/a10.jpg", m_tree + "/one/deeper/b.PNG"}));
    EXPECT_EQ(encodeFileName(entries().at(1)), inOdd);
    EXPECT_TRUE(m_dialogs.shown.empty());
    ::unlink(inOdd.constData());
    ::rmdir(odd.constData());
}

TEST_F(AddFilesTest, ClosingTheWindowDuringAFolderWalkEndsTheWalkAndAddsNothing) {
    for (int i = 0; i < 20; ++i) {
        touch(m_tree + QStringLiteral("/D/s%1/a.jpg").arg(i));
    }
    const std::function<void()> walks[] = {
        [this] {
            m_form->ListView1_OLEDragDrop({m_tree + "/D", m_tree + "/D/s1"});
        },
        [this] {
            m_dialogs.inputAnswers.push_back("jpg");
            m_dialogs.folderAnswers.push_back(m_tree + "/D");
            m_form->PushButton3_Click();
        },
    };
    for (const auto& walk : walks) {
        loadForm();
        // The close arrives while the walk serves the window's events.
        QMetaObject::invokeMethod(
            m_form.get(), [this] { m_form->close(); }, Qt::QueuedConnection);
        walk();
        EXPECT_FALSE(m_form->isVisible());
        EXPECT_EQ(m_form->fileList().count(), 0);
        EXPECT_EQ(m_startup.ends, 1);
        m_startup.ends = 0;
    }
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(AddFilesTest, ClosingTheWindowWhileAScannedTreeIsListedEndsTheListingAtOnce) {
    // Three folders of a hundred files: the walk is short, the listing long.
    for (int i = 0; i < 300; ++i) {
        touch(m_tree + QStringLiteral("/D/s%1/IMG_%2.jpg").arg(i / 100).arg(i));
    }
    const std::function<void()> scans[] = {
        [this] { m_form->ListView1_OLEDragDrop({m_tree + "/D"}); },
        [this] {
            m_dialogs.inputAnswers.push_back("jpg");
            m_dialogs.folderAnswers.push_back(m_tree + "/D");
            m_form->PushButton3_Click();
        },
    };
    // The passes the walk alone makes.
    int walked = 0;
    {
        LoopPasses loop;
        QStringList collection{m_tree + "/D/"};
        ASSERT_TRUE(GetSubDirectories2016(collection, true, &m_dialogs, "Zentavo", [] {
            QCoreApplication::processEvents();
            return true;
        }));
        walked = loop.passes;
    }
    for (const auto& scan : scans) {
        loadForm();
        int passes = 0;
        {
            LoopPasses loop;
            scan();
            passes = loop.passes;
        }
        ASSERT_EQ(m_form->fileList().count(), 300);
        // The listing serves the window too, not only the walk: every few dozen files at least.
        ASSERT_GE(passes - walked, 300 / 50);
        // A close at the listing's first pass, in its middle and at its last: nothing is added
        // and the window is not served again.
        for (const int closeAt : {walked + 1, (walked + passes) / 2, passes}) {
            SCOPED_TRACE(closeAt);
            loadForm();
            m_startup.ends = 0;
            LoopPasses loop;
            loop.onPass = [&](int pass) {
                if (pass == closeAt) {
                    m_form->close();
                }
            };
            scan();
            EXPECT_EQ(loop.passes, closeAt);
            EXPECT_FALSE(m_form->isVisible());
            EXPECT_EQ(m_form->fileList().count(), 0);
            EXPECT_EQ(m_startup.ends, 1);
        }
    }
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(AddFilesTest, SamplesAreAddedOnceOverTwoClicksWithTheQuestionBothTimes) {
    touch(m_programFolder + "/Samples/sample-png.png");
    touch(m_programFolder + "/Samples/Sample-bmp.bmp");
    touch(m_programFolder + "/Samples/sample-10.jpg");
    touch(m_programFolder + "/Samples/sample-9.jpg");
    m_dialogs.yesNoAnswers = {false, true};
    m_form->controls().PushButton5->click();
    m_form->controls().PushButton5->click();
    const QString samples = m_programFolder + "/Samples/";
    EXPECT_EQ(entries(), (QStringList{samples + "sample-9.jpg", samples + "sample-10.jpg",
                                      samples + "Sample-bmp.bmp", samples + "sample-png.png"}));
    ASSERT_EQ(m_dialogs.shown.size(), 2u);
    for (const ShownDialog& question : m_dialogs.shown) {
        EXPECT_EQ(question.kind, "question");
        EXPECT_EQ(question.title, "Zentavo");
        EXPECT_TRUE(question.text.startsWith("Would you like this software to open the folder"));
    }
    EXPECT_EQ(m_opener.folders, QStringList{m_programFolder + "/Samples/"});
}

TEST_F(AddFilesTest, FolderScanAddsTheExtensionInFolderOrderAndResetsThePointer) {
    touch(m_tree + "/A/1.jpg");
    touch(m_tree + "/A/skip.png");
    touch(m_tree + "/A/B/2.JPG");
    touch(m_tree + "/A/C/3.jpg");
    touch(m_tree + "/A/B/D/4.Jpg");
    touch(m_tree + "/A/.secret/5.jpg");
    touch(m_tree + "/A/~6.jpg");
    m_dialogs.inputAnswers.push_back("jpg");
    m_dialogs.folderAnswers.push_back(m_tree + "/A");
    m_form->controls().PushButton3->click();

    EXPECT_EQ(entries(), (QStringList{m_tree + "/A/1.jpg", m_tree + "/A/B/2.JPG",
                                      m_tree + "/A/C/3.jpg", m_tree + "/A/B/D/4.Jpg"}));
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);
    EXPECT_EQ(storedValue("Extension"), "jpg");
    EXPECT_EQ(storedValue("LastFolder"), m_tree + "/A");
    EXPECT_EQ(m_dialogs.shown[0].text,
              "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for "
              "all doc files, etc.)");
    EXPECT_EQ(m_dialogs.lastInputDefaults, QStringList{"jpg"});
    EXPECT_EQ(m_dialogs.messages().size(), 0);

    // "*" adds every file; the last folder opens the picker.
    m_form->fileList().clear();
    m_dialogs.inputAnswers.push_back("*");
    m_dialogs.folderAnswers.push_back(m_tree + "/A/C");
    m_form->PushButton3_Click();
    EXPECT_EQ(m_dialogs.lastFolderInitials.last(), m_tree + "/A");
    EXPECT_EQ(entries(), QStringList{m_tree + "/A/C/3.jpg"});
}

TEST_F(AddFilesTest, TheExtensionMayBeTypedBareWithADotOrWithAStar) {
    touch(m_tree + "/A/1.jpg");
    touch(m_tree + "/A/2.png");
    for (const char* typed : {"jpg", ".jpg", "*.jpg", " *.jpg "}) {
        SCOPED_TRACE(typed);
        m_form->fileList().clear();
        m_dialogs.inputAnswers.push_back(typed);
        m_dialogs.folderAnswers.push_back(m_tree + "/A");
        m_form->PushButton3_Click();
        EXPECT_EQ(storedValue("Extension"), "jpg");
        EXPECT_EQ(entries(), QStringList{m_tree + "/A/1.jpg"});
    }
    EXPECT_EQ(bareExtension("*"), "*");
    EXPECT_EQ(bareExtension("*.*"), "*");
    EXPECT_EQ(bareExtension("."), "");
}

TEST_F(AddFilesTest, CancellingThePickerKeepsTheNewExtensionAndAddsNothing) {
    storeValue("LastFolder", "/srv");
    m_dialogs.inputAnswers.push_back("tif");
    m_form->PushButton3_Click();
    EXPECT_EQ(storedValue("Extension"), "tif");
    EXPECT_EQ(storedValue("LastFolder"), "/srv");
    EXPECT_EQ(m_form->fileList().count(), 0);
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);

    // An empty answer stops before the picker and keeps the extension.
    m_form->PushButton3_Click();
    EXPECT_EQ(storedValue("Extension"), "tif");
    EXPECT_EQ(m_dialogs.lastInputDefaults.last(), "tif");
    EXPECT_EQ(m_dialogs.lastFolderInitials.size(), 1);
}

TEST_F(AddFilesTest, CommandLineScanListsTheSameFilesInTheSameOrder) {
    const QString program = QStringLiteral(ZENTAVO_BUILD_DIR "/zentavo-batch");
    if (!QFileInfo(program).isExecutable()) {
        GTEST_SKIP() << "zentavo-batch is not built";
    }
    for (const char* name : {"/T/a.jpg", "/T/x/b.JPG", "/T/y/c.jpg", "/T/x/z/d.jpg", "/T/e.png"}) {
        touch(m_tree + name);
    }
    m_dialogs.inputAnswers.push_back("jpg");
    m_dialogs.folderAnswers.push_back(m_tree + "/T");
    m_form->PushButton3_Click();

    QProcess batch;
    batch.start(program, {"--dry-run", "--scan", "jpg", "--out", m_dir.path(), m_tree + "/T"});
    ASSERT_TRUE(batch.waitForFinished(60000));
    QStringList listed;
    for (const QString& line : QString::fromUtf8(batch.readAllStandardOutput()).split('\n')) {
        if (!line.isEmpty()) {
            listed << line.section('\t', 0, 0);
        }
    }
    EXPECT_EQ(listed, entries()) << batch.readAllStandardError().toStdString();
    EXPECT_EQ(listed.size(), 4);
}

}  // namespace zentavo::test
