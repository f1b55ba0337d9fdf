// The preview in a window larger than its default: where it stands, that its after picture is
// the run's output, that a new choice cancels the decode still pending, and what it shows for a
// file it cannot load.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "imagefiles/loadpicfile.h"
#include "shell/entryoutcomes.h"
#include "shell/filelistview.h"
#include "shell/previewpanel.h"
#include "tests/imagefiles/readfixtures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSlider>

#include <mutex>

namespace zentavo::test {

namespace {

// Quadrants as stored: red top-left, green top-right, blue bottom-left, white bottom-right.
QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool top = y < height / 2;
            const bool left = x < width / 2;
            image.setPixel(x, y,
                           top ? (left ? qRgb(220, 30, 30) : qRgb(30, 190, 30))
                               : (left ? qRgb(30, 30, 220) : qRgb(240, 240, 240)));
        }
    }
    return image;
}

// The mean difference of two pictures of one size, per channel (0 to 255).
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

ReducedPicture plainPicture(QRgb colour) {
    ReducedPicture reduced;
    reduced.loaded.picture.image = QImage(8, 4, QImage::Format_RGB32);
    reduced.loaded.picture.image.fill(colour);
    reduced.fullSize = QSize(8, 4);
    return reduced;
}

}  // namespace

class PreviewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("in"));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("out"));
        m_in = m_dir.filePath("in") + "/";
        m_out = m_dir.filePath("out") + "/";
        loadForm();
        text1()->setText(m_out);
    }
    void choose(int entry) {
        FileListView* list = m_form->controls().ListView1;
        list->selectionModel()->setCurrentIndex(list->model()->index(entry - 1, 0),
                                                QItemSelectionModel::ClearAndSelect);
    }
    void enlarge() {
        m_form->resize(1400, 900);
        QCoreApplication::processEvents();
        ASSERT_TRUE(m_form->preview().isVisible());
    }
    QString m_in;
    QString m_out;
};

TEST_F(PreviewTest, HiddenAtTheDefaultSizeBelowTheFoldersFrameWhenTallerBesideTheListWhenWider) {
    const Form1Controls& ui = m_form->controls();
    PreviewPanel& preview = m_form->preview();
    auto decoded = std::make_shared<std::atomic_int>(0);
    const std::atomic_int& decodes = *decoded;
    preview.setLoader([decoded](const QString&, int, const std::atomic_bool&) {
        ++*decoded;
        return plainPicture(qRgb(10, 20, 30));
    });
    m_form->fileList().append(m_in + "a.jpg");
    choose(1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(preview.isVisible());
    EXPECT_EQ(decodes, 0) << "nothing is decoded for a preview no one sees";
    const QRect drawnList = ui.ListView1->geometry();

    // Taller: the right column below "Save Results To This Folder", above Start.
    m_form->resize(1064 + 300, 534 + 300);
    QCoreApplication::processEvents();
    ASSERT_TRUE(preview.isVisible());
    EXPECT_EQ(preview.x(), ui.Frame1->x());
    EXPECT_EQ(preview.width(), ui.Frame1->width());
    EXPECT_GT(preview.y(), ui.Frame1->geometry().bottom());
    EXPECT_LT(preview.geometry().bottom(), ui.PushButton2->y());
    EXPECT_GE(preview.height(), 280);
    EXPECT_EQ(ui.ListView1->geometry(), drawnList.adjusted(0, 0, 300, 300));
    EXPECT_TRUE(waitFor([&] { return !preview.afterImage().isNull(); }));
    EXPECT_EQ(decodes, 1);

    // Only wider: a column between the list and the frames, the list keeping half the room.
    m_form->resize(1064 + 500, 534);
    QCoreApplication::processEvents();
    ASSERT_TRUE(preview.isVisible());
    EXPECT_EQ(ui.ListView1->width(), drawnList.width() + 250);
    EXPECT_GT(preview.x(), ui.ListView1->geometry().right());
    EXPECT_LT(preview.geometry().right(), ui.Frame6->x());
    EXPECT_EQ(ui.PushButton5->geometry().right(), ui.ListView1->geometry().right());
    EXPECT_EQ(ui.Frame6->geometry().right(), m_form->width() - 9);

    // A little larger gives too little room: the list takes it all, as before.
    m_form->resize(1064 + 100, 534 + 100);
    QCoreApplication::processEvents();
    EXPECT_FALSE(preview.isVisible());
    EXPECT_EQ(ui.ListView1->geometry(), drawnList.adjusted(0, 0, 100, 100));
}

TEST_F(PreviewTest, TheAfterPictureIsTheRunsOutputScaledDownForAFlipAndATurnOfAnOrientedJpeg) {
    enlarge();
    // A camera's picture stored on its side: orientation 6 turns it upright.
    writeFile(m_in + "photo.jpg", withExifOrientation(encodeJpeg(quadrants(640, 480), 95), 6));
    m_form->fileList().append(m_in + "photo.jpg");
    PreviewPanel& preview = m_form->preview();
    choose(1);
    ASSERT_TRUE(waitFor([&] { return !preview.isLoading(); }));
    ASSERT_TRUE(preview.reason().isEmpty()) << preview.reason().toStdString();
    // The before picture is upright: portrait, red (stored top-left) now at the top-right.
    const QImage before = preview.beforeImage();
    EXPECT_LT(before.width(), before.height());
    EXPECT_GT(qRed(before.pixel(before.width() - 3, 2)), 180);
    EXPECT_EQ(preview.beforeCaption(),
              "Before (480 x 640)\nShown upright, as its orientation tag asks: turned 90\u00B0 "
              "clockwise");

    // A fixed quality: Smart-Detect would judge these flat quadrants worth quality 1.
    option("Option22")->click();
    slider()->setValue(95);
    const struct {
        const char* operation;
        const char* direction;
        QString caption;
    } cases[] = {{"Option8", "Option1", "After: flipped horizontally"},
                 {"Option8", "Option2", "After: flipped vertically"},
                 {"Option9", "Option4", "After: turned 90\u00B0 clockwise"},
                 {"Option9", "Option5", "After: turned 270\u00B0 clockwise"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.direction);
        option(c.operation)->click();
        option(c.direction)->click();
        EXPECT_EQ(preview.afterCaption(), c.caption);
        const QImage after = preview.afterImage();
        ASSERT_FALSE(after.isNull());

        m_dialogs.shown.clear();
        m_form->PushButton2_Click();
        m_form->batchRun().waitForFinished();
        const EntryOutcome* outcome = m_form->outcomes().outcome(0);
        ASSERT_TRUE(outcome && outcome->outcome == FileOutcome::Written);
        const LoadResult output = loadPicture(outcome->outputPath);
        ASSERT_TRUE(output.ok()) << output.reason.toStdString();
        const QImage expected = output.picture.image.scaled(after.size(), Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(after, expected), 3.0);
        // The neighbouring wrong pictures are far off: the same move without the orientation,
        // or the other direction.
        EXPECT_GT(meanDifference(after, expected.mirrored(true, true)), 40.0);
        QFile::remove(outcome->outputPath);
    }
}

TEST_F(PreviewTest, ChoosingAnotherEntryCancelsTheDecodeStillPendingAndNeverStartsAQueuedOne) {
    enlarge();
    PreviewPanel& preview = m_form->preview();
    // What the worker shares with the test, kept alive for as long as either needs it.
    struct Shared {
        std::mutex mutex;
        QStringList started;
        bool firstSawCancel = false;
        QSemaphore entered;
        QSemaphore release;
    };
    auto shared = std::make_shared<Shared>();
    // However the test ends, the first decode is let go, so the window can close.
    const std::shared_ptr<void> letGo(nullptr, [shared](void*) { shared->release.release(); });
    preview.setLoader([shared](const QString& path, int, const std::atomic_bool& cancelled) {
        {
            const std::lock_guard lock(shared->mutex);
            shared->started << QFileInfo(path).fileName();
        }
        if (path.endsWith("a.jpg")) {
            shared->entered.release();
            shared->release.acquire();
            const std::lock_guard lock(shared->mutex);
            shared->firstSawCancel = cancelled.load();
        }
        return plainPicture(path.endsWith("c.jpg") ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
    });
    QSignalSpy shown(&preview, &PreviewPanel::shown);
    m_form->fileList().append(QStringList{m_in + "a.jpg", m_in + "b.jpg", m_in + "c.jpg"});
    choose(1);
    ASSERT_TRUE(shared->entered.tryAcquire(1, 5000)) << "the first decode never began";
    choose(2);  // waits behind the first, in the panel's one worker
    choose(3);
    shared->release.release();
    ASSERT_TRUE(waitFor([&] { return !preview.isLoading(); }));
    QCoreApplication::processEvents();

    const std::lock_guard lock(shared->mutex);
    EXPECT_TRUE(shared->firstSawCancel);
    EXPECT_EQ(shared->started, (QStringList{"a.jpg", "c.jpg"}));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(preview.entry(), m_in + "c.jpg");
    EXPECT_EQ(preview.beforeImage().pixel(0, 0), qRgb(0, 0, 255));
}

TEST_F(PreviewTest, FollowsTheOptionsWithoutDecodingAgainAndShowsWhyAFileCannotBeLoaded) {
    enlarge();
    PreviewPanel& preview = m_form->preview();
    writeFile(m_in + "wide.png", QByteArray());
    ASSERT_TRUE(quadrants(64, 32).save(m_in + "wide.png"));
    writeFile(m_in + "notes.jpg", "shopping list: bread, milk");
    m_form->fileList().append(QStringList{m_in + "wide.png", m_in + "notes.jpg"});
    choose(1);
    ASSERT_TRUE(waitFor([&] { return !preview.afterImage().isNull(); }));
    EXPECT_EQ(preview.afterImage().size(), QSize(64, 32));
    auto decoded = std::make_shared<std::atomic_int>(0);
    const std::atomic_int& decodes = *decoded;
    preview.setLoader([decoded](const QString& path, int side, const std::atomic_bool&) {
        ++*decoded;
        return loadReducedPicture(path, side);
    });
    option("Option9")->click();
    EXPECT_EQ(preview.afterImage().size(), QSize(32, 64));
    EXPECT_EQ(qRed(preview.afterImage().pixel(30, 2)), 220) << "red turned to the top-right";
    option("Option3")->click();
    EXPECT_EQ(preview.afterImage().size(), QSize(64, 32));
    EXPECT_EQ(qRed(preview.afterImage().pixel(62, 30)), 220) << "red turned to the bottom-right";
    EXPECT_EQ(decodes, 0);

    choose(2);
    ASSERT_TRUE(waitFor([&] { return !preview.isLoading(); }));
    EXPECT_TRUE(preview.beforeImage().isNull());
    EXPECT_TRUE(preview.afterImage().isNull());
    EXPECT_EQ(preview.beforeCaption(), "Before");
    EXPECT_EQ(preview.reason(),
              "notes.jpg cannot be loaded: " + loadPicture(m_in + "notes.jpg").reason);
}

}  // namespace zentavo::test
