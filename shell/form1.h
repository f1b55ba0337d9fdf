#pragma once

#include "batch/batchrun.h"
#include "batch/joboptions.h"
#include "shell/desktopopener.h"
#include "shell/pointers.h"
#include "shell/timeleft.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace zentavo {

class Dialogs;
class EntryOutcomes;
class FileList;
class FileListDelegate;
class FileListView;
class PreviewPanel;
class Thumbnails;
class SettingsStore;
class StartupObject;

// The controls of the main window, under their designer names (also their object names).
struct Form1Controls {
    FileListView* ListView1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option8 = nullptr;
    QRadioButton* Option9 = nullptr;
    QRadioButton* Option21 = nullptr;
    QRadioButton* Option22 = nullptr;
    QRadioButton* Option23 = nullptr;
    QSlider* Slider1 = nullptr;
    QLineEdit* Text1 = nullptr;
    // Where the outputs go and what they keep: "Keep folder tree", "Keep file dates", and what
    // happens when a result exists (Label1 captions Combo1).
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
};

// The program's one window: the file list, the add and Start buttons, the options panel and the
// progress bar. It holds the live job options the engine reads, drives the engine on Start, and
// shows what the engine reports. Every handler runs on the GUI thread; a run goes on in the event
// loop, so the window stays responsive while it works.
class Form1 : public QWidget, public JobOptions, public RunFrontEnd {
    Q_OBJECT
public:
    // Builds the window with its controls in their initial state; Form_Load restores the user's
    // choices. The dialogs, store and start-up object must outlive the window.
    Form1(Dialogs& dialogs, SettingsStore& settings, StartupObject& imaging,
          QWidget* parent = nullptr);
    ~Form1() override;

    // Prepares the window and restores the user's choices; each failing statement is reported
    // with its number and loading goes on.
    void Form_Load();

    // Where the desktop folder is looked up (the platform's desktop by default); set before
    // Form_Load.
    void setDesktopLocator(std::function<QString()> locator) { m_desktop = std::move(locator); }
    // The folder the skin, pointers and samples are looked for in (the program's folder by
    // default); set before Form_Load.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }
    // How files and folders are handed to the desktop (its own handlers by default); the opener
    // must outlive the window.
    void setDesktopOpener(DesktopOpener& opener) { m_opener = &opener; }

    const Form1Controls& controls() const { return m_ui; }
    FileList& fileList() { return *m_fileList; }
    // The selected entry before and after the operation, in the room a window larger than its
    // default size gives; hidden at the default size.
    PreviewPanel& preview() { return *m_preview; }
    Thumbnails& thumbnails() { return *m_thumbnails; }
    // What each entry became in the last run.
    const EntryOutcomes& outcomes() const { return *m_outcomes; }
    BatchRun& batchRun() { return *m_batch; }
    bool gdiplusFailed() const { return m_gdiplusFailed; }

    // The window's pointer kind; the hourglass marks a long operation under way.
    PointerKind pointer() const { return m_pointer; }
    bool isBusy() const { return m_pointer == PointerKind::Hourglass; }
    void setPointer(PointerKind kind);

    // JobOptions, read live from the controls.
    Operation operation() const override;
    FlipDirection flipDirection() const override;
    QString degrees() const override { return m_degrees; }
    QualityMode qualityMode() const override;
    int sliderValue() const override;
    QString resultsFolder() const override;
    bool keepTree() const override;
    ExistingOutput existingOutput() const override;
    bool keepDates() const override;

    // RunFrontEnd. While a run goes, the progress bar's text adds the time left once
    // TimeLeft::FilesBeforeEstimate files are done; the closing message of a run offers to open
    // the folder its outputs went to.
    void setBusy(bool busy) override;
    void setProgressValue(int value) override;
    void setProgressText(const QString& text) override;
    Dialogs& dialogs() override { return m_dialogs; }
    QString applicationTitle() const override { return m_appTitle; }
    void runStarted(int files, const QString& resultsFolder) override;
    void fileDelivered(const DeliveredFile& file) override;
    void showClosingMessage(const QString& text, MessageIcon icon) override;

    // Thumbnails before the paths of the list, kept under "Thumbnails" ("True" or "False"; off
    // when absent or unreadable).
    void setThumbnailsShown(bool shown);
    bool thumbnailsShown() const;
    // The Delete key: removes every selected entry; nothing while the hourglass shows.
    void removeSelectedEntries();
    // The list's context menu over entry (from 1; 0 over no entry): open the entry's output or
    // the folder it went to, remove the selected entries, show thumbnails.
    std::unique_ptr<QMenu> ListView1_ContextMenu(int entry);

    // The click handlers of the buttons.
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton8_Click();
    void ListView1_DblClick();
    // Paths dropped on the list, in the drop's order: folders are expanded, anything else is
    // appended as dropped.
    void ListView1_OLEDragDrop(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    // Places the preview in the room beyond the default size (hidden when there is too little)
    // and says how much of the extra width the list gives up to it.
    int placePreview(int dx, int dy);
    // Wires the preview, the thumbnails and the outcomes to the list and the options.
    void connectPictures();
    // The preview follows the chosen entry; the thumbnails the entries in view.
    void previewChosenEntry();
    void wantThumbnails();
    // The progress bar's caption with the time left, if known.
    void showProgressCaption();
    // Gives the frames and option buttons their background and the matching text colour.
    void paintPanels();
    void connectOptionHandlers();
    void watchPointer();
    // Restores an option button from its key; throws when the stored text does not convert.
    void restoreOption(QRadioButton* option, const char* key, int fallback);
    void Form_QueryUnload();
    // Serves the window's pending events during a folder walk; false once the window is closing,
    // which ends the walk.
    bool serveWindowEvents();

    void Option8_Click();
    void Option9_Click();
    void Option1_Click();
    void Option3_Click(const char* degrees);
    // Writes the quality group's keys, "Option21", "Option22", then "Option23".
    void saveQualityOptions();
    void Option21_Click();
    void Option22_Click();
    void Option23_Click();
    void Slider1_Change();
    void Text1_Change();
    void Check1_Click();
    void Check2_Click();
    void Combo1_Click();

    bool m_restoringQuality = false;  // Form_Load is restoring the quality group
    Dialogs& m_dialogs;
    SettingsStore& m_settings;
    StartupObject& m_imaging;
    Form1Controls m_ui;
    FileList* m_fileList = nullptr;
    std::unique_ptr<BatchRun> m_batch;
    std::function<QString()> m_desktop;
    QtDesktopOpener m_desktopOpener;
    DesktopOpener* m_opener = &m_desktopOpener;
    PreviewPanel* m_preview = nullptr;
    Thumbnails* m_thumbnails = nullptr;
    EntryOutcomes* m_outcomes = nullptr;
    FileListDelegate* m_listDelegate = nullptr;
    bool m_rowsWithoutMarks = true;  // the rows are laid out with no room for outcome marks
    QTimer m_thumbnailsDue;  // the entries in view are told to the thumbnails once per change
    QString m_progressCaption = QStringLiteral("Progress Bar");
    TimeLeft m_timeLeft;
    QElapsedTimer m_clock;
    QTimer m_timeLeftTick;     // the time left counts down between files
    bool m_runEnding = false;  // a run started: its closing message offers the folder
    QString m_runFolder;       // where the run's outputs went
    QString m_programFolder;
    QString m_appTitle;
    QString m_degrees = QStringLiteral("-90");
    QString m_browseStart;
    bool m_gdiplusFailed = false;
    bool m_imagingStarted = false;
    bool m_closing = false;
    bool m_skinned = false;  // the skin file was applied at load
    bool m_paintingPanels = false;
    PointerKind m_pointer = PointerKind::Default;
    std::optional<QCursor> m_customPointer;
};

}  // namespace zentavo
