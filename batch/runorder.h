#pragma once

#include <QString>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace zentavo {

// What a JPEG file does to the run's quality once it has loaded: Smart-Detect raises the running
// quality to its estimate, Fixed (and Smart-Detect without an estimate) sets it to the slider,
// Keep leaves it (no quality mode selected, or the statement failed and was reported).
struct QualityStep {
    enum Kind { Keep, Raise, Set };
    Kind kind = Keep;
    int value = 0;
};

// The order one run keeps between workers that otherwise take each file on its own, so that the
// outcome is the one a run over the list one file at a time gives:
//  - room for decoded pictures is taken in list order, so no file ever holds memory that an
//    earlier file it waits for still needs;
//  - the JPEG quality runs over the list: a file's quality is known once every earlier JPEG
//    file has loaded (and given its step) or failed to load (and given none);
//  - an output name belongs to the first file in list order that really writes it; a file
//    listed again writes its output again.
// Files are announced in list order on the driving thread as they are planned, before their
// workers start. Every planned file must end with finished(), whatever became of it. Every wait
// ends early, with no answer, once cancel() was called. Thread-safe.
class RunOrder {
public:
    // Planning. inputKey identifies the input file at inputPath (two entries of one file share
    // it); outputKey the output file.
    void planFile(int index, bool jpeg, const QString& inputPath, const QString& inputKey,
                  const QString& outputPath, const QString& outputKey);

    // Blocks until every earlier file has taken its room (or ended). False when cancelled.
    bool waitForRoomTurn(int index);
    // index has taken its room (or will not take any); later files may take theirs.
    void roomTaken(int index);

    // The load outcome of a JPEG file: its step when it loaded, none when it did not.
    void settleQuality(int index, std::optional<QualityStep> step);
    // The quality index is written at (0 when no mode ever chose one). Blocks until every
    // earlier JPEG file has settled; index must have settled. None when cancelled.
    std::optional<int> qualityFor(int index);
    // Blocks until the JPEG file index has given its step or ended without one; at once for a
    // file that gives none. False when cancelled. For callers that must know a file has
    // loaded, such as tests that fix the order in which files load.
    bool waitForQualityStep(int index);

    // Blocks until every earlier file of another input that shares index's output name has
    // ended. The refusal text when one of them wrote it (and refuseTaken), the empty text when
    // index may write; none when cancelled.
    std::optional<QString> mayWrite(int index, bool refuseTaken = true);

    // index has ended; written says whether its output was written.
    void finished(int index, bool written);

    void cancel();
    bool isCancelled() const;

private:
    struct Claim {
        int index;
        QString inputKey;
        QString inputPath;
        QString outputPath;
    };
    void applyQualitySteps();  // with the lock held

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;

    // Room turns.
    int m_nextRoomTurn = 1;
    std::set<int> m_roomTakenEarly;

    // Quality: JPEG files in list order whose step is not applied yet; the steps that came.
    std::set<int> m_jpegPending;
    std::map<int, std::optional<QualityStep>> m_steps;
    std::map<int, int> m_qualities;
    int m_quality = 0;

    // Output names.
    std::map<QString, std::vector<Claim>> m_claims;
    std::map<int, QString> m_outputOf;
    std::map<int, bool> m_ended;  // index -> written
};

}  // namespace zentavo
