#include "batch/runorder.h"

#include <algorithm>

namespace zentavo {

void RunOrder::planFile(int index, bool jpeg, const QString& inputPath, const QString& inputKey,
                        const QString& outputPath, const QString& outputKey) {
    std::lock_guard lock(m_mutex);
    if (jpeg) {
        m_jpegPending.insert(index);
    }
    m_claims[outputKey].push_back({index, inputKey, inputPath, outputPath});
    m_outputOf[index] = outputKey;
}

bool RunOrder::waitForRoomTurn(int index) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || m_nextRoomTurn >= index; });
    return !m_cancelled;
}

void RunOrder::roomTaken(int index) {
    std::lock_guard lock(m_mutex);
    if (index < m_nextRoomTurn) {
        return;
    }
    m_roomTakenEarly.insert(index);
    while (m_roomTakenEarly.erase(m_nextRoomTurn) > 0) {
        ++m_nextRoomTurn;
    }
    m_changed.notify_all();
}

void RunOrder::settleQuality(int index, std::optional<QualityStep> step) {
    std::lock_guard lock(m_mutex);
    if (!m_jpegPending.count(index) || m_steps.count(index)) {
        return;
    }
    m_steps[index] = step;
    applyQualitySteps();
    m_changed.notify_all();
}

void RunOrder::applyQualitySteps() {
    while (!m_jpegPending.empty()) {
        const int first = *m_jpegPending.begin();
        const auto step = m_steps.find(first);
        if (step == m_steps.end()) {
            return;
        }
        if (step->second) {
            switch (step->second->kind) {
                case QualityStep::Raise:
                    m_quality = std::max(m_quality, step->second->value);
                    break;
                case QualityStep::Set:
                    m_quality = step->second->value;
                    break;
                case QualityStep::Keep:
                    break;
            }
        }
        m_qualities[first] = m_quality;
        m_steps.erase(step);
        m_jpegPending.erase(m_jpegPending.begin());
    }
}

std::optional<int> RunOrder::qualityFor(int index) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || m_qualities.count(index) > 0; });
    if (m_cancelled) {
        return std::nullopt;
    }
    return m_qualities[index];
}

bool RunOrder::waitForQualityStep(int index) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_cancelled || !m_jpegPending.count(index) || m_steps.count(index) > 0;
    });
    return !m_cancelled;
}

std::optional<QString> RunOrder::mayWrite(int index, bool refuseTaken) {
    std::unique_lock lock(m_mutex);
    const auto key = m_outputOf.find(index);
    if (key == m_outputOf.end()) {
        return QString();
    }
    const std::vector<Claim>& claims = m_claims[key->second];
    const auto mine = std::find_if(claims.begin(), claims.end(),
                                   [&](const Claim& claim) { return claim.index == index; });
    const QString inputKey = mine != claims.end() ? mine->inputKey : QString();
    const Claim* writer = nullptr;
    m_changed.wait(lock, [&] {
        if (m_cancelled) {
            return true;
        }
        writer = nullptr;
        for (const Claim& claim : claims) {
            if (claim.index >= index || claim.inputKey == inputKey) {
                continue;
            }
            const auto ended = m_ended.find(claim.index);
            if (ended == m_ended.end()) {
                return false;
            }
            if (ended->second && !writer) {
                writer = &claim;
            }
        }
        return true;
    });
    if (m_cancelled) {
        return std::nullopt;
    }
    if (!writer || !refuseTaken) {
        return QString();
    }
    return QStringLiteral("%1 was already written by file %2 of this run (%3).")
        .arg(writer->outputPath)
        .arg(writer->index)
        .arg(writer->inputPath);
}

void RunOrder::finished(int index, bool written) {
    std::lock_guard lock(m_mutex);
    m_ended[index] = written;
    if (index >= m_nextRoomTurn) {
        m_roomTakenEarly.insert(index);
    }
    while (m_roomTakenEarly.erase(m_nextRoomTurn) > 0) {
        ++m_nextRoomTurn;
    }
    if (m_jpegPending.count(index) && !m_steps.count(index) && !m_qualities.count(index)) {
        m_steps[index] = std::nullopt;
        applyQualitySteps();
    }
    m_changed.notify_all();
}

void RunOrder::cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_changed.notify_all();
}

bool RunOrder::isCancelled() const {
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

}  // namespace zentavo
