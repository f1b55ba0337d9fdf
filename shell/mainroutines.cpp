#include "shell/mainroutines.h"

#include "report/dialogs.h"
#include "report/zentavoerror.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

namespace zentavo {

namespace {

constexpr int TitleLimit = 40;

void setBackground(QWidget& widget, const QPalette& face) {
    QPalette palette = widget.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, face.color(group, QPalette::Button));
        palette.setColor(group, QPalette::WindowText, face.color(group, QPalette::ButtonText));
    }
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

QString SetAppTitle(const QString& productName) {
    QString title = productName;
    int space = title.lastIndexOf(QLatin1Char(' '));
    if (space < 0) {
        return title;
    }
    title.truncate(space);
    while (title.size() > TitleLimit) {
        space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0) {
            break;
        }
        title.truncate(space);
    }
    return title;
}

bool ApplySkin(QWidget& window, const QString& programFolder) {
    const QString skinPath = programFolder + QStringLiteral("/x/o.cjs");
    if (!QFileInfo(skinPath).isFile()) {
        return false;
    }
    const QPalette buttonFace = window.palette();
    setBackground(window, buttonFace);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)) {
            setBackground(*child, buttonFace);
        }
    }
    QFile skin(skinPath);
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text)) {
        throw ZentavoError(ErrorNumber::Generic,
                           QStringLiteral("Cannot read the skin file %1").arg(skinPath));
    }
    window.setStyleSheet(QString::fromUtf8(skin.readAll()));
    return true;
}

QString SpecialFolderPath() {
    // Many desktops have no desktop folder at all: a first run must not offer a folder that
    // does not exist, so the user's pictures or home folder stands in for it.
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::PicturesLocation,
                                QStandardPaths::HomeLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return {};
}

QString DefaultResultsFolder(const QString& desktopFolder) {
    if (desktopFolder.isEmpty()) {
        throw ZentavoError(ErrorNumber::InvalidProcedureCall,
                           QStringLiteral("Invalid procedure call or argument"));
    }
    return desktopFolder + QLatin1Char('/');
}

QStringList startupPaths(const QStringList& arguments, const QString& currentFolder) {
    QStringList paths;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--") && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty()) {
            continue;
        }
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ||
            argument.contains(QLatin1String("://"))) {
            const QUrl url(argument);
            if (!url.isLocalFile()) {
                continue;
            }
            path = url.toLocalFile();
        }
        paths << QDir::cleanPath(QDir(currentFolder).absoluteFilePath(path));
    }
    return paths;
}

QString PickFolder(Dialogs& dialogs, const QString& title, const QString& initialFolder) {
    QString folder = dialogs.pickFolder(title, initialFolder);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    return folder;
}

}  // namespace zentavo
