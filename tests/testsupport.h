#pragma once

#include "report/dialogs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <vector>

namespace zentavo::test {

// One thing a ScriptedDialogs was asked to show.
struct ShownDialog {
    QString kind;   // "message", "question", "input", "open", "folder"
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::None;
};

// The dialogs of tests: records everything shown and answers from queues set up by the test.
// An empty queue answers No, the empty text, no files, or a cancelled folder picker.
class ScriptedDialogs : public Dialogs {
public:
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    // Shown as a message; answered from checkAnswers (unticked when empty).
    bool reportWithCheckBox(const QString& text, const QString& title, MessageIcon icon,
                            const QString& checkText) override;
    bool askYesNo(const QString& text, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultAnswer) override;
    QStringList openFiles(const QString& title, const QString& filter) override;
    QString pickFolder(const QString& title, const QString& initialFolder) override;

    std::vector<ShownDialog> shown;
    std::deque<bool> yesNoAnswers;
    std::deque<bool> checkAnswers;
    QStringList checkTexts;  // the check box captions offered, in order
    // What the user does while a report box is up (the rest of the program goes on meanwhile).
    std::function<void()> whileReportShown;
    std::deque<QString> inputAnswers;       // "\x01" answers with the default
    std::deque<QStringList> openAnswers;
    std::deque<QString> folderAnswers;
    QStringList lastInputDefaults;
    QStringList lastFolderInitials;
    QStringList lastOpenFilters;

    QStringList messages() const;   // texts of the message boxes, in order
};

// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);
// The names in a folder, sorted, hidden ones included.
QStringList folderEntries(const QString& folder);

}  // namespace zentavo::test
