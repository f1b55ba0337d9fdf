// The window program: builds the window over the user's settings and Qt's dialogs, loads it and
// serves its events until it closes.
#include "imagefiles/libraries/librarymessages.h"
#include "shell/form1.h"
#include "shell/mainroutines.h"
#include "shell/qtdialogs.h"
#include "shell/settingsstore.h"
#include "shell/startupobject.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

namespace {

// The folder the pointers, the samples and the skin are shipped in: beside the program in the
// build folder, or the installed data folder.
QString shippedFilesFolder() {
    const QString here = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(here + QStringLiteral("/" ZENTAVO_DATA_FROM_BIN));
    if (QFileInfo::exists(here + QStringLiteral("/drag.ico")) || !QFileInfo::exists(installed)) {
        return here;
    }
    return installed;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(ZENTAVO_APP_ID));
    // The picture libraries speak through the run's reports, never on the terminal.
    zentavo::installLibraryMessageHandlers();
    zentavo::QtDialogs dialogs;
    zentavo::SettingsStore settings;
    zentavo::ImagingStartupObject imaging;
    zentavo::Form1 form(dialogs, settings, imaging);
    dialogs.setOwner(&form);
    form.setProgramFolder(shippedFilesFolder());
    form.Form_Load();
    form.show();
    // Files and folders given on the command line (the desktop's "Open with") join the list as
    // dropped ones do, once the window is up.
    const QStringList opened =
        zentavo::startupPaths(QCoreApplication::arguments().mid(1), QDir::currentPath());
    if (!opened.isEmpty()) {
        QMetaObject::invokeMethod(
            &form, [&form, opened] { form.ListView1_OLEDragDrop(opened); }, Qt::QueuedConnection);
    }

    // For the documentation: save a picture of the loaded window and end. With
    // ZENTAVO_SCREENSHOT_DROP the window is maximised and that folder is dropped on the list.
    const QString screenshot = qEnvironmentVariable("ZENTAVO_SCREENSHOT");
    const QString dropped = qEnvironmentVariable("ZENTAVO_SCREENSHOT_DROP");
    if (!screenshot.isEmpty() && !dropped.isEmpty()) {
        // Without a window manager nothing maximises the window; fill the screen instead.
        form.setGeometry(form.screen()->availableGeometry());
        form.showMaximized();
        form.ListView1_OLEDragDrop({dropped});
    }
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1000, &form, [&form, screenshot] {
            const bool saved = form.grab().save(screenshot);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
