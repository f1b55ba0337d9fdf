// The window's pictures on a real display (run it under Xvfb):
//  - preview: how long after an entry of a 12-megapixel JPEG is chosen its before and after
//    pictures are painted in the maximised window's preview;
//  - scroll: the longest stall of the GUI thread's event loop while the list of 10,000 entries
//    with thumbnails is scrolled from top to bottom, the thumbnails being made meanwhile.
// The photographs (12 megapixels, camera-like noise over smooth colour) are made once under /tmp;
// the 10,000 entries are hard links to them, so that each is a file of its own to the program.
// Usage: xvfb-run -a -s "-screen 0 1440x900x24" zentavo-bench-pictures [preview|scroll]
#include "filelist/filelist.h"
#include "imagefiles/reducedpicture.h"
#include "report/dialogs.h"
#include "shell/filelistview.h"
#include "shell/form1.h"
#include "shell/previewpanel.h"
#include "shell/settingsstore.h"
#include "shell/startupobject.h"
#include "shell/thumbnails.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

using namespace zentavo;

namespace {

const char* const Folder = "/tmp/zentavo-bench-pictures";
constexpr int Photographs = 20;
constexpr int Entries = 10'000;

QString photograph(int i) {
    return QStringLiteral("%1/photo-%2.jpg")
        .arg(QLatin1String(Folder))
        .arg(i, 2, 10, QLatin1Char('0'));
}

QString entry(int i) {
    return QStringLiteral("%1/links/IMG_%2.jpg")
        .arg(QLatin1String(Folder))
        .arg(i, 5, 10, QLatin1Char('0'));
}

bool makePictures() {
    if (QFile::exists(entry(Entries - 1))) {
        return true;
    }
    std::printf("Making %d photographs of 4000 x 3000 and %d links to them under %s (once)\n",
                Photographs, Entries, Folder);
    QDir().mkpath(QStringLiteral("%1/links").arg(QLatin1String(Folder)));
    std::mt19937 random(26);
    std::normal_distribution<double> grain(0.0, 9.0);
    for (int p = 0; p < Photographs; ++p) {
        QImage image(4000, 3000, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) {
                const double u = x / 4000.0;
                const double v = y / 3000.0;
                const double base[3] = {120 + 90 * std::sin(6 * u + p + 3 * v),
                                        110 + 80 * std::sin(4 * v - 2 * u + p * 0.7),
                                        100 + 70 * std::cos(5 * u * v + p)};
                for (int c = 0; c < 3; ++c) {
                    row[3 * x + c] = uchar(std::clamp(base[c] + grain(random), 0.0, 255.0));
                }
            }
        }
        if (!image.save(photograph(p), "JPEG", 90)) {
            return false;
        }
    }
    for (int i = 0; i < Entries; ++i) {
        if (::link(QFile::encodeName(photograph(i % Photographs)).constData(),
                   QFile::encodeName(entry(i)).constData()) != 0) {
            return false;
        }
    }
    return true;
}

class QuietDialogs : public Dialogs {
public:
    void message(const QString& text, const QString&, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString pickFolder(const QString&, const QString&) override { return {}; }
};

class Imaging : public StartupObject {
public:
    bool start() override { return true; }
    void end() override {}
};

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Serves the event loop, sleeping while there is nothing to do, until done() or ms have passed.
// How long this thread has waited for a core while it was ready to run, in nanoseconds (the
// kernel's schedstat); 0 where the kernel does not keep it.
qint64 threadRunDelayNs() {
    FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
    if (!file) {
        return 0;
    }
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    const int read = std::fscanf(file, "%llu %llu", &running, &waiting);
    std::fclose(file);
    return read == 2 ? qint64(waiting) : 0;
}

void serveUntil(const std::function<bool()>& done, int ms) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    check.start();
    if (!done()) {
        loop.exec();
    }
}

void serveFor(int ms) {
    serveUntil([] { return false; }, ms);
}

void choose(Form1& form, int entry) {
    FileListView* list = form.controls().ListView1;
    list->selectionModel()->setCurrentIndex(list->model()->index(entry, 0),
                                            QItemSelectionModel::ClearAndSelect);
}

// Watches the preview's paints: the time of the first paint after its pictures were shown.
class PaintWatch : public QObject {
public:
    bool shown = false;
    qint64 paintedAt = -1;
    QElapsedTimer* clock = nullptr;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && shown && paintedAt < 0) {
            // The paint is done when the filter's object has handled it: send it on first.
            static_cast<QWidget*>(watched)->removeEventFilter(this);
            QCoreApplication::sendEvent(watched, event);
            static_cast<QWidget*>(watched)->installEventFilter(this);
            paintedAt = clock->nsecsElapsed();
            return true;
        }
        return false;
    }
};

void benchPreview(Form1& form) {
    for (int i = 0; i < Photographs; ++i) {
        form.fileList().append(photograph(i));
    }
    PreviewPanel& preview = form.preview();
    std::printf("preview %d x %d in a window of %d x %d\n", preview.width(), preview.height(),
                form.width(), form.height());
    QElapsedTimer clock;
    PaintWatch watch;
    watch.clock = &clock;
    preview.installEventFilter(&watch);
    QObject::connect(&preview, &PreviewPanel::shown, [&watch] { watch.shown = true; });
    // The decode's own processor time, on the panel's worker: on a busy machine the steadier
    // figure.
    std::atomic<qint64> decodeCpu{0};
    preview.setLoader([&decodeCpu](const QString& path, int longSide, const std::atomic_bool&) {
        const qint64 start = threadCpuNs();
        ReducedPicture reduced = loadReducedPicture(path, longSide);
        decodeCpu = threadCpuNs() - start;
        return reduced;
    });
    std::vector<double> shownMs;
    std::vector<double> paintedMs;
    std::vector<double> cpuMs;
    for (int round = 0; round < 3 * Photographs; ++round) {
        watch.shown = false;
        watch.paintedAt = -1;
        qint64 shownAt = -1;
        const QMetaObject::Connection once = QObject::connect(
            &preview, &PreviewPanel::shown, [&] { shownAt = clock.nsecsElapsed(); });
        clock.start();
        choose(form, round % Photographs);
        serveUntil([&watch] { return watch.paintedAt >= 0; }, 5000);
        QObject::disconnect(once);
        shownMs.push_back(shownAt / 1e6);
        cpuMs.push_back(decodeCpu / 1e6);
        paintedMs.push_back(watch.paintedAt / 1e6);
        serveFor(100);
    }
    const auto report = [](const char* what, std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-28s median %6.1f ms   90th %6.1f ms   longest %6.1f ms   (%zu choices)\n",
                    what, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), ms.size());
    };
    report("chosen to pictures made", shownMs);
    report("chosen to pictures painted", paintedMs);
    report("decode, processor time", cpuMs);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("load average %.2f on %ld cores\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
}

// Scrolls the list from top to bottom as a hand does (a wheel step of five rows every 16 ms),
// then jumps the thumb to far places every 50 ms for 5 s, and prints the event loop's gaps:
// the time between beats of a precise 1 ms timer, in wall time, in the GUI thread's own
// processor time, and in the time it was ready to run but waited for a core (the machine's other
// work); the last line is each gap without that wait.
void scrollAndMeasure(Form1& form, const char* title) {
    FileListView* list = form.controls().ListView1;
    QScrollBar* bar = list->verticalScrollBar();
    bar->setValue(0);
    serveFor(500);
    const int rowHeight = list->visualRect(list->model()->index(0, 0)).height();
    const int rowsPerStep =
        list->verticalScrollMode() == QAbstractItemView::ScrollPerItem ? 5 : 5 * rowHeight;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 lastCpu = threadCpuNs();
    qint64 lastDelay = threadRunDelayNs();
    std::vector<qint64> gaps;
    std::vector<qint64> busy;
    std::vector<qint64> waiting;
    std::vector<qint64> ownStall;  // a gap less the time spent waiting for a core
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        const qint64 delay = threadRunDelayNs();
        gaps.push_back(now - last);
        busy.push_back(cpu - lastCpu);
        waiting.push_back(delay - lastDelay);
        ownStall.push_back(std::max<qint64>(0, now - last - (delay - lastDelay)));
        last = now;
        lastCpu = cpu;
        lastDelay = delay;
    });
    QTimer wheel;
    wheel.setTimerType(Qt::PreciseTimer);
    wheel.setInterval(16);
    QObject::connect(&wheel, &QTimer::timeout, [&] { bar->setValue(bar->value() + rowsPerStep); });
    heartbeat.start();
    wheel.start();
    serveUntil([bar] { return bar->value() >= bar->maximum(); }, 600'000);
    wheel.stop();
    const double scrolledS = clock.elapsed() / 1000.0;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> place(0, bar->maximum());
    QTimer jumps;
    jumps.setInterval(50);
    QObject::connect(&jumps, &QTimer::timeout, [&] { bar->setValue(place(random)); });
    jumps.start();
    serveFor(5000);
    jumps.stop();
    serveFor(1000);
    heartbeat.stop();
    const auto line = [](const char* what, std::vector<qint64> ns) {
        std::sort(ns.begin(), ns.end());
        std::printf("  %-22s median %6.2f ms  99th %6.2f ms  99.9th %6.2f ms  longest %6.2f ms\n",
                    what, ns[ns.size() / 2] / 1e6, ns[ns.size() * 99 / 100] / 1e6,
                    ns[ns.size() * 999 / 1000] / 1e6, ns.back() / 1e6);
    };
    std::printf("%s: top to bottom in %.1f s, then 100 jumps in 5 s (%zu beats)\n", title,
                scrolledS, gaps.size());
    line("gap, wall time", gaps);
    line("gap, GUI thread busy", busy);
    line("gap, waiting for a core", waiting);
    line("gap less that waiting", ownStall);
}

void benchScroll(Form1& form) {
    QStringList paths;
    for (int i = 0; i < Entries; ++i) {
        paths << entry(i);
    }
    form.fileList().append(paths);
    serveFor(500);
    FileListView* list = form.controls().ListView1;
    std::printf("%d entries, list %d px high\n", Entries, list->viewport()->height());
    scrollAndMeasure(form, "without thumbnails");
    form.setThumbnailsShown(true);
    serveFor(500);
    std::printf("rows of %d px with thumbnails\n",
                list->visualRect(list->model()->index(0, 0)).height());
    scrollAndMeasure(form, "with thumbnails");
    std::printf("thumbnails still to make at the end: %d\n", form.thumbnails().pending());
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("load average %.2f on %ld cores\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!makePictures()) {
        std::fprintf(stderr, "cannot make the pictures under %s\n", Folder);
        return 1;
    }
    QTemporaryDir settingsHome;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path());
    QuietDialogs dialogs;
    Imaging imaging;
    SettingsStore settings;
    std::printf("platform %s, screen %d x %d\n", qPrintable(QGuiApplication::platformName()),
                app.primaryScreen()->size().width(), app.primaryScreen()->size().height());
    if (what.isEmpty() || what == QLatin1String("preview")) {
        Form1 form(dialogs, settings, imaging);
        form.Form_Load();
        form.setGeometry(form.screen()->availableGeometry());
        form.showMaximized();
        serveFor(500);
        benchPreview(form);
    }
    if (what.isEmpty() || what == QLatin1String("scroll")) {
        Form1 form(dialogs, settings, imaging);
        form.Form_Load();
        form.setGeometry(form.screen()->availableGeometry());
        form.showMaximized();
        serveFor(500);
        benchScroll(form);
    }
    return 0;
}
