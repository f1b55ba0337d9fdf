// The window's output choices: "Keep folder tree", "Keep file dates" and what happens when a
// result exists. Their own keys, their place in the window, and a run that follows them.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace zentavo::test {

TEST_F(FormTest, OutputChoicesWriteTheirOwnKeysAndReachTheRunLive) {
    Form1& form = loadForm();
    const Form1Controls& ui = form.controls();
    EXPECT_FALSE(form.keepTree());
    EXPECT_FALSE(form.keepDates());
    EXPECT_EQ(form.existingOutput(), ExistingOutput::Replace);
    m_writes.clear();
    ui.Check1->click();
    ui.Check2->click();
    ui.Combo1->setCurrentIndex(1);
    EXPECT_EQ(m_writes, (QStringList{"Check1=True", "Check2=True", "Combo1=1"}));
    EXPECT_TRUE(form.keepTree());
    EXPECT_TRUE(form.keepDates());
    EXPECT_EQ(form.existingOutput(), ExistingOutput::Skip);
    m_writes.clear();
    ui.Combo1->setCurrentIndex(2);
    ui.Check1->click();
    EXPECT_EQ(m_writes, (QStringList{"Combo1=2", "Check1=False"}));
    EXPECT_EQ(form.existingOutput(), ExistingOutput::KeepBoth);
    EXPECT_EQ(ui.Combo1->itemText(2), "Keep both");
}

TEST_F(FormTest, OutputChoicesAreRestoredAfterEveryOtherStatement) {
    storeValue("Check1", "True");
    storeValue("Check2", "1");
    storeValue("Combo1", "2");
    Form1& form = loadForm();
    EXPECT_TRUE(form.keepTree());
    EXPECT_TRUE(form.keepDates());
    EXPECT_EQ(form.existingOutput(), ExistingOutput::KeepBoth);
    EXPECT_TRUE(m_dialogs.shown.empty());
}

TEST_F(FormTest, StoredOutputChoicesThatDoNotFitAreReportedAtTheirStatements) {
    storeValue("Check2", "often");
    storeValue("Combo1", "7");
    Form1& form = loadForm();
    const QStringList messages = m_dialogs.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].section("\r\r", 0, 0),
              "Type mismatch\r\nin Zentavo2021/08/31.Form1.Form_Load at line 180");
    EXPECT_EQ(messages[1].section("\r\r", 0, 0),
              "Invalid property value\r\nin Zentavo2021/08/31.Form1.Form_Load at line 182");
    EXPECT_FALSE(form.keepDates());
    EXPECT_EQ(form.existingOutput(), ExistingOutput::Replace);
}

TEST_F(FormTest, OutputChoicesFitBesideFlipAndRotateWithoutTouchingAnyOtherControl) {
    Form1& form = loadForm();
    const Form1Controls& ui = form.controls();
    const QList<QWidget*> added{ui.Check1, ui.Check2, ui.Label1, ui.Combo1};
    for (QWidget* control : added) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_EQ(control->parentWidget(), ui.Frame6);
        // Inside the frame, clear of its border, and wide enough for its own text.
        EXPECT_TRUE(QRect(QPoint(0, 0), ui.Frame6->size())
                        .adjusted(2, 2, -2, -2)
                        .contains(control->geometry()));
        EXPECT_GE(control->width(), control->sizeHint().width());
        for (QWidget* other : ui.Frame6->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != control) {
                EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                    << other->objectName().toStdString();
            }
        }
    }
    // Each stands on the row it names: the check boxes on "Flip Image"'s, the question on
    // "Rotate Image"'s, right of the option.
    EXPECT_EQ(ui.Check1->geometry().center().y(), ui.Option8->geometry().center().y());
    EXPECT_GT(ui.Check1->x(), ui.Option8->geometry().right());
    EXPECT_NEAR(ui.Combo1->geometry().center().y(), ui.Option9->geometry().center().y(), 1);
    EXPECT_EQ(ui.Label1->buddy(), ui.Combo1);
}

TEST_F(FormTest, ADroppedFolderRunWithTheTreeKeptAndResultsSkippedFollowsTheChoices) {
    const QString in = m_dir.filePath("card/DCIM");
    const QString out = m_dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(in + "/100CANON") && QDir().mkpath(in + "/101CANON") &&
                QDir().mkpath(out));
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(in + "/100CANON/IMG_0001.png"));
    ASSERT_TRUE(picture.save(in + "/101CANON/IMG_0001.png"));
    ASSERT_TRUE(QDir().mkpath(out + "/DCIM/101CANON"));
    writeFile(out + "/DCIM/101CANON/IMG_0001_flipped.png", "earlier");
    Form1& form = loadForm();
    text1()->setText(out);
    form.controls().Check1->click();
    form.controls().Combo1->setCurrentIndex(1);
    form.ListView1_OLEDragDrop({in});
    m_dialogs.buttonAnswers = {true};
    form.PushButton2_Click();
    form.batchRun().waitForFinished();
    // The folder offered at the end is the results folder, not the tree's deepest one.
    EXPECT_EQ(m_opener.folders, QStringList{QDir(out).absolutePath()});
    EXPECT_EQ(m_dialogs.messages(),
              QStringList{"Done.\r\n\r\nThese files were skipped, their results exist:\r\n\r\n" +
                          in + "/101CANON/IMG_0001.png"});
    EXPECT_EQ(QImage(out + "/DCIM/100CANON/IMG_0001_flipped.png").size(), QSize(4, 2));
    EXPECT_EQ(readFile(out + "/DCIM/101CANON/IMG_0001_flipped.png"), "earlier");
}

}  // namespace zentavo::test
