#include "tests/testsupport.h"

#include <QDir>
#include <QFile>

namespace zentavo::test {

void ScriptedDialogs::message(const QString& text, const QString& title, MessageIcon icon)
{
    shown.push_back({QStringLiteral("message"), text, title, icon});
}

bool ScriptedDialogs::reportWithCheckBox(const QString& text, const QString& title,
                                         MessageIcon icon, const QString& checkText)
{
    message(text, title, icon);
    checkTexts << checkText;
    if (whileReportShown) {
        whileReportShown();
    }
    if (checkAnswers.empty()) {
        return false;
    }
    const bool ticked = checkAnswers.front();
    checkAnswers.pop_front();
    return ticked;
}

bool ScriptedDialogs::askYesNo(const QString& text, const QString& title)
{
    shown.push_back({QStringLiteral("question"), text, title, MessageIcon::None});
    if (yesNoAnswers.empty()) {
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultAnswer)
{
    shown.push_back({QStringLiteral("input"), prompt, title, MessageIcon::None});
    lastInputDefaults << defaultAnswer;
    if (inputAnswers.empty()) {
        return {};
    }
    QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer == QStringLiteral("\x01") ? defaultAnswer : answer;
}

QStringList ScriptedDialogs::openFiles(const QString& title, const QString& filter)
{
    shown.push_back({QStringLiteral("open"), filter, title, MessageIcon::None});
    lastOpenFilters << filter;
    if (openAnswers.empty()) {
        return {};
    }
    QStringList answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::pickFolder(const QString& title, const QString& initialFolder)
{
    shown.push_back({QStringLiteral("folder"), initialFolder, title, MessageIcon::None});
    lastFolderInitials << initialFolder;
    if (folderAnswers.empty()) {
        return {};
    }
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::messages() const
{
    QStringList texts;
    for (const ShownDialog& d : shown) {
        if (d.kind == QLatin1String("message")) {
            texts << d.text;
        }
    }
    return texts;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

QStringList folderEntries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                               | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

}  // namespace zentavo::test
