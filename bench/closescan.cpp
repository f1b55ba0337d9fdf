// Closing the window during "Add All File(s) In Folder" over 150,000 files: the window is closed
// at moments spread over the walk and the listing, from another thread as a click arrives, and
// the bench reports how long the program took to let go of the scan (the click served, the
// handler returned, the window destroyed).
// The tree (1,500 folders of 100 files, or with "flat" one folder of 150,000) is made once under
// /tmp and reused.
// Usage: zentavo-bench-closescan [flat] [delays in seconds...]
#include "filelist/filelist.h"
#include "shell/form1.h"
#include "report/dialogs.h"
#include "shell/settingsstore.h"
#include "shell/startupobject.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace zentavo;

namespace {

int Folders = 1500;
int FilesPerFolder = 100;
const char* TreeRoot = "/tmp/zentavo-bench-close-tree";
const char* TreeDone = "/tmp/zentavo-bench-close-tree.complete";

bool makeTree() {
    if (QFile::exists(QString::fromLatin1(TreeDone))) {
        return true;
    }
    std::printf("Making %d files in %d folders under %s (once)\n", Folders * FilesPerFolder,
                Folders, TreeRoot);
    for (int f = 0; f < Folders; ++f) {
        const QString folder = QStringLiteral("%1/%2/%3")
                                   .arg(QString::fromLatin1(TreeRoot))
                                   .arg(2000 + f / 100)
                                   .arg(f % 100, 3, 10, QLatin1Char('0'));
        if (!QDir().mkpath(folder)) {
            return false;
        }
        for (int i = 0; i < FilesPerFolder; ++i) {
            const QByteArray path = QFile::encodeName(
                folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::close(fd) != 0) {
                return false;
            }
        }
    }
    QFile done(QString::fromLatin1(TreeDone));
    return done.open(QIODevice::WriteOnly);
}

// Answers the scan's two questions: the extension, then the folder.
class ScanAnswers : public Dialogs {
public:
    void message(const QString& text, const QString&, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&) override {
        return QStringLiteral("jpg");
    }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString pickFolder(const QString&, const QString&) override {
        return QString::fromLatin1(TreeRoot);
    }
};

class NoImaging : public StartupObject {
public:
    bool start() override { return true; }
    void end() override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int first = 1;
    if (argc > 1 && QByteArray(argv[1]) == "flat") {
        Folders = 1;
        FilesPerFolder = 150'000;
        TreeRoot = "/tmp/zentavo-bench-close-flat";
        TreeDone = "/tmp/zentavo-bench-close-flat.complete";
        first = 2;
    }
    if (!makeTree()) {
        std::fprintf(stderr, "cannot make the tree under %s\n", TreeRoot);
        return 1;
    }
    QTemporaryDir settingsHome;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path());
    QList<double> delays;
    for (int i = first; i < argc; ++i) {
        delays << QString::fromLocal8Bit(argv[i]).toDouble();
    }
    if (delays.isEmpty()) {
        delays = {0.1, 0.3, 0.6, 0.9, 1.2, 1.5, 2.0};
    }
    ScanAnswers dialogs;
    NoImaging imaging;
    SettingsStore settings;

    // The scan alone, to place the delays: a warm cache for every run after it.
    for (int pass = 0; pass < 2; ++pass) {
        Form1 form(dialogs, settings, imaging);
        form.Form_Load();
        form.show();
        QElapsedTimer clock;
        clock.start();
        form.PushButton3_Click();
        std::printf("scan without closing: %.3f s, %d files listed\n", clock.nsecsElapsed() / 1e9,
                    form.fileList().count());
    }
    std::printf("%-10s %-14s %-16s %-16s\n", "close at", "click served", "handler returned",
                "window destroyed");
    for (const double delay : delays) {
        auto form = std::make_unique<Form1>(dialogs, settings, imaging);
        form->Form_Load();
        form->show();
        QElapsedTimer clock;
        std::atomic<qint64> clicked{-1};
        qint64 served = -1;
        clock.start();
        std::thread user([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            clicked = clock.nsecsElapsed();
            QMetaObject::invokeMethod(
                form.get(),
                [&] {
                    served = clock.nsecsElapsed();
                    form->close();
                },
                Qt::QueuedConnection);
        });
        form->PushButton3_Click();
        const qint64 returned = clock.nsecsElapsed();
        user.join();
        if (served < 0) {
            // The scan ended before the click: it is served by the event loop.
            QCoreApplication::processEvents();
        }
        form.reset();
        const qint64 destroyed = clock.nsecsElapsed();
        const double at = clicked / 1e9;
        std::printf("%-10.2f %-14.3f %-16.3f %-16.3f\n", at, (served - clicked) / 1e9,
                    std::max<qint64>(0, returned - clicked) / 1e9, (destroyed - clicked) / 1e9);
    }
    return 0;
}
