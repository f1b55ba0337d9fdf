// Loading the window: what a first start shows, what a later start restores, and how a stored
// value that does not convert is reported.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "shell/filelistview.h"
#include "shell/mainroutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>

namespace zentavo::test {

namespace {

bool enabled(QWidget* widget) {
    return widget->isEnabledTo(widget->window());
}

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// The colour an option button paints at the right end of its box, clear of its caption.
QColor paintedBehind(QWidget* option) {
    const QImage picture = option->grab().toImage();
    return picture.pixelColor(picture.width() - 2, picture.height() / 2);
}

}  // namespace

TEST_F(FormTest, FirstStartShowsTheDefaultsAndWritesOnlyTheResultsFolder) {
    Form1& form = loadForm();
    const QString desktop = SpecialFolderPath();

    EXPECT_EQ(form.windowTitle(), "Zentavo");
    EXPECT_EQ(form.applicationTitle(), "Zentavo");
    EXPECT_EQ(form.size(), QSize(1064, 534));
    FileListView* list = form.controls().ListView1;
    ASSERT_EQ(list->model()->columnCount(), 1);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), "Image File(s)");
    EXPECT_EQ(list->header()->sectionSize(0), 467);
    EXPECT_EQ(list->toolTip(),
              "Drag and drop files here. Double-click item to remove it. Move | line to right and "
              "out of window to reveal full names.");
    EXPECT_EQ(list->font().family(), "Arial");
    EXPECT_TRUE(list->font().bold());
    EXPECT_DOUBLE_EQ(list->font().pointSizeF(), 9.0);
    EXPECT_DOUBLE_EQ(form.controls().PushButton2->font().pointSizeF(), 11.25);
    EXPECT_EQ(form.controls().PushButton2->text(), "Start Flipping or Rotating");

    EXPECT_TRUE(option("Option8")->isChecked());
    EXPECT_FALSE(option("Option9")->isChecked());
    EXPECT_TRUE(option("Option1")->isChecked());
    EXPECT_TRUE(option("Option4")->isChecked());
    EXPECT_TRUE(option("Option21")->isChecked());
    EXPECT_TRUE(enabled(option("Option1")));
    EXPECT_TRUE(enabled(option("Option2")));
    for (const char* rotation : {"Option3", "Option4", "Option5"}) {
        EXPECT_FALSE(enabled(option(rotation))) << rotation;
    }
    EXPECT_FALSE(enabled(slider()));
    EXPECT_EQ(frame("Frame3")->title(), "85%");
    EXPECT_EQ(slider()->value(), 85);
    EXPECT_EQ(form.degrees(), "-90");
    EXPECT_EQ(form.operation(), Operation::Flip);
    EXPECT_EQ(form.flipDirection(), FlipDirection::Horizontal);
    EXPECT_EQ(form.qualityMode(), QualityMode::SmartDetect);
    EXPECT_EQ(text1()->text(), desktop + "/");
    EXPECT_EQ(form.controls().ProgressBar1->text(), "Progress Bar");

    EXPECT_EQ(m_writes, QStringList{"Text1=" + desktop + "/"});
    EXPECT_TRUE(m_dialogs.shown.empty());
    EXPECT_EQ(m_startup.starts, 1);
    EXPECT_FALSE(form.gdiplusFailed());
}

TEST_F(FormTest, LaterStartRestoresRotationFixedQualityAndTheFolder) {
    storeValue("Option8", "False");
    storeValue("Option9", "True");
    storeValue("Option3", "False");
    storeValue("Option4", "false");
    storeValue("Option5", "TRUE");
    storeValue("Degrees", "-270");
    storeValue("Option21", "0");
    storeValue("Option22", "-1");
    storeValue("Slider1", "40");
    storeValue("Text1", "/srv/out/");
    Form1& form = loadForm();

    EXPECT_TRUE(option("Option9")->isChecked());
    EXPECT_FALSE(option("Option8")->isChecked());
    EXPECT_TRUE(option("Option5")->isChecked());
    EXPECT_FALSE(option("Option4")->isChecked());
    EXPECT_FALSE(enabled(option("Option1")));
    EXPECT_FALSE(enabled(option("Option2")));
    EXPECT_TRUE(enabled(option("Option5")));
    EXPECT_TRUE(option("Option22")->isChecked());
    EXPECT_TRUE(enabled(slider()));
    EXPECT_EQ(slider()->value(), 40);
    EXPECT_EQ(frame("Frame3")->title(), "40%");
    EXPECT_EQ(form.degrees(), "-270");
    EXPECT_EQ(form.operation(), Operation::Rotate);
    EXPECT_EQ(form.qualityMode(), QualityMode::Fixed);
    EXPECT_EQ(form.sliderValue(), 40);
    EXPECT_EQ(form.resultsFolder(), "/srv/out/");
    // Restoring a selection raises its click, which writes the values just read back.
    EXPECT_TRUE(m_writes.contains("Option9=True"));
    EXPECT_EQ(storedValue("Option8"), "False");
    EXPECT_TRUE(m_dialogs.shown.empty());
}

TEST_F(FormTest, LosslessModeIsRestoredAfterFixedQualityAndSitsRightOfSmartDetect) {
    storeValue("Option21", "False");
    storeValue("Option22", "True");
    storeValue("Option23", "True");
    storeValue("Slider1", "40");
    Form1& form = loadForm();

    EXPECT_TRUE(option("Option23")->isChecked());
    EXPECT_FALSE(option("Option22")->isChecked());
    EXPECT_FALSE(enabled(slider()));
    EXPECT_EQ(frame("Frame3")->title(), "40%");
    EXPECT_EQ(form.qualityMode(), QualityMode::Lossless);
    EXPECT_EQ(storedValue("Option22"), "False");
    EXPECT_FALSE(option("Option23")->toolTip().isEmpty());

    QRadioButton* smart = option("Option21");
    QRadioButton* lossless = option("Option23");
    EXPECT_EQ(lossless->parentWidget(), frame("Frame5"));
    EXPECT_EQ(lossless->y(), smart->y());
    EXPECT_GT(lossless->x(), smart->geometry().right());
    EXPECT_LT(lossless->geometry().right(), button("PushButton8")->x());
    EXPECT_GE(lossless->width(), lossless->sizeHint().width());
}

TEST_F(FormTest, NeitherQualityOptionStoredLeavesNoneSelected) {
    storeValue("Option21", "False");
    storeValue("Option22", "False");
    Form1& form = loadForm();
    EXPECT_FALSE(option("Option21")->isChecked());
    EXPECT_FALSE(option("Option22")->isChecked());
    EXPECT_EQ(form.qualityMode(), QualityMode::None);
    // Neither branch of the load touches the quality frame, so it keeps its initial state.
    EXPECT_TRUE(enabled(slider()));
}

TEST_F(FormTest, StoredValuesThatDoNotConvertAreReportedAtTheirStatement) {
    storeValue("Option9", "Perhaps");
    storeValue("Slider1", "forty");
    Form1& form = loadForm();

    const QStringList messages = m_dialogs.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].section("\r\r", 0, 0),
              "Type mismatch\r\nin Zentavo2021/08/31.Form1.Form_Load at line 148");
    EXPECT_EQ(messages[1].section("\r\r", 0, 0),
              "Type mismatch\r\nin Zentavo2021/08/31.Form1.Form_Load at line 154");
    EXPECT_EQ(m_dialogs.shown[0].title, "Application Error");
    EXPECT_EQ(m_dialogs.shown[0].icon, MessageIcon::Exclamation);
    // Loading went on: the controls keep their initial states, later statements ran.
    EXPECT_TRUE(option("Option8")->isChecked());
    EXPECT_EQ(slider()->value(), 85);
    EXPECT_EQ(frame("Frame3")->title(), "85%");
    EXPECT_FALSE(text1()->text().isEmpty());
    EXPECT_EQ(form.degrees(), "-90");
}

TEST_F(FormTest, SliderPositionOutsideItsRangeIsReportedNotClamped) {
    storeValue("Slider1", "250");
    loadForm();
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages()[0].startsWith(
        "Invalid property value\r\nin Zentavo2021/08/31.Form1.Form_Load at line 154"));
    EXPECT_EQ(slider()->value(), 85);
}

TEST_F(FormTest, MissingDesktopIsReportedAtStatement176AndLeavesTheFolderEmpty) {
    storeValue("Text1", "/srv/out/");
    m_settings = std::make_unique<SettingsStore>();
    m_form = std::make_unique<Form1>(m_dialogs, *m_settings, m_startup);
    m_form->setDesktopLocator([] { return QString(); });
    m_form->Form_Load();
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages()[0].contains("Form_Load at line 176"));
    EXPECT_EQ(text1()->text(), "");
    EXPECT_EQ(storedValue("Text1"), "/srv/out/");
}

TEST_F(FormTest, FirstStartWithoutADesktopFolderOffersOneThatExists) {
    // The desktop as the user's desktop names it, then the pictures folder, then home.
    struct Case {
        QStringList folders;
        QString expected;
    };
    const Case table[] = {
        {{"Schreibtisch", "Pictures"}, "Schreibtisch"},
        {{"Desktop", "Pictures"}, "Pictures"},
        {{}, ""},
    };
    for (const Case& c : table) {
        QTemporaryDir home;
        SCOPED_TRACE(c.folders.join(' ').toStdString());
        ASSERT_TRUE(QDir(home.path()).mkpath(".config"));
        writeFile(home.filePath(".config/user-dirs.dirs"),
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
        for (const QString& folder : c.folders) {
            // "Desktop" stands for a folder that the desktop does not call its own.
            ASSERT_TRUE(QDir(home.path()).mkpath(folder));
        }
        const ScopedVariable homeVariable("HOME", QFile::encodeName(home.path()));
        const ScopedVariable config("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
        m_dialogs.shown.clear();
        m_writes.clear();
        loadForm();
        const QString folder = c.expected.isEmpty() ? home.path() : home.filePath(c.expected);
        EXPECT_EQ(text1()->text(), folder + "/");
        EXPECT_TRUE(m_dialogs.shown.empty());
        m_form.reset();
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Corvanta", "Zentavo").clear();
    }
}

TEST_F(FormTest, ResizedWindowGivesTheListTheRoomAndKeepsTheFramesAtTheRightEdge) {
    Form1& form = loadForm();
    const Form1Controls& ui = form.controls();
    const QRect frame6 = ui.Frame6->geometry();
    const QRect list = ui.ListView1->geometry();
    const QRect bar = ui.ProgressBar1->geometry();
    const int column = ui.ListView1->columnWidth(0);
    form.resize(1600, 1000);
    QCoreApplication::processEvents();
    ASSERT_EQ(form.size(), QSize(1600, 1000));
    const int dx = 1600 - 1064;
    const int dy = 1000 - 534;
    for (QWidget* frame : {static_cast<QWidget*>(ui.Frame6), static_cast<QWidget*>(ui.Frame5),
                           static_cast<QWidget*>(ui.Frame1)}) {
        EXPECT_EQ(frame->width(), 520) << frame->objectName().toStdString();  // 7800 twips
        EXPECT_EQ(frame->geometry().right(), frame6.right() + dx);
    }
    EXPECT_EQ(ui.Frame6->y(), frame6.y());
    EXPECT_EQ(ui.ListView1->geometry(), list.adjusted(0, 0, dx, dy));
    EXPECT_EQ(ui.ListView1->columnWidth(0), column + dx);
    EXPECT_EQ(ui.ProgressBar1->geometry(), bar.translated(dx, dy));
    EXPECT_EQ(ui.PushButton4->geometry().bottom(), ui.ProgressBar1->geometry().bottom());
    EXPECT_EQ(ui.PushButton5->geometry().right(), ui.ListView1->geometry().right());
    EXPECT_EQ(ui.ListView1->textElideMode(), Qt::ElideMiddle);

    // Back at its default size every control stands where it was drawn.
    form.resize(1064, 534);
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.Frame6->geometry(), frame6);
    EXPECT_EQ(ui.ListView1->geometry(), list);
    EXPECT_EQ(ui.ListView1->columnWidth(0), column);
}

TEST_F(FormTest, TheSmallestWindowFitsA1024By600ScreenWithTheListGivingUpTheRoom) {
    Form1& form = loadForm();
    const Form1Controls& ui = form.controls();
    // Where each control of the window stands.
    const auto places = [&form] {
        const QRegularExpression designerName(
            "^(ListView1|PushButton\\d|Frame\\d|Option\\d+|Slider1|Text1|ProgressBar1)$");
        QMap<QString, QRect> places;
        for (QWidget* widget : form.findChildren<QWidget*>(designerName)) {
            places[widget->objectName()] = widget->geometry();
        }
        return places;
    };
    const QMap<QString, QRect> drawn = places();
    ASSERT_EQ(drawn.size(), 27);
    // Room is left for a title bar, a panel and the window's borders.
    EXPECT_LE(form.minimumWidth(), 1024 - 24);
    EXPECT_LE(form.minimumHeight(), 600 - 90);
    form.resize(form.minimumSize());
    QCoreApplication::processEvents();
    ASSERT_EQ(form.size(), form.minimumSize());

    // The option frames keep their width at the right edge; the list gives up the width.
    const int narrower = 1064 - form.width();
    EXPECT_EQ(ui.ListView1->width(), 520 - narrower);
    for (QWidget* frame :
         {static_cast<QWidget*>(ui.Frame6), static_cast<QWidget*>(ui.Frame5),
          static_cast<QWidget*>(ui.Frame1), static_cast<QWidget*>(ui.PushButton2)}) {
        EXPECT_EQ(frame->width(), 520) << frame->objectName().toStdString();
        EXPECT_EQ(frame->geometry().right(), form.width() - 9);
    }
    // The buttons under the list still show their whole captions.
    for (QPushButton* b : {ui.PushButton1, ui.PushButton3, ui.PushButton4, ui.PushButton5}) {
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
    }
    // Nothing leaves its container or lies over a neighbour: the window's controls, and the
    // controls inside each frame.
    std::function<void(QWidget*)> noOverlaps = [&](QWidget* container) {
        QList<QWidget*> children;
        for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->objectName().isEmpty() && child->isVisibleTo(&form)) {
                children << child;
            }
        }
        for (QWidget* child : children) {
            EXPECT_TRUE(container->rect().contains(child->geometry()))
                << child->objectName().toStdString() << " leaves "
                << container->objectName().toStdString();
            for (QWidget* other : children) {
                EXPECT_TRUE(child == other || !child->geometry().intersects(other->geometry()))
                    << child->objectName().toStdString() << " lies over "
                    << other->objectName().toStdString();
            }
            if (qobject_cast<QGroupBox*>(child)) {
                noOverlaps(child);
            }
        }
    };
    noOverlaps(&form);

    // At the default size again, every control stands where it was drawn.
    form.resize(1064, 534);
    QCoreApplication::processEvents();
    EXPECT_EQ(places(), drawn);
}

TEST_F(FormTest, OptionButtonsAreWhiteOnTheirFramesOrTakeTheSkinsButtonFace) {
    loadForm();
    EXPECT_EQ(paintedBehind(option("Option8")), QColor(Qt::white));
    EXPECT_EQ(paintedBehind(option("Option21")), QColor(Qt::white));
    // The frame around them is as white inside as its background, with no tinted panel.
    EXPECT_EQ(frame("Frame6")->grab().toImage().pixelColor(8, 60), QColor(Qt::white));

    m_programFolder = m_dir.filePath("skinned");
    ASSERT_TRUE(QDir(m_programFolder).mkpath("x"));
    writeFile(m_programFolder + "/x/o.cjs", "QPushButton { color: navy; }");
    loadForm();
    const QColor face = m_form->palette().color(QPalette::Button);
    ASSERT_NE(face, QColor(Qt::white));
    EXPECT_EQ(paintedBehind(option("Option8")), face);
}

TEST_F(FormTest, FailingImagingStartUpIsShownOnceAndRefusesRuns) {
    m_startup.succeeds = false;
    Form1& form = loadForm();
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, "GDI+ Initialization Failed.");
    EXPECT_EQ(m_dialogs.shown[0].title, "Zentavo");
    EXPECT_EQ(m_dialogs.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(form.gdiplusFailed());
    // The window still loaded completely.
    EXPECT_FALSE(text1()->text().isEmpty());

    text1()->setText(m_dir.path());
    form.fileList().append(QStringLiteral("/nowhere/a.jpg"));
    form.PushButton2_Click();
    form.batchRun().waitForFinished();
    EXPECT_EQ(m_dialogs.messages().size(), 2);
    EXPECT_EQ(m_dialogs.messages().last(), "GDI+ Initialization Failed.");
}

TEST_F(FormTest, ClosingEndsTheImagingLayerOnce) {
    Form1& form = loadForm();
    form.close();
    EXPECT_EQ(m_startup.ends, 1);
    EXPECT_TRUE(m_dialogs.shown.empty());
}

}  // namespace zentavo::test
