#pragma once

#include "batch/batchrun.h"
#include "shell/report/dialogs.h"

#include <QString>

#include <cstdio>
#include <deque>
#include <functional>

namespace zentavo {

// The command line's side of a run: error reports to standard error as their message text,
// progress to standard error only when it is a terminal, the closing message kept for the end.
// Questions are never asked: a batch has nobody to answer them.
class CliFrontEnd : public RunFrontEnd, public Dialogs {
public:
    CliFrontEnd(std::FILE* errorStream, bool showProgress, int total);

    // RunFrontEnd
    void setBusy(bool) override {}
    void setProgressValue(int value) override;
    void setProgressText(const QString& text) override;
    Dialogs& dialogs() override { return *this; }
    QString applicationTitle() const override { return QStringLiteral("Zentavo"); }
    void showClosingMessage(const QString& text, MessageIcon icon) override;
    // Says on the error stream why a file was not done, unless the front end is quiet.
    void fileNotDone(const QString& path, const QString& reason) override;
    void setQuiet(bool quiet) { m_quiet = quiet; }

    // Dialogs
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString pickFolder(const QString&, const QString&) override { return {}; }

    const QString& closingMessage() const { return m_closingMessage; }

    // A message as it reads on a terminal: CR LF and lone CR become line ends, and control
    // characters inside names are shown escaped so a report stays one readable block.
    static QString forTerminal(const QString& text);

    // The pace part of the progress line: "12.5 files/s, 3:05 left" for filesPerSecond and
    // the files left; the time as H:MM:SS past an hour. Pure.
    static QString paceText(double filesPerSecond, int filesLeft);
    // Where the progress line takes the time from, in milliseconds (a steady clock unless set).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

private:
    void drawProgress();
    void clearProgress();
    // Files per second over the files done lately; 0 until a few are done.
    double filesPerSecond() const;

    std::FILE* m_errors;
    bool m_showProgress;
    int m_total;
    int m_done = 0;
    int m_value = 0;
    QString m_current;
    std::function<qint64()> m_clock;
    std::deque<qint64> m_doneAt;  // when the latest files were done, oldest first
    bool m_progressShown = false;
    bool m_quiet = false;
    QString m_closingMessage;
};

}  // namespace zentavo
