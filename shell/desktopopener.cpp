#include "shell/desktopopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace zentavo {

void QtDesktopOpener::openFile(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtDesktopOpener::openFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace zentavo
