#include "shell/entryoutcomes.h"

#include "filelist/filelist.h"

namespace zentavo {

EntryOutcomes::EntryOutcomes(const FileList& list, QObject* parent) : QObject(parent) {
    // Outcomes belong to places in the list: once the entries move, they would name the wrong
    // files.
    connect(&list, &FileList::rowsInserted, this, &EntryOutcomes::forget);
    connect(&list, &FileList::rowsRemoved, this, &EntryOutcomes::forget);
    connect(&list, &FileList::rowsMoved, this, &EntryOutcomes::forget);
    connect(&list, &FileList::modelReset, this, &EntryOutcomes::forget);
    connect(&list, &FileList::layoutChanged, this, &EntryOutcomes::forget);
    connect(&list, &FileList::dataChanged, this, &EntryOutcomes::forget);
}

void EntryOutcomes::runStarted(int files) {
    forget();
    m_outcomes.assign(size_t(std::max(files, 0)), std::nullopt);
    m_listAsRun = true;
}

void EntryOutcomes::setOutcome(int index, const EntryOutcome& outcome) {
    if (!m_listAsRun || index < 1 || size_t(index) > m_outcomes.size()) {
        return;
    }
    std::optional<EntryOutcome>& slot = m_outcomes[size_t(index - 1)];
    if (!slot) {
        ++m_count;
    }
    slot = outcome;
    emit changed();
}

const EntryOutcome* EntryOutcomes::outcome(int row) const {
    if (row < 0 || size_t(row) >= m_outcomes.size() || !m_outcomes[size_t(row)]) {
        return nullptr;
    }
    return &*m_outcomes[size_t(row)];
}

QString EntryOutcomes::toolTip(int row, const QString& path) const {
    const EntryOutcome* entry = outcome(row);
    if (!entry) {
        return path;
    }
    QString became;
    switch (entry->outcome) {
        case FileOutcome::Written:
            became = QStringLiteral("Written to ") + entry->outputPath;
            break;
        case FileOutcome::NotLoaded:
            became = QStringLiteral("Not loaded: ") + entry->reason;
            break;
        case FileOutcome::NotWritten:
            became = QStringLiteral("Not written: ") + entry->reason;
            break;
        case FileOutcome::Skipped:
            became = entry->reason.isEmpty() ? QStringLiteral("Skipped")
                                             : QStringLiteral("Skipped: ") + entry->reason;
            break;
        case FileOutcome::ResultExists:
            became = QStringLiteral("Skipped, its result exists: ") + entry->outputPath;
            break;
    }
    return path + QLatin1Char('\n') + became;
}

void EntryOutcomes::forget() {
    m_listAsRun = false;
    if (m_outcomes.empty()) {
        return;
    }
    m_outcomes.clear();
    m_count = 0;
    emit changed();
}

}  // namespace zentavo
