#pragma once

#include "batch/batchrun.h"
#include "report/dialogs.h"

#include <QString>

#include <cstdio>
#include <deque>
#include <functional>

namespace zentavo {

// The command line's side of a run, on standard error: one line for each file not done and for
// each error report, "zentavo-batch: PATH: REASON (line N)" (the window's whole report form too
// when verbose), and progress only when the stream is a terminal. The closing message is kept
// for the end. Questions are never asked: a batch has nobody to answer them.
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
    // One line for a file not loaded or not written; one line for each report of a file that
    // was written.
    void fileDelivered(const DeliveredFile& file) override;
    // Verbose: each error report is also printed in full, as the window shows it.
    void setVerbose(bool verbose) { m_verbose = verbose; }

    // Dialogs. An error report is one line unless verbose; other messages are printed whole.
    void message(const QString& text, const QString& title, MessageIcon icon) override;
    // The run's reports: printed in full when verbose, otherwise left to fileDelivered.
    bool reportWithCheckBox(const QString& text, const QString& title, MessageIcon icon,
                            const QString& checkText) override;
    bool askYesNo(const QString&, const QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString pickFolder(const QString&, const QString&) override { return {}; }

    const QString& closingMessage() const { return m_closingMessage; }

    // Ends a progress line left unfinished on standard error (the cursor back at its start,
    // the line cleared), so that nothing runs on after it; nothing when none is shown. Only
    // async-signal-safe calls: for a signal handler that ends the program.
    static void endProgressLineForExit();

    // A message as it reads on a terminal: CR LF and lone CR become line ends, and control
    // characters inside names are shown escaped so a report stays one readable block.
    static QString forTerminal(const QString& text);

    // The pace part of the progress line: "12.5 files/s, 3:05 left" for filesPerSecond and
    // the files left; the time as H:MM:SS past an hour. Pure.
    static QString paceText(double filesPerSecond, int filesLeft);
    // Where the progress line takes the time from, in milliseconds (a steady clock unless set).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // The terminal's width in columns the progress line keeps within (0: unknown, no limit
    // but the name's 60 characters); unless set, asked of the terminal at each drawing.
    void setColumns(int columns) { m_columns = columns; }

private:
    void drawProgress();
    void clearProgress();
    // Files per second over the files done lately; 0 until a few are done.
    double filesPerSecond() const;
    int terminalColumns() const;
    // "zentavo-batch: [PATH: ]REASON (line N)" between progress lines.
    void printLine(const QString& path, const QString& reason, int line);
    void printWhole(const QString& text);

    std::FILE* m_errors;
    bool m_showProgress;
    int m_total;
    int m_done = 0;
    int m_value = 0;
    QString m_current;
    std::function<qint64()> m_clock;
    int m_columns = -1;           // set for tests; -1 asks the terminal
    std::deque<qint64> m_doneAt;  // when the latest files were done, oldest first
    bool m_progressShown = false;
    bool m_verbose = false;
    QString m_closingMessage;
};

}  // namespace zentavo
