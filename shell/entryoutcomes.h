#pragma once

#include "batch/batchrun.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace zentavo {

class FileList;

// What one entry of the list became in the last run.
struct EntryOutcome {
    FileOutcome outcome = FileOutcome::Written;
    QString outputPath;  // where its output went, or would have gone
    QString reason;      // why it was not loaded or written; may be empty for a skipped file
};

// The outcomes of the last run, entry by entry, for the list to show. They hold while the list
// stands as the run found it: any change to the list (an entry added, removed, moved or
// cleared) forgets them, and so does the start of a new run; a run whose list changed under it
// adds no more. GUI thread.
class EntryOutcomes : public QObject {
    Q_OBJECT
public:
    explicit EntryOutcomes(const FileList& list, QObject* parent = nullptr);

    // A run over files entries has started: the last run's outcomes go.
    void runStarted(int files);
    // What entry index (from 1, its place when the run started) became.
    void setOutcome(int index, const EntryOutcome& outcome);

    // The outcome of the entry at row (from 0); null when it has none.
    const EntryOutcome* outcome(int row) const;
    bool isEmpty() const { return m_count == 0; }
    // The entry's tooltip: its path, and on a second line what became of it ("Written to
    // OUTPUT", "Not loaded: REASON", "Not written: REASON", "Skipped"); the path alone when it
    // has no outcome.
    QString toolTip(int row, const QString& path) const;

signals:
    // Outcomes came or went: the list shows them anew.
    void changed();

private:
    void forget();

    std::vector<std::optional<EntryOutcome>> m_outcomes;
    int m_count = 0;           // entries with an outcome
    bool m_listAsRun = false;  // the list is as the running (or last) run found it
};

}  // namespace zentavo
