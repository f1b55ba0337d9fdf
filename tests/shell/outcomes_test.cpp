// After a run: what each entry became, its tooltip and context menu, the closing message's
// button to the results folder; during it, the time left on the progress bar.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "imagefiles/loadpicfile.h"
#include "shell/entryoutcomes.h"
#include "shell/filelistview.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>

namespace zentavo::test {

namespace {

QAction* action(QMenu& menu, const char* name) {
    QAction* found = menu.findChild<QAction*>(QLatin1String(name));
    if (!found) {
        ADD_FAILURE() << "no action " << name;
    }
    return found;
}

}  // namespace

class OutcomesTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("in"));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("out"));
        m_in = m_dir.filePath("in") + "/";
        m_out = m_dir.filePath("out") + "/";
        loadForm();
        text1()->setText(m_out);
    }
    // A small PNG named name in the input folder; its path.
    QString picture(const QString& name) {
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        EXPECT_TRUE(image.save(m_in + name, "PNG"));
        return m_in + name;
    }
    QString junk(const QString& name) {
        writeFile(m_in + name, "not a picture");
        return m_in + name;
    }
    QString toolTip(int row) const {
        const QAbstractItemModel* model = m_form->controls().ListView1->model();
        return model->data(model->index(row, 0), Qt::ToolTipRole).toString();
    }
    void run() {
        m_form->PushButton2_Click();
        m_form->batchRun().waitForFinished();
    }
    QString m_in;
    QString m_out;
};

TEST_F(OutcomesTest, EachEntryCarriesItsOutcomeWithTheOutputOrTheReasonInItsTooltip) {
    const QString good = picture("good.png");
    const QString bad = junk("bad.jpg");
    m_form->fileList().append(QStringList{good, bad});
    EXPECT_EQ(toolTip(0), good);
    run();

    const EntryOutcomes& outcomes = m_form->outcomes();
    ASSERT_TRUE(outcomes.outcome(0));
    ASSERT_TRUE(outcomes.outcome(1));
    EXPECT_EQ(outcomes.outcome(0)->outcome, FileOutcome::Written);
    EXPECT_EQ(outcomes.outcome(0)->outputPath, m_out + "good_flipped.png");
    EXPECT_EQ(toolTip(0), good + "\nWritten to " + m_out + "good_flipped.png");
    EXPECT_EQ(outcomes.outcome(1)->outcome, FileOutcome::NotLoaded);
    EXPECT_EQ(toolTip(1), bad + "\nNot loaded: " + loadPicture(bad).reason);

    // The menu opens the output, or the folder it went to, through the desktop; a file that was
    // not written has no output to open.
    std::unique_ptr<QMenu> menu = m_form->ListView1_ContextMenu(1);
    ASSERT_TRUE(action(*menu, "openOutput")->isEnabled());
    action(*menu, "openOutput")->trigger();
    action(*menu, "openOutputFolder")->trigger();
    EXPECT_EQ(m_opener.files, QStringList{m_out + "good_flipped.png"});
    EXPECT_EQ(m_opener.folders, QStringList{QDir(m_out).absolutePath()});
    menu = m_form->ListView1_ContextMenu(2);
    EXPECT_FALSE(action(*menu, "openOutput")->isEnabled());
    menu = m_form->ListView1_ContextMenu(0);
    EXPECT_FALSE(action(*menu, "openOutput")->isEnabled());
    EXPECT_FALSE(action(*menu, "openOutputFolder")->isEnabled());

    // Run again, skipping results that exist: the output is found, not written, and still opens.
    m_form->controls().Combo1->setCurrentIndex(1);
    run();
    EXPECT_EQ(outcomes.outcome(0)->outcome, FileOutcome::ResultExists);
    EXPECT_EQ(toolTip(0), good + "\nSkipped, its result exists: " + m_out + "good_flipped.png");
    EXPECT_EQ(outcomes.outcome(1)->outcome, FileOutcome::NotLoaded);
    menu = m_form->ListView1_ContextMenu(1);
    EXPECT_TRUE(action(*menu, "openOutput")->isEnabled());

    // A change to the list makes the outcomes stale: they go.
    m_form->fileList().append(picture("late.png"));
    EXPECT_EQ(outcomes.outcome(0), nullptr);
    EXPECT_EQ(toolTip(0), good);
}

TEST_F(OutcomesTest, TheClosingMessageOffersTheResultsFolderAndARefusalDoesNot) {
    m_form->PushButton2_Click();  // an empty list is refused
    EXPECT_EQ(m_dialogs.messages(), QStringList{"No files added."});
    EXPECT_TRUE(m_dialogs.buttonTexts.isEmpty());

    m_form->fileList().append(QStringList{picture("a.png"), junk("b.jpg")});
    m_dialogs.shown.clear();
    m_dialogs.buttonAnswers = {false};
    run();
    // The message is the run's own, word for word; the button is beside its OK.
    EXPECT_EQ(m_dialogs.messages(), QStringList{"Done.\r\n\r\nThese files:\r\n\r\n" + m_in +
                                                "b.jpg\r\n\r\ncould not be loaded."});
    EXPECT_EQ(m_dialogs.buttonTexts, QStringList{"Open Results Folder"});
    EXPECT_TRUE(m_opener.folders.isEmpty()) << "OK opens nothing";

    m_dialogs.buttonAnswers = {true};
    run();
    EXPECT_EQ(m_opener.folders, QStringList{QDir(m_out).absolutePath()});
}

TEST_F(OutcomesTest, TheTimeLeftJoinsTheProgressTextOnceAFewFilesAreDoneAndGoesAtTheEnd) {
    // A rotate run shows each unloadable file's report while the run waits: the bar is read
    // then, once after one file and once after five.
    option("Option9")->click();
    m_form->fileList().append(QStringList{picture("p1.png"), junk("early.jpg"), picture("p2.png"),
                                          picture("p3.png"), picture("p4.png"), junk("late.jpg"),
                                          picture("p5.png")});
    QStringList seen;
    m_dialogs.whileReportShown = [&] { seen << m_form->controls().ProgressBar1->text(); };
    run();
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], "Processing: early.jpg");
    EXPECT_TRUE(seen[1].startsWith("Processing: late.jpg - about ")) << seen[1].toStdString();
    EXPECT_TRUE(seen[1].endsWith(" left")) << seen[1].toStdString();
    EXPECT_EQ(m_form->controls().ProgressBar1->text(), "Progress Bar");
}

TEST(EntryOutcomes, HoldWhileTheListStandsAsTheRunFoundIt) {
    FileList list;
    list.append(QStringList{"/a.jpg", "/b.jpg", "/c.jpg"});
    EntryOutcomes outcomes(list);
    const EntryOutcome written{FileOutcome::Written, "/out/a.jpg", {}};
    const EntryOutcome notWritten{FileOutcome::NotWritten, "/out/b.jpg", "Cannot save the image."};

    outcomes.runStarted(3);
    outcomes.setOutcome(1, written);
    outcomes.setOutcome(3, notWritten);
    outcomes.setOutcome(4, written);  // no such entry in the run: ignored
    EXPECT_EQ(outcomes.outcome(0)->outputPath, "/out/a.jpg");
    EXPECT_EQ(outcomes.outcome(1), nullptr);
    EXPECT_EQ(outcomes.toolTip(2, "/c.jpg"), "/c.jpg\nNot written: Cannot save the image.");
    EXPECT_EQ(outcomes.toolTip(1, "/b.jpg"), "/b.jpg");

    // A new run starts clean.
    outcomes.runStarted(3);
    EXPECT_TRUE(outcomes.isEmpty());
    EXPECT_EQ(outcomes.outcome(0), nullptr);

    // Entries moved during the run: the outcomes to come would land on other files.
    outcomes.setOutcome(1, written);
    list.setText(1, "/b.jpg");
    list.setText(2, "/a.jpg");
    EXPECT_TRUE(outcomes.isEmpty());
    outcomes.setOutcome(2, written);
    EXPECT_EQ(outcomes.outcome(1), nullptr);

    // Removing or clearing after a run forgets them too.
    for (const auto& change :
         std::vector<std::function<void()>>{[&] { list.remove(3); }, [&] { list.clear(); }}) {
        outcomes.runStarted(list.count());
        outcomes.setOutcome(1, written);
        ASSERT_FALSE(outcomes.isEmpty());
        change();
        EXPECT_TRUE(outcomes.isEmpty());
    }
}

}  // namespace zentavo::test
