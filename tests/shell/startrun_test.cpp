// Start: the window drives a real run over real files and stays usable while it works.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"
#include "shell/qtdialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QScrollArea>
#include <QScreen>
#include <QTimer>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace zentavo::test {

namespace {

// A 4 x 2 picture, white but for a red pixel in the upper-left corner.
QImage cornerPicture() {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    return image;
}

bool isRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

}  // namespace

class StartTest : public FormTest {
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
    QString m_in;
    QString m_out;
};

TEST_F(StartTest, StartFlipsEveryFileShowsBusyAndEndsWithDone) {
    ASSERT_TRUE(cornerPicture().save(m_in + "corner.png"));
    ASSERT_TRUE(cornerPicture().save(m_in + "corner.bmp"));
    ASSERT_TRUE(cornerPicture().save(m_in + "photo.jpg", "JPEG", 95));
    m_form->fileList().append(
        QStringList{m_in + "corner.png", m_in + "corner.bmp", m_in + "photo.jpg"});

    button("PushButton2")->click();
    // The click returns at once; the run goes on in the event loop.
    EXPECT_TRUE(m_form->batchRun().isRunning());
    EXPECT_EQ(m_form->cursor().shape(), Qt::WaitCursor);
    m_form->batchRun().waitForFinished();

    ASSERT_EQ(m_dialogs.messages(), QStringList{"Done."});
    EXPECT_EQ(m_dialogs.shown[0].title, "Zentavo");
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);
    EXPECT_EQ(m_form->controls().ProgressBar1->value(), 0);
    EXPECT_EQ(m_form->controls().ProgressBar1->text(), "Progress Bar");
    EXPECT_EQ(folderEntries(m_out),
              (QStringList{"corner_flipped.bmp", "corner_flipped.png", "photo_flipped.jpg"}));
    const QImage png(m_out + "corner_flipped.png");
    ASSERT_EQ(png.size(), QSize(4, 2));
    EXPECT_TRUE(isRed(png.pixel(3, 0)));
    EXPECT_FALSE(isRed(png.pixel(0, 0)));
    // The inputs are untouched.
    EXPECT_EQ(QImage(m_in + "corner.png").pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(StartTest, RotationChosenInTheWindowReachesTheRun) {
    ASSERT_TRUE(cornerPicture().save(m_in + "corner.png"));
    m_form->fileList().append(m_in + "corner.png");
    option("Option9")->click();
    option("Option4")->click();
    m_form->PushButton2_Click();
    m_form->batchRun().waitForFinished();
    ASSERT_EQ(m_dialogs.messages(), QStringList{"Done."});
    const QImage turned(m_out + "corner_rotated.png");
    ASSERT_EQ(turned.size(), QSize(2, 4));
    // A quarter turn clockwise takes the upper-left corner to the upper-right.
    EXPECT_TRUE(isRed(turned.pixel(1, 0)));
}

TEST_F(StartTest, ClosingDuringARunEndsItPromptlyAndLeavesNoPartialFiles) {
    // Two large pictures to be written as GIF: quantising each takes seconds, and closing must
    // not wait for that.
    QImage noise(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            line[x] = quint32(x * 2654435761u) ^ quint32(y * 40503u);
        }
    }
    for (int i = 0; i < 2; ++i) {
        const QString path = m_in + QStringLiteral("big%1.gif").arg(i);
        ASSERT_TRUE(noise.save(path, "PNG", 0));
        m_form->fileList().append(path);
    }
    m_form->PushButton2_Click();
    ASSERT_TRUE(m_form->batchRun().isRunning());
    QElapsedTimer working;
    working.start();
    while (working.elapsed() < 700) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QElapsedTimer closing;
    closing.start();
    m_form->close();
    EXPECT_FALSE(m_form->batchRun().isRunning());
    EXPECT_EQ(m_startup.ends, 1);
    m_form.reset();  // what the program does next: the window goes, the work in flight with it
    EXPECT_LT(closing.elapsed(), 2000);
    for (const QString& name : folderEntries(m_out)) {
        EXPECT_FALSE(name.endsWith(".tmp")) << name.toStdString();
        EXPECT_FALSE(QImage(m_out + name).isNull()) << name.toStdString();
    }
}

TEST_F(StartTest, StopEndsTheRunWithTheCountAndOnlyWholeOutputs) {
    QImage big(1200, 900, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    for (int i = 0; i < 20; ++i) {
        const QString path = m_in + QStringLiteral("p%1.png").arg(i);
        ASSERT_TRUE(big.save(path));
        m_form->fileList().append(path);
    }
    QPushButton* start = button("PushButton2");
    start->click();
    EXPECT_EQ(start->text(), "Stop");
    QElapsedTimer waited;
    waited.start();
    while (folderEntries(m_out).filter("_flipped").isEmpty() && waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    start->click();
    start->click();  // a second press while the run winds down starts nothing
    m_form->batchRun().waitForFinished();
    EXPECT_EQ(start->text(), "Start Flipping or Rotating");
    const QStringList written = folderEntries(m_out);
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(m_dialogs.messages()[0], QStringLiteral("Stopped.\r\n\r\n%1 of 20 files were processed.")
                                           .arg(written.size()));
    EXPECT_LT(written.size(), 20);
    for (const QString& name : written) {
        EXPECT_EQ(QImage(m_out + name).size(), QSize(1200, 900)) << name.toStdString();
    }
    EXPECT_EQ(m_form->pointer(), PointerKind::Default);
    EXPECT_EQ(m_form->controls().ProgressBar1->value(), 0);
}

TEST_F(StartTest, ClosingTheWindowWhileAnErrorReportIsUpClosesItAndStopsTheRun) {
    QtDialogs dialogs;
    Form1 form(dialogs, *m_settings, m_startup);
    dialogs.setOwner(&form);
    form.controls().Text1->setText(m_out);
    form.controls().Option9->click();  // a turn reports every file it cannot load
    for (int i = 0; i < 5; ++i) {
        const QString path = m_in + QStringLiteral("bad%1.jpg").arg(i);
        writeFile(path, "not a picture");
        form.fileList().append(path);
    }
    form.show();
    int reportsSeen = 0;
    QString checkText;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && box->objectName() == "errorReport") {
                ++reportsSeen;
                checkText = box->checkBox() ? box->checkBox()->text() : QString();
                form.close();
            }
        }
    });
    watch.start(20);
    form.PushButton2_Click();
    QElapsedTimer waited;
    waited.start();
    while (form.batchRun().isRunning() && waited.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    watch.stop();
    EXPECT_FALSE(form.batchRun().isRunning());
    EXPECT_EQ(reportsSeen, 1);
    EXPECT_EQ(checkText, "Show no more error messages in this run");
    QCoreApplication::processEvents();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->isVisible() && qobject_cast<QMessageBox*>(widget));
    }
}

TEST(QtDialogsTest, ALongMessageScrollsWithinTheScreenAndCanBeCopied) {
    QString text = "Done.\r\n\r\nThese files:\r\n";
    for (int i = 0; i < 100; ++i) {
        text += QStringLiteral("\r\n/pictures/holiday/unloadable-%1.jpg").arg(i);
    }
    text += "\r\n\r\ncould not be loaded.";
    QtDialogs dialogs;
    int height = 0;
    int available = 0;
    QString shown;
    bool selectable = false;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        height = box->frameGeometry().height();
        available = box->screen()->availableGeometry().height();
        if (auto* label = box->findChild<QScrollArea*>() ? box->findChild<QScrollArea*>()->findChild<QLabel*>() : nullptr) {
            shown = label->text();
            selectable = label->textInteractionFlags() & Qt::TextSelectableByMouse;
        }
        box->accept();
    });
    dialogs.message(text, "Zentavo", MessageIcon::None);
    EXPECT_GT(height, 0);
    EXPECT_LE(height, available);
    EXPECT_EQ(shown, displayText(text));
    EXPECT_TRUE(selectable);
}

}  // namespace zentavo::test
