// The window's pictures: the preview of the chosen entry, the thumbnails of the list, what each
// entry became, and the list's context menu that reaches them.
#include "shell/form1.h"

#include "filelist/filelist.h"
#include "shell/entryoutcomes.h"
#include "shell/filelistdelegate.h"
#include "shell/filelistview.h"
#include "shell/previewpanel.h"
#include "shell/settingsstore.h"
#include "shell/thumbnails.h"

#include <QFileInfo>
#include <QMenu>
#include <QRadioButton>

namespace zentavo {

void Form1::connectPictures() {
    m_outcomes = new EntryOutcomes(*m_fileList, this);
    m_thumbnails = new Thumbnails(this);
    m_listDelegate = new FileListDelegate(*m_outcomes, *m_thumbnails, m_ui.ListView1);
    m_ui.ListView1->setItemDelegate(m_listDelegate);
    m_ui.ListView1->columns().setOutcomes(m_outcomes);
    connect(m_outcomes, &EntryOutcomes::changed, this, [this] {
        // The first mark takes room before the paths and the last gives it back: only then are
        // the rows laid out anew, not once for each file of a long run.
        if (m_outcomes->isEmpty() != m_rowsWithoutMarks) {
            m_rowsWithoutMarks = m_outcomes->isEmpty();
            m_ui.ListView1->doItemsLayout();
        }
        m_ui.ListView1->viewport()->update();
    });
    connect(m_thumbnails, &Thumbnails::updated, m_ui.ListView1->viewport(),
            qOverload<>(&QWidget::update));

    // The entries in view change many times in one scroll; they are told once it has been
    // painted.
    m_thumbnailsDue.setSingleShot(true);
    m_thumbnailsDue.setInterval(0);
    connect(&m_thumbnailsDue, &QTimer::timeout, this, &Form1::wantThumbnails);
    connect(m_ui.ListView1, &FileListView::viewChanged, &m_thumbnailsDue,
            qOverload<>(&QTimer::start));

    connect(m_ui.ListView1, &FileListView::contextMenuAsked, this,
            [this](int entry, const QPoint& at) { ListView1_ContextMenu(entry)->exec(at); });

    m_preview = new PreviewPanel(*this, this);
    m_preview->setObjectName(QStringLiteral("PreviewPanel"));
    m_preview->hide();
    connect(m_ui.ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::previewChosenEntry);
    connect(m_ui.ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Form1::previewChosenEntry);
    // A drag moves texts under the selection; the preview follows the text.
    connect(m_fileList, &FileList::dataChanged, this, &Form1::previewChosenEntry);
    connect(m_fileList, &FileList::modelReset, this, &Form1::previewChosenEntry);
    connect(m_fileList, &FileList::rowsRemoved, this, &Form1::previewChosenEntry);
    // The after picture follows the operation and the rotation as they are chosen.
    for (QRadioButton* option : {m_ui.Option8, m_ui.Option9, m_ui.Option1, m_ui.Option2,
                                 m_ui.Option3, m_ui.Option4, m_ui.Option5}) {
        connect(option, &QRadioButton::toggled, m_preview, [this](bool selected) {
            if (selected) {
                m_preview->optionsChanged();
            }
        });
    }
}

void Form1::previewChosenEntry() {
    const int entry = m_ui.ListView1->chosenEntry();
    m_preview->showEntry(entry > 0 ? m_fileList->text(entry) : QString());
}

void Form1::setThumbnailsShown(bool shown) {
    m_listDelegate->setThumbnailsShown(shown);
    m_thumbnails->setDevicePixelRatio(m_ui.ListView1->devicePixelRatioF());
    // The rows change height.
    m_ui.ListView1->doItemsLayout();
    m_ui.ListView1->viewport()->update();
    wantThumbnails();
}

bool Form1::thumbnailsShown() const {
    return m_listDelegate->thumbnailsShown();
}

void Form1::wantThumbnails() {
    m_thumbnails->setWanted(thumbnailsShown() ? m_ui.ListView1->visiblePaths() : QStringList());
}

std::unique_ptr<QMenu> Form1::ListView1_ContextMenu(int entry) {
    auto menu = std::make_unique<QMenu>(this);
    const EntryOutcome* outcome = entry > 0 ? m_outcomes->outcome(entry - 1) : nullptr;
    const QString output = outcome ? outcome->outputPath : QString();
    const QString folder = output.isEmpty() ? QString() : QFileInfo(output).absolutePath();

    QAction* open = menu->addAction(QStringLiteral("Open Output"), this,
                                    [this, output] { m_opener->openFile(output); });
    // An output a skipping run found in place is as much there to open as one it wrote.
    open->setEnabled(outcome &&
                     (outcome->outcome == FileOutcome::Written ||
                      outcome->outcome == FileOutcome::ResultExists) &&
                     QFileInfo(output).isFile());
    open->setObjectName(QStringLiteral("openOutput"));
    QAction* reveal = menu->addAction(QStringLiteral("Open Output Folder"), this,
                                      [this, folder] { m_opener->openFolder(folder); });
    reveal->setEnabled(!folder.isEmpty() && QFileInfo(folder).isDir());
    reveal->setObjectName(QStringLiteral("openOutputFolder"));
    menu->addSeparator();
    QAction* remove = menu->addAction(QStringLiteral("Remove Selected Entries"), this,
                                      &Form1::removeSelectedEntries);
    remove->setShortcut(QKeySequence::Delete);
    remove->setEnabled(!isBusy() && !m_ui.ListView1->selectedEntries().isEmpty());
    remove->setObjectName(QStringLiteral("removeSelected"));
    QAction* thumbnails = menu->addAction(QStringLiteral("Show Thumbnails"));
    thumbnails->setCheckable(true);
    thumbnails->setChecked(thumbnailsShown());
    thumbnails->setObjectName(QStringLiteral("showThumbnails"));
    connect(thumbnails, &QAction::toggled, this, [this](bool shown) {
        m_settings.SaveSetting(QStringLiteral("Thumbnails"), settingText(shown));
        setThumbnailsShown(shown);
    });
    return menu;
}

}  // namespace zentavo
