#pragma once

#include <QString>
#include <QStringList>

namespace zentavo {

// The closing message of a run, assembled in one place from what the run gathered. Each list
// adds its own section after the first line; a run with nothing to tell says "Done." alone.
struct ClosingMessage {
    bool stopped = false;  // Stop ended the run: "Stopped." and the count of files processed
    int processed = 0;     // files whose output was written
    int total = 0;
    QStringList notLoaded;     // inputs a flip could not load, in list order
    QStringList reencoded;     // lossless runs: JPEGs whose size made them re-encoded outputs
    QStringList partlyKept;    // inputs with pages after the first, which are not kept
    QStringList resultExisted;  // inputs skipped because their outputs were there
    QStringList hiddenErrors;  // error reports not shown: "PATH (line N): REASON"

    QString text() const;
};

}  // namespace zentavo
