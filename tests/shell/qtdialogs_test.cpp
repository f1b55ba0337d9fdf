// The Qt dialogs behind the Dialogs interface, driven as a user would answer them.
#include "shell/qtdialogs.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace zentavo::test {

namespace {

// Once the next modal dialog of type D is open, hands it to answer, which must close it.
template <typename D>
void whenOpen(std::function<void(D*)> answer) {
    QTimer::singleShot(0, [answer] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<D*>(widget); dialog && dialog->isVisible()) {
                answer(dialog);
                // An answer cut short by a failed assertion must not leave the test waiting.
                if (dialog->isVisible()) {
                    ADD_FAILURE() << "the dialog was left open";
                    static_cast<QDialog*>(dialog)->reject();
                }
                return;
            }
        }
        ADD_FAILURE() << "no dialog open";
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
}

// The format of the dialog's label that shows text.
Qt::TextFormat formatOfLabelShowing(QWidget* dialog, const QString& text) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label->textFormat();
        }
    }
    ADD_FAILURE() << "no label shows " << text.toStdString();
    return Qt::AutoText;
}

}  // namespace

TEST(QtDialogs, AMessageWithAButtonOffersItBesideOkAndSaysWhichClosedTheBox) {
    const QString text = QStringLiteral("Done.\r\n\r\n3 of 4 files were processed.");
    QtDialogs dialogs;
    for (const bool pressExtra : {true, false}) {
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->text(), "Done.\n\n3 of 4 files were processed.");
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Ok));
            QPushButton* extra = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == "Open Results Folder") {
                    extra = qobject_cast<QPushButton*>(button);
                }
            }
            ASSERT_TRUE(extra);
            (pressExtra ? extra : box->button(QMessageBox::Ok))->click();
        });
        EXPECT_EQ(dialogs.messageWithButton(text, QStringLiteral("Zentavo"), MessageIcon::None,
                                            QStringLiteral("Open Results Folder")),
                  pressExtra);
    }
}

TEST(QtDialogs, MessageBoxesShowPlainTextWithTheirIconAndScreenLineEnds) {
    // A file name that looks like markup must not turn the box into rich text.
    const QString text = QStringLiteral("Picture /in/a<b>c.jpg is too big.\r\nNext line\rlast");
    const QString shown = QStringLiteral("Picture /in/a<b>c.jpg is too big.\nNext line\nlast");
    QtDialogs dialogs;
    for (const auto& [icon, expected] :
         {std::pair{MessageIcon::None, QMessageBox::NoIcon},
          std::pair{MessageIcon::Exclamation, QMessageBox::Warning}}) {
        whenOpen<QMessageBox>([&, expected = expected](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), "Zentavo");
            EXPECT_EQ(box->text(), shown);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(formatOfLabelShowing(box, shown), Qt::PlainText);
            EXPECT_EQ(box->icon(), expected);
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.message(text, QStringLiteral("Zentavo"), icon);
    }

    for (const bool yes : {true, false}) {
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(dialogs.askYesNo(QStringLiteral("Open <i>it</i>?"), QStringLiteral("Zentavo")),
                  yes);
    }
}

TEST(QtDialogs, InputBoxShowsThePromptAsPlainTextAndCancelGivesNothing) {
    QtDialogs dialogs;
    const QString prompt = QStringLiteral("Enter <b>extension</b>:\r\r(* for all)");
    for (const bool accept : {true, false}) {
        whenOpen<QInputDialog>([&](QInputDialog* box) {
            EXPECT_EQ(box->windowTitle(), "Zentavo");
            EXPECT_EQ(formatOfLabelShowing(box, "Enter <b>extension</b>:\n\n(* for all)"),
                      Qt::PlainText);
            EXPECT_EQ(box->textValue(), "jpg");
            accept ? box->accept() : box->reject();
        });
        EXPECT_EQ(dialogs.inputBox(prompt, QStringLiteral("Zentavo"), QStringLiteral("jpg")),
                  accept ? QStringLiteral("jpg") : QString());
    }
}

TEST(QtDialogs, OpenDialogMatchesItsPatternsInAnyLetterCase) {
    QTemporaryDir folder;
    for (const char* name : {"A.JPG", "b.jpg", "c.Tif", "notes.txt"}) {
        writeFile(folder.filePath(name), "x");
    }
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder.path());
    QtDialogs dialogs;
    whenOpen<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Add");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const QModelIndex root = model->index(folder.path());
        QStringList listed;
        const QDeadlineTimer deadline(10000);
        while (listed.size() < 3 && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            listed.clear();
            for (int row = 0; row < model->rowCount(root); ++row) {
                listed << model->index(row, 0, root).data().toString();
            }
        }
        listed.sort();
        EXPECT_EQ(listed, (QStringList{"A.JPG", "b.jpg", "c.Tif"}));
        // Typed into the name box, as a user picks several files.
        auto* names = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(names, nullptr);
        names->setText(QStringLiteral("\"A.JPG\" \"c.Tif\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    const QStringList chosen =
        dialogs.openFiles(QStringLiteral("Add"), QStringLiteral("Pictures (*.jpg *.tif)"));
    QDir::setCurrent(before);
    EXPECT_EQ(chosen, (QStringList{folder.filePath("A.JPG"), folder.filePath("c.Tif")}));
}

}  // namespace zentavo::test
