#include "shell/form1.h"

#include "filelist/filelist.h"
#include "filelist/pathroutines.h"
#include "report/errorreport.h"
#include "report/zentavoerror.h"
#include "shell/filelistview.h"
#include "shell/mainroutines.h"
#include "shell/settingsstore.h"
#include "shell/startupobject.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace zentavo {

namespace {

constexpr int ColumnWidthTwips = 7000;

QIcon programIcon(const QString& programFolder) {
    QIcon icon;
    for (const char* name : {"zentavo.png", "zentavo-48.png", "zentavo-256.png"}) {
        const QString path = programFolder + QLatin1Char('/') + QLatin1String(name);
        if (QFileInfo::exists(path)) {
            icon.addFile(path);
        }
    }
    return icon.isNull() ? QIcon::fromTheme(QStringLiteral("zentavo")) : icon;
}

}  // namespace

Form1::Form1(Dialogs& dialogs, SettingsStore& settings, StartupObject& imaging, QWidget* parent)
    : QWidget(parent),
      m_dialogs(dialogs),
      m_settings(settings),
      m_imaging(imaging),
      m_desktop(&SpecialFolderPath),
      m_programFolder(QCoreApplication::applicationDirPath()) {
    buildLayout();
    m_batch = std::make_unique<BatchRun>(*this, *this);
    // While a run goes the Start button stops it.
    connect(m_batch.get(), &BatchRun::finished, this,
            [this] { m_ui.PushButton2->setText(QStringLiteral("Start Flipping or Rotating")); });
    connectOptionHandlers();
    watchPointer();
    connect(m_ui.PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(m_ui.PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(m_ui.PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(m_ui.PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    // Queued, so the drag source hears the drop is done before a dropped folder is expanded.
    connect(m_ui.ListView1, &FileListView::pathsDropped, this, &Form1::ListView1_OLEDragDrop,
            Qt::QueuedConnection);
    connect(m_ui.PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(m_ui.ListView1, &FileListView::doubleClickedList, this, &Form1::ListView1_DblClick);
    connect(m_ui.ListView1, &FileListView::deletePressed, this, &Form1::removeSelectedEntries);
    connectPictures();
    connect(m_ui.ListView1, &FileListView::pointerMoved, this, [this] {
        if (!isBusy()) {
            setPointer(PointerKind::Default);
        }
    });
}

Form1::~Form1() {
    // The run reports to this window; end it while the window is still whole.
    m_batch.reset();
}

void Form1::Form_Load() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.Form_Load "));
    guard.step(100, [&] { m_skinned = ApplySkin(*this, m_programFolder); });
    guard.step(102, [&] {
        setWindowTitle(QLatin1String(ProductName));
        setWindowIcon(programIcon(m_programFolder));
        m_appTitle = SetAppTitle(QLatin1String(ProductName));
    });
    const QString handPointer = m_programFolder + QStringLiteral("/HAND-M.CUR");
    if (guard.test(104, [&] { return PathExists(handPointer); })) {
        guard.step(106, [&] {
            m_customPointer = loadPointerFile(handPointer);
            if (!m_customPointer) {
                throw ZentavoError(ErrorNumber::InvalidPicture, QStringLiteral("Invalid picture"));
            }
        });
    }
    m_ui.ListView1->setDragPointerFile(m_programFolder + QStringLiteral("/drag.ico"));
    guard.step(132, [&] { m_ui.ListView1->columns().addColumn(QStringLiteral("Image File(s)")); });
    guard.step(134, [&] { m_ui.ListView1->setColumnWidth(0, qRound(ColumnWidthTwips / 15.0)); });

    guard.step(136, [&] { restoreOption(m_ui.Option1, "Option1", 1); });
    guard.step(138, [&] { restoreOption(m_ui.Option2, "Option2", 0); });
    guard.step(140, [&] { restoreOption(m_ui.Option3, "Option3", 0); });
    guard.step(142, [&] { restoreOption(m_ui.Option4, "Option4", 1); });
    guard.step(144, [&] { restoreOption(m_ui.Option5, "Option5", 0); });
    guard.step(146, [&] { restoreOption(m_ui.Option8, "Option8", 1); });
    guard.step(148, [&] { restoreOption(m_ui.Option9, "Option9", 0); });
    // Until "Option23" is restored, the clicks its neighbours raise must not overwrite it.
    m_restoringQuality = true;
    guard.step(150, [&] { restoreOption(m_ui.Option21, "Option21", 1); });
    guard.step(152, [&] { restoreOption(m_ui.Option22, "Option22", 0); });
    // The lossless mode joined the quality group later; its restore shares the group's last
    // statement number, so the numbers after it keep their meaning.
    guard.step(152, [&] { restoreOption(m_ui.Option23, "Option23", 0); });
    m_restoringQuality = false;

    guard.step(154, [&] {
        const int value = settingToInt32(m_settings.GetSetting(QStringLiteral("Slider1"), 85));
        // The slider refuses a position outside its range rather than clamping it silently.
        if (value < m_ui.Slider1->minimum() || value > m_ui.Slider1->maximum()) {
            throw ZentavoError(ErrorNumber::InvalidPropertyValue,
                               QStringLiteral("Invalid property value"));
        }
        m_ui.Slider1->setValue(value);
    });
    guard.step(156, [&] {
        m_ui.Frame3->setTitle(QString::number(m_ui.Slider1->value()) + QLatin1Char('%'));
    });
    if (guard.test(158, [&] { return m_ui.Option21->isChecked(); })) {
        guard.step(160, [&] { m_ui.Frame3->setEnabled(false); });
    } else if (guard.test(162, [&] { return m_ui.Option22->isChecked(); })) {
        guard.step(164, [&] { m_ui.Frame3->setEnabled(true); });
    }
    guard.step(166, [&] { m_degrees = m_settings.GetSetting(QStringLiteral("Degrees"), -90); });

    if (guard.test(168, [&] { return !m_imaging.start(); })) {
        guard.step(170, [&] {
            m_dialogs.message(QStringLiteral("GDI+ Initialization Failed."), m_appTitle,
                              MessageIcon::Exclamation);
        });
        guard.step(172, [&] {
            m_gdiplusFailed = true;
            m_batch->setImagingFailed(true);
        });
    } else {
        guard.step(174, [&] { m_imagingStarted = true; });
    }
    guard.step(176, [&] {
        m_ui.Text1->setText(
            m_settings.GetSetting(QStringLiteral("Text1"), DefaultResultsFolder(m_desktop())));
    });
    // The output choices came after the others: their restores follow the last statement, so
    // the numbers before keep their meaning.
    guard.step(178, [&] {
        m_ui.Check1->setChecked(
            settingToBoolean(m_settings.GetSetting(QStringLiteral("Check1"), 0)));
    });
    guard.step(180, [&] {
        m_ui.Check2->setChecked(
            settingToBoolean(m_settings.GetSetting(QStringLiteral("Check2"), 0)));
    });
    guard.step(182, [&] {
        const int index = settingToInt32(m_settings.GetSetting(QStringLiteral("Combo1"), 0));
        if (index < 0 || index >= m_ui.Combo1->count()) {
            throw ZentavoError(ErrorNumber::InvalidPropertyValue,
                               QStringLiteral("Invalid property value"));
        }
        m_ui.Combo1->setCurrentIndex(index);
    });
    // Thumbnails came later and are a matter of taste: a value that does not read leaves them
    // off rather than reporting an error at start.
    try {
        setThumbnailsShown(
            settingToBoolean(m_settings.GetSetting(QStringLiteral("Thumbnails"), 0)));
    } catch (const ZentavoError&) {
        setThumbnailsShown(false);
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    m_closing = true;
    // An error report of the run may be up: it goes with the window.
    m_dialogs.closeReports();
    Form_QueryUnload();
    event->accept();
    // Form_Unload: closing the window ends the program, whatever else is open.
    QCoreApplication::quit();
}

void Form1::Form_QueryUnload() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.Form_QueryUnload "));
    if (guard.test(100, [&] { return m_batch->isRunning(); })) {
        // The files in flight are abandoned and stop at their next check; the engine leaves no
        // partial or temporary file, and the program waits for them only after the window
        // has gone.
        guard.step(102, [&] { m_batch->cancel(); });
        guard.step(104, [&] { setBusy(false); });
    }
    guard.step(106, [&] {
        if (m_imagingStarted) {
            m_imagingStarted = false;
            m_imaging.end();
        }
    });
}

void Form1::setPointer(PointerKind kind) {
    m_pointer = kind;
    switch (kind) {
        case PointerKind::Hourglass:
            setCursor(Qt::WaitCursor);
            break;
        case PointerKind::Custom:
            // Without a pointer picture the custom pointer is the ordinary one.
            setCursor(m_customPointer ? *m_customPointer : QCursor(Qt::ArrowCursor));
            break;
        case PointerKind::Default:
        case PointerKind::Arrow:
            setCursor(Qt::ArrowCursor);
            break;
    }
}

Operation Form1::operation() const {
    if (m_ui.Option8->isChecked()) {
        return Operation::Flip;
    }
    return m_ui.Option9->isChecked() ? Operation::Rotate : Operation::None;
}

FlipDirection Form1::flipDirection() const {
    if (m_ui.Option1->isChecked()) {
        return FlipDirection::Horizontal;
    }
    return m_ui.Option2->isChecked() ? FlipDirection::Vertical : FlipDirection::None;
}

QualityMode Form1::qualityMode() const {
    if (m_ui.Option22->isChecked()) {
        return QualityMode::Fixed;
    }
    if (m_ui.Option23->isChecked()) {
        return QualityMode::Lossless;
    }
    return m_ui.Option21->isChecked() ? QualityMode::SmartDetect : QualityMode::None;
}

int Form1::sliderValue() const {
    return m_ui.Slider1->value();
}

QString Form1::resultsFolder() const {
    // The box keeps what was typed; "~/" stands for the home folder, as in a shell.
    const QString typed = m_ui.Text1->text();
    if (typed.startsWith(QLatin1String("~/"))) {
        return QDir::homePath() + typed.mid(1);
    }
    return typed;
}

bool Form1::keepTree() const {
    return m_ui.Check1->isChecked();
}

ExistingOutput Form1::existingOutput() const {
    switch (m_ui.Combo1->currentIndex()) {
        case 1:
            return ExistingOutput::Skip;
        case 2:
            return ExistingOutput::KeepBoth;
        default:
            return ExistingOutput::Replace;
    }
}

bool Form1::keepDates() const {
    return m_ui.Check2->isChecked();
}

void Form1::PushButton2_Click() {
    if (m_batch->isRunning()) {
        m_batch->stop();
        return;
    }
    m_batch->PushButton2_Click(*m_fileList);
    if (m_batch->isRunning()) {
        m_ui.PushButton2->setText(QStringLiteral("Stop"));
    }
}

void Form1::PushButton4_Click() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.PushButton4_Click "));
    guard.step(100, [&] {
        if (!isBusy()) {
            m_fileList->clear();
        }
    });
}

void Form1::removeSelectedEntries() {
    if (isBusy()) {
        return;
    }
    // From the bottom up, each run of neighbours in one go, so the places above stay true.
    const QList<int> entries = m_ui.ListView1->selectedEntries();
    for (qsizetype i = entries.size() - 1; i >= 0;) {
        qsizetype first = i;
        while (first > 0 && entries[first - 1] == entries[first] - 1) {
            --first;
        }
        m_fileList->removeRows(entries[first] - 1, int(i - first + 1));
        i = first - 1;
    }
}

void Form1::ListView1_DblClick() {
    if (isBusy() || m_fileList->count() < 1) {
        return;
    }
    const int selected = m_ui.ListView1->selectedEntry();
    if (selected > 0) {
        m_fileList->remove(selected);
    }
}

}  // namespace zentavo
