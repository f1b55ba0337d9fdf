// Filling the list: the Open dialog, files and folders dropped on the list, the sample pictures
// and the scan of a folder tree for one extension.
#include "shell/form1.h"

#include "batch/naming.h"
#include "filelist/filelist.h"
#include "filelist/folderfiles.h"
#include "filelist/listfiles.h"
#include "filelist/pathroutines.h"
#include "filelist/subdirectories.h"
#include "report/dialogs.h"
#include "report/errorreport.h"
#include "shell/mainroutines.h"
#include "shell/settingsstore.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace zentavo {

namespace {

// The room the Open dialog has for its answer: the folder, then each name, NUL-separated, and
// the terminating NUL.
constexpr int OpenDialogResultLimit = 30000;

// The Open dialog's answer as one text: the path of one file, or the folder followed by each
// name, NUL-separated.
QString openDialogResult(const QStringList& files) {
    if (files.size() == 1) {
        return files.first();
    }
    QString text = QFileInfo(files.first()).path();
    for (const QString& file : files) {
        text += QChar(u'\0') + QFileInfo(file).fileName();
    }
    return text;
}

}  // namespace

bool Form1::serveWindowEvents() {
    QCoreApplication::processEvents();
    return !m_closing;
}

void Form1::PushButton1_Click() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.PushButton1_Click "));
    QStringList files;
    guard.step(100, [&] {
        files = m_dialogs.openFiles(
            QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"),
            QStringLiteral(
                "All Pictures (*.bmp;*.jpg;*.gif;*.png;*.tif;*.tiff;*.webp;*.heic;*.heif;"
                "*.avif;*.jxl) (*.bmp *.jpg *.gif *.png *.tif *.tiff *.webp *.heic "
                "*.heif *.avif *.jxl)"));
    });
    if (guard.test(102, [&] { return files.isEmpty(); })) {
        return;
    }
    if (openDialogResult(files).size() >= OpenDialogResultLimit) {
        m_dialogs.message(QStringLiteral("You've selected too many files to add.\r\rPlease try "
                                         "adding via the \"Add All\" button."),
                          m_appTitle, MessageIcon::None);
        return;
    }
    if (guard.test(
            104, [&] { return files.size() == 1; }, false)) {
        guard.step(106, [&] { m_fileList->append(files.first()); });
        return;
    }
    for (const QString& file : files) {
        guard.step(108, [&] {
            const QFileInfo picked(file);
            m_fileList->append(NormalizeSlashes(picked.path() + PathSeparator + picked.fileName()));
        });
    }
}

void Form1::ListView1_OLEDragDrop(const QStringList& paths) {
    ErrorReport guard(m_dialogs,
                      QStringLiteral("in Zentavo2021/08/31.Form1.ListView1_OLEDragDrop "));
    for (const QString& path : paths) {
        // A folder walk served the close of the window: nothing more is added.
        if (m_closing) {
            return;
        }
        if (guard.test(
                100, [&] { return FolderExists(path); }, false)) {
            // Each dropped folder is expanded on a collection of its own; the window is served
            // while its sub-folders are collected.
            guard.step(102, [&] {
                const QStringList files =
                    scanFolderTree(path, QStringLiteral("*.*"), &m_dialogs, m_appTitle, {},
                                   [this] { return serveWindowEvents(); });
                m_fileList->append(files, treeFoldersOf(path, files));
            });
        } else {
            guard.step(104, [&] { m_fileList->append(path); });
        }
    }
}

void Form1::PushButton5_Click() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.PushButton5_Click "));
    guard.step(100, [&] {
        const QString samples = m_programFolder + QStringLiteral("/Samples/");
        for (const QString& name : ListFiles(samples, QStringLiteral("*.*"))) {
            const QString candidate = samples + name;
            if (PathExists(candidate) && !IsInList(*m_fileList, candidate)) {
                m_fileList->append(candidate);
            }
        }
        if (m_dialogs.askYesNo(QStringLiteral("Would you like this software to open the folder "
                                              "where these sample files are stored (so that you "
                                              "can view them before working with them)?"),
                               m_appTitle)) {
            m_opener->openFolder(samples);
        }
    });
}

void Form1::PushButton3_Click() {
    ErrorReport guard(m_dialogs, QStringLiteral("in Zentavo2021/08/31.Form1.PushButton3_Click "));
    QString extension;
    guard.step(100, [&] {
        // "jpg", ".jpg" and "*.jpg" all mean the same extension, stored bare.
        extension = bareExtension(m_dialogs.inputBox(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            m_appTitle, m_settings.GetSetting(QStringLiteral("Extension"), QStringLiteral("jpg"))));
        if (!extension.isEmpty()) {
            m_settings.SaveSetting(QStringLiteral("Extension"), extension);
        }
    });
    if (guard.test(102, [&] { return extension.isEmpty(); })) {
        return;
    }
    QString folder;
    guard.step(104, [&] {
        folder = PickFolder(m_dialogs, QStringLiteral("Please select folder:"),
                            m_settings.GetSetting(QStringLiteral("LastFolder"), QString()));
    });
    if (guard.test(106, [&] { return folder.isEmpty(); })) {
        return;
    }
    QString lastFolder;
    guard.step(333, [&] { lastFolder = folder; });
    guard.step(334, [&] { m_settings.SaveSetting(QStringLiteral("LastFolder"), lastFolder); });
    guard.step(112, [&] { setPointer(PointerKind::Hourglass); });
    QStringList collection;
    guard.step(114, [&] { collection = QStringList{folder + PathSeparator}; });
    guard.step(116, [&] {
        GetSubDirectories2016(collection, true, &m_dialogs, m_appTitle,
                              [this] { return serveWindowEvents(); });
    });
    // The window was closed during the walk: the program ends without listing anything.
    if (m_closing) {
        return;
    }
    const StatementRunner run = [&](int number, const std::function<void()>& statement) {
        return guard.step(number, statement);
    };
    const QStringList files = collectFolderFiles(collection, extensionPattern(extension), run,
                                                 [this] { return serveWindowEvents(); });
    // The window was closed during the listing: likewise.
    if (m_closing) {
        return;
    }
    m_fileList->append(files, treeFoldersOf(folder, files));
    guard.step(136, [&] { setPointer(PointerKind::Default); });
}

}  // namespace zentavo
