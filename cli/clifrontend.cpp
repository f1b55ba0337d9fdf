#include "cli/clifrontend.h"

#include "batch/filejob.h"
#include "report/errorreport.h"

#include <QElapsedTimer>

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>

namespace zentavo {

namespace {

// Whether a progress line stands unfinished on standard error: read by a signal handler.
std::atomic_bool progressLineOpen{false};
constexpr char EndOfProgressLine[] = "\r\x1b[K";

// The pace is shown once this many files are done, and measured over at most the latest
// PaceWindow files: a resumed run skips its first files at once, and only the files since tell
// how long the rest takes.
constexpr int FewFiles = 5;
constexpr size_t PaceWindow = 100;

}  // namespace

void CliFrontEnd::endProgressLineForExit() {
    if (progressLineOpen.exchange(false)) {
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, EndOfProgressLine, sizeof EndOfProgressLine - 1);
    }
}

CliFrontEnd::CliFrontEnd(std::FILE* errorStream, bool showProgress, int total)
    : m_errors(errorStream), m_showProgress(showProgress), m_total(total) {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

QString CliFrontEnd::paceText(double filesPerSecond, int filesLeft) {
    const qint64 seconds = qint64(std::ceil(std::max(0, filesLeft) / filesPerSecond));
    const QString left =
        seconds >= 3600
            ? QStringLiteral("%1:%2:%3")
                  .arg(seconds / 3600)
                  .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                  .arg(seconds % 60, 2, 10, QLatin1Char('0'))
            : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const int decimals = filesPerSecond < 100 ? 1 : 0;
    return QStringLiteral("%1 files/s, %2 left").arg(filesPerSecond, 0, 'f', decimals).arg(left);
}

double CliFrontEnd::filesPerSecond() const {
    if (m_done < FewFiles || m_doneAt.size() < 2) {
        return 0;
    }
    const qint64 span = m_doneAt.back() - m_doneAt.front();
    if (span <= 0) {
        return 0;
    }
    return double(m_doneAt.size() - 1) * 1000.0 / double(span);
}

QString CliFrontEnd::forTerminal(const QString& text) {
    // Messages break lines with CR LF or CR; a lone LF can only come from a file name, and is
    // shown escaped so that the name stays on its line, as is a byte of a name that is not
    // valid UTF-8.
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        const ushort code = ch.unicode();
        if (code == '\r') {
            out += QLatin1Char('\n');
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
                ++i;
            }
        } else if (code == '\n') {
            out += QStringLiteral("\\n");
        } else if (code == '\t') {
            out += QStringLiteral("\\t");
        } else if (code < 32 || (code >= 127 && code < 160)) {
            out += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        } else if (code >= 0xDC80 && code <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate())) {
            // A byte of a name that is not valid UTF-8 (see decodeFileName).
            out += QStringLiteral("\\x%1").arg(code - 0xDC00, 2, 16, QLatin1Char('0'));
        } else {
            out += ch;
        }
    }
    return out;
}

void CliFrontEnd::setProgressValue(int value) {
    m_value = value;
    if (value > 0) {
        ++m_done;
        m_doneAt.push_back(m_clock());
        if (m_doneAt.size() > PaceWindow) {
            m_doneAt.pop_front();
        }
    }
    drawProgress();
}

void CliFrontEnd::setProgressText(const QString& text) {
    m_current = text;
    drawProgress();
}

void CliFrontEnd::drawProgress() {
    if (!m_showProgress || m_value == 0) {
        return;
    }
    constexpr int BarWidth = 30;
    const int filled = std::clamp(m_value * BarWidth / 100, 0, BarWidth);
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('.'));
    const double pace = filesPerSecond();
    const QString paceShown =
        pace > 0 ? paceText(pace, m_total - m_done) + QStringLiteral("  ") : QString();
    QString line = QStringLiteral("[%1] %2/%3 %4%  %5")
                       .arg(bar)
                       .arg(m_done)
                       .arg(m_total)
                       .arg(m_value, 3)
                       .arg(paceShown);
    // The line stays on one row of the terminal, or a redraw would start on its last row: the
    // name gives up the room.
    const int columns = terminalColumns();
    const qsizetype room = columns > 0
                               ? qBound(qsizetype(0), columns - 1 - line.size(), qsizetype(60))
                               : qsizetype(60);
    line += forTerminal(m_current).left(room);
    if (columns > 0) {
        line.truncate(columns - 1);  // a terminal narrower than the bar and the counts
    }
    std::fprintf(m_errors, "\r%s\x1b[K", line.toLocal8Bit().constData());
    std::fflush(m_errors);
    m_progressShown = true;
    progressLineOpen = m_errors == stderr;
}

int CliFrontEnd::terminalColumns() const {
    if (m_columns >= 0) {
        return m_columns;
    }
    winsize size{};
    if (::ioctl(fileno(m_errors), TIOCGWINSZ, &size) == 0) {
        return size.ws_col;
    }
    return 0;
}

void CliFrontEnd::clearProgress() {
    if (m_progressShown) {
        progressLineOpen = false;
        std::fprintf(m_errors, "%s", EndOfProgressLine);
        std::fflush(m_errors);
        m_progressShown = false;
    }
}

void CliFrontEnd::showClosingMessage(const QString& text, MessageIcon) {
    clearProgress();
    m_closingMessage = text;
}

void CliFrontEnd::printLine(const QString& path, const QString& reason, int line) {
    clearProgress();
    const QString why = reason.isEmpty() ? QStringLiteral("not done") : reason;
    QString text = QStringLiteral("zentavo-batch: ");
    if (!path.isEmpty()) {
        text += forTerminal(path) + QStringLiteral(": ");
    }
    text += forTerminal(why);
    if (line > 0) {
        text += QStringLiteral(" (line %1)").arg(line);
    }
    std::fprintf(m_errors, "%s\n", text.toLocal8Bit().constData());
    std::fflush(m_errors);
    drawProgress();
}

void CliFrontEnd::printWhole(const QString& text) {
    clearProgress();
    std::fprintf(m_errors, "%s\n\n", forTerminal(text).toLocal8Bit().constData());
    std::fflush(m_errors);
    drawProgress();
}

void CliFrontEnd::fileDelivered(const DeliveredFile& file) {
    if (file.outcome == FileOutcome::NotLoaded || file.outcome == FileOutcome::NotWritten) {
        printLine(file.path, file.reason, file.statement);
    } else if (file.outcome == FileOutcome::Written) {
        for (const FileReport& report : file.reports) {
            printLine(file.path, reasonWithoutPath(report.description, file.path),
                      report.statement);
        }
    }
}

void CliFrontEnd::message(const QString& text, const QString&, MessageIcon) {
    const std::optional<ErrorReportParts> report = parseErrorReportMessage(text);
    if (report && !m_verbose) {
        printLine({}, reasonWithoutPath(report->description, {}), report->line);
    } else {
        printWhole(text);
    }
}

bool CliFrontEnd::reportWithCheckBox(const QString& text, const QString&, MessageIcon,
                                     const QString&) {
    if (m_verbose) {
        printWhole(text);
    }
    return false;
}

}  // namespace zentavo
