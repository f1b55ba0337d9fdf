// The options panel: what each click writes and in which order, the slider caption, the results
// folder box and its "..." button, and the "?" explanation.
#include "tests/shell/formfixture.h"

#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

namespace zentavo::test {

TEST_F(FormTest, OptionClicksWriteTheirGroupsInOrderAndSetEnabledStates) {
    loadForm();
    m_writes.clear();

    QTest::mouseClick(option("Option9"), Qt::LeftButton);
    EXPECT_EQ(m_writes, (QStringList{"Option8=False", "Option9=True"}));
    EXPECT_FALSE(option("Option1")->isEnabled());
    EXPECT_FALSE(option("Option2")->isEnabled());
    EXPECT_TRUE(option("Option5")->isEnabled());

    m_writes.clear();
    QTest::mouseClick(option("Option5"), Qt::LeftButton);
    EXPECT_EQ(m_writes,
              (QStringList{"Option3=False", "Option4=False", "Option5=True", "Degrees=-270"}));
    EXPECT_EQ(m_form->degrees(), "-270");

    m_writes.clear();
    option("Option3")->click();
    EXPECT_EQ(m_writes,
              (QStringList{"Option3=True", "Option4=False", "Option5=False", "Degrees=-180"}));

    m_writes.clear();
    option("Option8")->click();
    option("Option2")->click();
    EXPECT_EQ(m_writes,
              (QStringList{"Option8=True", "Option9=False", "Option1=False", "Option2=True"}));
    EXPECT_TRUE(option("Option2")->isEnabled());
    EXPECT_FALSE(option("Option3")->isEnabled());
    EXPECT_EQ(m_form->flipDirection(), FlipDirection::Vertical);

    // What was written is what the next start reads.
    EXPECT_EQ(storedValue("Option2"), "True");
    EXPECT_EQ(storedValue("Degrees"), "-180");
}

TEST_F(FormTest, FixedQualityEnablesTheSliderWhoseCaptionFollowsIt) {
    loadForm();
    m_writes.clear();
    option("Option22")->click();
    EXPECT_EQ(m_writes, (QStringList{"Option21=False", "Option22=True", "Option23=False"}));
    EXPECT_TRUE(slider()->isEnabled());

    m_writes.clear();
    slider()->setValue(40);
    EXPECT_EQ(frame("Frame3")->title(), "40%");
    EXPECT_EQ(m_writes, QStringList{"Slider1=40"});
    QTest::keyClick(slider(), Qt::Key_PageUp);
    EXPECT_EQ(slider()->value(), 45);
    EXPECT_EQ(storedValue("Slider1"), "45");

    option("Option21")->click();
    EXPECT_FALSE(slider()->isEnabled());
    EXPECT_EQ(slider()->value(), 45);
    EXPECT_EQ(frame("Frame3")->title(), "45%");
    EXPECT_EQ(m_form->qualityMode(), QualityMode::SmartDetect);

    // The lossless mode is the group's third member and, like Smart-Detect, has no slider.
    option("Option22")->click();
    m_writes.clear();
    option("Option23")->click();
    EXPECT_EQ(m_writes, (QStringList{"Option21=False", "Option22=False", "Option23=True"}));
    EXPECT_FALSE(option("Option22")->isChecked());
    EXPECT_FALSE(slider()->isEnabled());
    EXPECT_EQ(m_form->qualityMode(), QualityMode::Lossless);
}

TEST_F(FormTest, DraggingTheSliderWritesItsValueOnceWhenReleased) {
    loadForm();
    option("Option22")->click();
    m_writes.clear();
    slider()->setSliderDown(true);
    for (int value = 84; value >= 39; --value) {
        slider()->setSliderPosition(value);
    }
    EXPECT_EQ(frame("Frame3")->title(), "39%");
    EXPECT_TRUE(m_writes.isEmpty());
    slider()->setSliderDown(false);
    EXPECT_EQ(m_writes, QStringList{"Slider1=39"});
    EXPECT_EQ(storedValue("Slider1"), "39");
}

TEST_F(FormTest, KeysPressTheFocusedButtonAndMoveBetweenOptions) {
    loadForm();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    m_dialogs.shown.clear();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        button("PushButton8")->setFocus();
        QTest::keyClick(button("PushButton8"), key);
    }
    EXPECT_EQ(m_dialogs.messages().size(), 3);
    option("Option21")->setFocus();
    QTest::keyClick(option("Option21"), Qt::Key_Down);
    EXPECT_TRUE(option("Option22")->isChecked());
    EXPECT_EQ(storedValue("Option22"), "True");
}

TEST_F(FormTest, TypingTheResultsFolderWritesEveryIntermediateText) {
    loadForm();
    text1()->clear();
    m_writes.clear();
    QTest::keyClicks(text1(), "/tmp");
    EXPECT_EQ(m_writes, (QStringList{"Text1=/", "Text1=/t", "Text1=/tm", "Text1=/tmp"}));
    EXPECT_EQ(storedValue("Text1"), "/tmp");
    EXPECT_EQ(m_form->resultsFolder(), "/tmp");
    // A leading "~/" is the home folder when the folder is used; the box keeps what was typed.
    for (const auto& [typed, used] :
         {std::pair<QString, QString>{"~/out/", QDir::homePath() + "/out/"},
          {"/srv/~/", "/srv/~/"},
          {"~ann/", "~ann/"}}) {
        text1()->setText(typed);
        EXPECT_EQ(m_form->resultsFolder(), used);
        EXPECT_EQ(storedValue("Text1"), typed);
    }
}

TEST_F(FormTest, FolderButtonStoresTheChoiceAndEndsTheFolderWithOneSeparator) {
    storeValue("LastFolderDot", "/srv");
    loadForm();
    m_writes.clear();

    m_dialogs.folderAnswers.push_back("/srv/out");
    button("PushButton6")->click();
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].title, "Please select folder:");
    EXPECT_EQ(m_dialogs.lastFolderInitials, QStringList{"/srv"});
    EXPECT_EQ(text1()->text(), "/srv/out/");
    EXPECT_EQ(m_writes, (QStringList{"LastFolderDot=/srv/out", "Text1=/srv/out/"}));

    m_writes.clear();
    m_dialogs.folderAnswers.push_back("/");
    button("PushButton6")->click();
    EXPECT_EQ(m_dialogs.lastFolderInitials.last(), "/srv/out");
    EXPECT_EQ(text1()->text(), "/");
    EXPECT_EQ(m_writes, (QStringList{"LastFolderDot=/", "Text1=/"}));

    // Cancelling changes nothing.
    m_writes.clear();
    button("PushButton6")->click();
    EXPECT_EQ(text1()->text(), "/");
    EXPECT_TRUE(m_writes.isEmpty());
    EXPECT_EQ(m_dialogs.messages().size(), 0);
}

TEST_F(FormTest, QuestionMarkExplainsEveryQualityModeWithoutColons) {
    loadForm();
    button("PushButton8")->click();
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text,
              "Smart-Detect will automatically detect the image quality of each input JPG file "
              "and use this information to create a similar quality output JPG file.\r\n\r\n"
              "Fixed Quality will use the same image quality for every output JPG file.\r\n\r\n"
              "Lossless (JPG to JPG) will flip or rotate each input JPG file without re-encoding "
              "it, so the output JPG file loses no quality at all. An input JPG file whose size "
              "does not allow this is re-encoded as Smart-Detect would do it. HEIF and AVIF files "
              "(HEIC photos included) are turned the same way, by the turn and mirror they are "
              "shown with.");
    EXPECT_EQ(m_dialogs.shown[0].title, "Zentavo");
    EXPECT_EQ(m_dialogs.shown[0].icon, MessageIcon::None);

    option("Option22")->setText("Fixed: Quality::");
    button("PushButton8")->click();
    EXPECT_TRUE(m_dialogs.shown[1].text.contains("\r\n\r\nFixed Quality will use"));
}

}  // namespace zentavo::test
