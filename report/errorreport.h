#pragma once

#include "report/dialogs.h"

#include <QString>
#include <exception>
#include <functional>
#include <optional>

namespace zentavo {

// The address users are asked to send a screenshot of an error message to.
inline constexpr char SupportAddress[] = "support@zentavo.example.com";

// The title of error reports, except those of the folder collector.
inline constexpr char ApplicationErrorTitle[] = "Application Error";

// The text of one error report: description, CR LF, location, "at line ", number, CR CR, and the
// request to send a screenshot.
QString errorReportMessage(const QString& description, const QString& location, int line);

// The parts of a report's text, as errorReportMessage put them together.
struct ErrorReportParts {
    QString description;
    QString location;
    int line = 0;
};

// Takes a report's text apart again: for front ends that show a report in their own form (a
// terminal line); nothing when text is not such a report. Pure.
std::optional<ErrorReportParts> parseErrorReportMessage(const QString& text);

// The description of a caught exception: the program's own text for ZentavoError, the
// library's text otherwise.
QString describeException(const std::exception_ptr& error);

// A guarded procedure with numbered statements and resume-next. Each statement runs through
// step() with its number; an exception thrown by the statement, or by anything it calls, is
// shown through the dialogs with that number and the procedure goes on with the next statement.
//
//     ErrorReport guard(dialogs, "in Zentavo2021/08/31.Form1.PushButton4_Click ");
//     guard.step(100, [&] { list.clear(); });
class ErrorReport {
public:
    ErrorReport(Dialogs& dialogs, QString location, QString title = ApplicationErrorTitle);

    // Runs one statement. True when it finished, false when it threw (and was reported).
    bool step(int number, const std::function<void()>& statement);

    // Runs a test statement: its value, or fallback when the test itself threw. A failing test
    // resumes with the first statement it guards, so callers pass true to enter that branch.
    bool test(int number, const std::function<bool()>& condition, bool fallback = true);

    // Reports an error for a statement without running anything (for failures that arrive as
    // results rather than exceptions).
    void report(int number, const QString& description);

    // The number of the last statement started.
    int line() const { return m_line; }
    int reportsShown() const { return m_reports; }

private:
    Dialogs& m_dialogs;
    QString m_location;
    QString m_title;
    int m_line = 0;
    int m_reports = 0;
};

}  // namespace zentavo
