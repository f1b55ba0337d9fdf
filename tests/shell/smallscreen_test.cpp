// Messages on a 1280 x 800 screen (the offscreen platform is given that screen by this test
// program's environment): a box is never taller than the screen, measured as it is shown.
#include "shell/qtdialogs.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace zentavo::test {

namespace {

struct ShownBox {
    bool scrolls = false;  // the text is in a scrolling area rather than a message box
    QRect frame;           // where the box stood, on the screen
    QRect okButton;        // where its OK button stood, on the screen
    QString text;          // the text it showed
};

// Shows text through QtDialogs and records the box as it stood, then presses OK.
ShownBox show(const QString& text) {
    ShownBox shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no box open";
            return;
        }
        shown.scrolls = qobject_cast<QMessageBox*>(box) == nullptr;
        shown.frame = box->frameGeometry();
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text().size() > shown.text.size()) {
                shown.text = label->text();
            }
        }
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            if (button->isVisible()) {
                shown.okButton = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
                button->click();
            }
        }
    });
    QtDialogs().message(text, QStringLiteral("Zentavo"), MessageIcon::None);
    return shown;
}

}  // namespace

TEST(SmallScreen, AClosingMessageNamingManyLongPathsFitsAnEightHundredPixelScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(screen.height(), 800) << "the test program runs with a 1280 x 800 screen";
    // Twenty long paths, as a flip run names the files it could not load: short enough
    // together to fit unwrapped, far too tall once each wraps in a message box.
    QStringList paths;
    for (int i = 0; i < 20; ++i) {
        paths << QStringLiteral(
                     "/home/ann/Pictures/Holidays 2019/Scanned prints from the "
                     "family album, the second box with the photographs of the "
                     "summer by the sea and the mountains/page %1/scan-%2.jpg")
                     .arg(i)
                     .arg(1000 + i);
    }
    ASSERT_GE(paths[0].size(), 160);
    const QString text =
        "Done.\r\n\r\nThese files:\r\n\r\n" + paths.join("\r\n") + "\r\n\r\ncould not be loaded.";
    const ShownBox shown = show(text);
    EXPECT_LE(shown.frame.height(), screen.height());
    EXPECT_TRUE(screen.contains(shown.okButton)) << "OK stands off the screen";
    // Every path stays whole on its own line, and the text is the message's to the byte.
    EXPECT_EQ(shown.text, displayText(text));
    EXPECT_TRUE(shown.scrolls);
}

TEST(SmallScreen, AShortMessageAndAWrappedParagraphStayInAnOrdinaryBox) {
    const QString paragraph =
        "Smart-Detect will automatically detect the image quality of each input JPG file and use "
        "this information to create a similar quality output JPG file.\r\n\r\nFixed Quality "
        "will use the same image quality for every output JPG file.";
    for (const QString& text : {QStringLiteral("Done."), paragraph}) {
        const ShownBox shown = show(text);
        EXPECT_FALSE(shown.scrolls) << text.toStdString();
        EXPECT_LE(shown.frame.height(), 800);
    }
}

}  // namespace zentavo::test
