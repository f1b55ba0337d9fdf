#pragma once

#include "batch/batchrun.h"
#include "batch/joboptions.h"
#include "shell/pointers.h"

#include <QCursor>
#include <QString>
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
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace zentavo {

class Dialogs;
class FileList;
class FileListView;
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
    // How a folder is shown in the desktop's file manager (QDesktopServices by default); the
    // answer is not used.
    void setFolderOpener(std::function<void(const QString& folder)> opener) {
        m_openFolder = std::move(opener);
    }

    const Form1Controls& controls() const { return m_ui; }
    FileList& fileList() { return *m_fileList; }
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

    // RunFrontEnd.
    void setBusy(bool busy) override;
    void setProgressValue(int value) override;
    void setProgressText(const QString& text) override;
    Dialogs& dialogs() override { return m_dialogs; }
    QString applicationTitle() const override { return m_appTitle; }
    void showClosingMessage(const QString& text, MessageIcon icon) override;

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
    std::function<void(const QString&)> m_openFolder;
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
