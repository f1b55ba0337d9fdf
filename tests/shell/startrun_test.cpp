// Start: the window drives a real run over real files and stays usable while it works.
#include "tests/shell/formfixture.h"

#include "filelist/filelist.h"

#include <QDir>
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

TEST_F(StartTest, ClosingDuringARunLeavesNoPartialFiles) {
    QImage big(1200, 900, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    for (int i = 0; i < 12; ++i) {
        const QString path = m_in + QStringLiteral("p%1.png").arg(i);
        ASSERT_TRUE(big.save(path));
        m_form->fileList().append(path);
    }
    m_form->PushButton2_Click();
    ASSERT_TRUE(m_form->batchRun().isRunning());
    m_form->close();
    EXPECT_FALSE(m_form->batchRun().isRunning());
    for (const QString& name : folderEntries(m_out)) {
        EXPECT_FALSE(name.endsWith(".tmp")) << name.toStdString();
        EXPECT_FALSE(QImage(m_out + name).isNull()) << name.toStdString();
    }
    EXPECT_EQ(m_startup.ends, 1);
}

}  // namespace zentavo::test
