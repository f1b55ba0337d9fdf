// Thumbnails: made off the GUI thread for the entries in view only, once per file and again when
// the file changes; the setting that shows them.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "shell/filelistview.h"
#include "shell/thumbnails.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSemaphore>
#include <QThread>

#include <mutex>

namespace zentavo::test {

namespace {

// A maker that counts what it is asked for, from any thread.
struct CountingMaker {
    std::mutex mutex;
    QStringList made;
    QImage operator()(const QString& path, int side) {
        const std::lock_guard lock(mutex);
        made << path;
        if (path.endsWith(".txt")) {
            return {};
        }
        QImage image(side, side / 2, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::darkBlue);
        return image;
    }
    QStringList takeMade() {
        const std::lock_guard lock(mutex);
        return std::exchange(made, {});
    }
};

bool settle(const Thumbnails& thumbnails) {
    // The list tells what is in view once the events of a scroll are served.
    QCoreApplication::processEvents();
    QDeadlineTimer deadline(10000);
    while (thumbnails.pending() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    return thumbnails.pending() == 0;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

TEST(Thumbnails, AreMadeOncePerFileAndAgainOnlyWhenItsTimeChanges) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.jpg");
    const QString b = dir.filePath("b.jpg");
    const QString text = dir.filePath("notes.txt");
    for (const QString& path : {a, b, text}) {
        writeFile(path, "x");
    }
    CountingMaker maker;
    Thumbnails thumbnails;  // waits for its workers before the maker goes
    thumbnails.setMaker([&maker](const QString& path, int side) { return maker(path, side); });
    thumbnails.setWanted({a, b, text, a});
    ASSERT_TRUE(settle(thumbnails));
    EXPECT_EQ(sorted(maker.takeMade()), sorted({a, b, text}));
    EXPECT_EQ(thumbnails.thumbnail(a).width(), Thumbnails::Side);
    bool gaveNone = false;
    EXPECT_TRUE(thumbnails.thumbnail(text, &gaveNone).isNull());
    EXPECT_TRUE(gaveNone);
    EXPECT_TRUE(thumbnails.thumbnail(dir.filePath("never.jpg"), &gaveNone).isNull());
    EXPECT_FALSE(gaveNone) << "not asked for yet is not the same as no picture";

    // In view again: nothing is made, not even checked, until the window comes back.
    thumbnails.setWanted({a, b, text});
    ASSERT_TRUE(settle(thumbnails));
    EXPECT_TRUE(maker.takeMade().isEmpty());

    QFile changed(b);
    ASSERT_TRUE(changed.open(QIODevice::ReadWrite));
    ASSERT_TRUE(changed.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                    QFileDevice::FileModificationTime));
    changed.close();
    thumbnails.recheck();
    thumbnails.setWanted({a, b, text});
    ASSERT_TRUE(settle(thumbnails));
    EXPECT_EQ(maker.takeMade(), QStringList{b});
}

TEST(Thumbnails, WhatLeftTheViewBeforeItsTurnIsNeverMade) {
    QSemaphore release;
    std::mutex mutex;
    QStringList started;
    Thumbnails thumbnails;
    thumbnails.setMaker([&](const QString& path, int) {
        {
            const std::lock_guard lock(mutex);
            started << path;
        }
        release.acquire();
        return QImage(4, 4, QImage::Format_ARGB32_Premultiplied);
    });
    QStringList first;
    for (int i = 0; i < 40; ++i) {
        first << QStringLiteral("/pictures/%1.jpg").arg(i);
    }
    thumbnails.setWanted(first);
    thumbnails.setWanted({"/pictures/99.jpg"});  // scrolled far away
    release.release(100);
    ASSERT_TRUE(settle(thumbnails));
    const std::lock_guard lock(mutex);
    // Those under way when the view moved finish; of the rest, only the one now in view.
    EXPECT_LE(started.size(), QThread::idealThreadCount() + 1);
    EXPECT_EQ(started.last(), "/pictures/99.jpg");
    EXPECT_FALSE(started.contains("/pictures/39.jpg"));
}

TEST_F(FormTest, ThumbnailsAreOffUnlessChosenAndThenMadeForTheRowsInViewOfTenThousand) {
    Form1& form = loadForm();
    FileListView* list = form.controls().ListView1;
    // Shared with the workers, which the window (and its thumbnails) may outlive the test by.
    auto counting = std::make_shared<CountingMaker>();
    CountingMaker& maker = *counting;
    form.thumbnails().setMaker(
        [counting](const QString& path, int side) { return (*counting)(path, side); });
    QStringList paths;
    for (int i = 1; i <= 10000; ++i) {
        paths << QStringLiteral("/pictures/IMG_%1.jpg").arg(i);
    }
    form.fileList().append(paths);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.thumbnailsShown());
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    ASSERT_TRUE(settle(form.thumbnails()));
    EXPECT_TRUE(maker.takeMade().isEmpty());
    list->verticalScrollBar()->setValue(0);
    const int plainRow = list->visualRect(list->model()->index(0, 0)).height();

    std::unique_ptr<QMenu> menu = form.ListView1_ContextMenu(0);
    QAction* show = menu->findChild<QAction*>("showThumbnails");
    ASSERT_TRUE(show);
    EXPECT_FALSE(show->isChecked());
    show->trigger();
    EXPECT_TRUE(m_writes.contains("Thumbnails=True"));
    EXPECT_TRUE(form.thumbnailsShown());
    QCoreApplication::processEvents();
    EXPECT_GE(list->visualRect(list->model()->index(0, 0)).height(), Thumbnails::Side);
    EXPECT_GT(list->visualRect(list->model()->index(0, 0)).height(), plainRow);

    ASSERT_TRUE(settle(form.thumbnails()));
    QStringList inView = list->visiblePaths();
    ASSERT_FALSE(inView.isEmpty());
    EXPECT_LT(inView.size(), 40);
    EXPECT_EQ(sorted(maker.takeMade()), sorted(inView));

    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    ASSERT_TRUE(settle(form.thumbnails()));
    inView = list->visiblePaths();
    EXPECT_EQ(inView.last(), "/pictures/IMG_10000.jpg");
    EXPECT_EQ(sorted(maker.takeMade()), sorted(inView));
}

TEST_F(FormTest, TheThumbnailsSettingIsRestoredAndAnUnreadableOneLeavesThemOffQuietly) {
    for (const auto& [stored, shown] : {std::pair{"True", true}, std::pair{"false", false},
                                        std::pair{"1", true}, std::pair{"maybe", false}}) {
        SCOPED_TRACE(stored);
        storeValue("Thumbnails", stored);
        m_dialogs.shown.clear();
        m_writes.clear();
        Form1& form = loadForm();
        EXPECT_EQ(form.thumbnailsShown(), shown);
        EXPECT_TRUE(m_dialogs.shown.empty());
        EXPECT_FALSE(m_writes.join(",").contains("Thumbnails")) << "loading writes nothing new";
        m_form.reset();
    }
}

}  // namespace zentavo::test
