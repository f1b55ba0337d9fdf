#include "shell/timeleft.h"

#include <algorithm>

namespace zentavo {

void TimeLeft::start(int files, qint64 now) {
    m_running = true;
    m_files = files;
    m_done = 0;
    m_started = now;
    m_lastDone = now;
}

void TimeLeft::fileDone(qint64 now) {
    if (!m_running) {
        return;
    }
    ++m_done;
    m_lastDone = now;
}

std::optional<qint64> TimeLeft::remaining(qint64 now) const {
    if (!m_running || m_done < FilesBeforeEstimate || m_done >= m_files) {
        return std::nullopt;
    }
    const double perFile = double(m_lastDone - m_started) / m_done;
    const double left = perFile * (m_files - m_done) - double(now - m_lastDone);
    return std::max<qint64>(qint64(left + 0.5), 1000);
}

QString timeLeftText(qint64 milliseconds) {
    // Rounded up to the step, so that the last seconds never read as none.
    const auto roundedUp = [](qint64 seconds, qint64 step) {
        return (seconds + step - 1) / step * step;
    };
    const qint64 seconds = (std::max<qint64>(milliseconds, 0) + 999) / 1000;
    if (seconds <= 55) {
        return QStringLiteral("about %1 s left").arg(std::max<qint64>(roundedUp(seconds, 5), 5));
    }
    if (seconds < 595) {
        const qint64 tens = roundedUp(seconds, 10);
        if (tens % 60 == 0) {
            return QStringLiteral("about %1 min left").arg(tens / 60);
        }
        return QStringLiteral("about %1 min %2 s left").arg(tens / 60).arg(tens % 60);
    }
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return QStringLiteral("about %1 min left").arg(minutes);
    }
    if (minutes % 60 == 0) {
        return QStringLiteral("about %1 h left").arg(minutes / 60);
    }
    return QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace zentavo
