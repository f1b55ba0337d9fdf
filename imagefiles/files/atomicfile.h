#pragma once

#include "imagefiles/files/finalname.h"

#include <QByteArray>
#include <QString>

#include <ctime>
#include <memory>
#include <optional>

namespace zentavo {

// The access and modification times a file is given, as stat() reports them.
struct FileTimes {
    timespec accessed{};
    timespec modified{};
};

// An output file written under a temporary name in its destination folder and renamed over the
// final name only after every byte was written, flushed and synced. Until commit() succeeds the
// final name is untouched: an earlier file of that name stays as it was, and a failed or
// abandoned write leaves nothing behind (the destructor removes the temporary file).
//
// The temporary name is short (temporaryNamePrefix() and six letters, about 30 bytes), so any
// final name the file system accepts (up to 255 bytes) works; it names the machine and the
// process, so a later run can tell the leftovers of a killed process (removeStaleTemporaries).
// A final name that is a symbolic link is replaced as a name: rename() swaps the directory
// entry, and the link's target is never opened.
//
// The class never asks whether the final name may be replaced; a caller that must protect a file
// (an input of the run) checks device and inode before writing. Any thread; one object per
// thread. Failures throw WriteFailure (status 7, or 3 when the system is out of memory).
class AtomicFile {
public:
    explicit AtomicFile(const QString& finalPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside the final name, with the permissions a new file gets
    // (0666 less the process's umask, as it was when the first file was created).
    void open();
    // Appends size bytes; retries short writes.
    void write(const char* data, qsizetype size);
    // What commit() does when the final name is taken by then (Replace unless set).
    void setExisting(ExistingOutput existing) { m_existing = existing; }
    // Times the file carries from the moment it has its final name (unless set, the time of
    // writing).
    void setTimes(const FileTimes& times) { m_times = times; }
    // Syncs, closes and renames to the final name as setExisting() says. The path the file
    // now has (the final path, or a numbered name when both are kept); nothing when the file
    // was dropped because its name was taken and Skip was set. After a failure the temporary
    // file is gone.
    std::optional<QString> commit();
    // Removes the temporary file; the final name stays untouched. Safe to call twice.
    void discard();

    const QString& finalPath() const { return m_finalPath; }

private:
    [[noreturn]] void fail(const QString& what, int errorNumber);

    QString m_finalPath;
    QByteArray m_tempPath;  // encoded for the file system
    int m_fd = -1;
    int m_slot = -1;  // in the table removeUnfinishedFiles() reads
    ExistingOutput m_existing = ExistingOutput::Replace;
    std::optional<FileTimes> m_times;
};

// How the files written on this thread are committed while a scope lives, for writers that
// take no such settings of their own (writeFileAtomically() and the writers built on it). The
// innermost scope of the thread counts; outside any scope files replace and take the time of
// writing.
struct CommitRules {
    ExistingOutput existing = ExistingOutput::Replace;
    std::optional<FileTimes> times;
    // The file is written and left unfinished (not synced, not under its name) for the scope's
    // owner to take with takeUnfinished() and commit where it likes: on another thread, say,
    // while this one goes on with the next file instead of waiting for the disk.
    bool leaveUnfinished = false;
};
class CommitScope {
public:
    explicit CommitScope(const CommitRules& rules);
    ~CommitScope();
    CommitScope(const CommitScope&) = delete;
    CommitScope& operator=(const CommitScope&) = delete;

    const CommitRules& rules() const { return m_rules; }
    // True once a file was committed in this scope.
    bool committed() const { return m_committed; }
    // Where the last file committed in this scope went; nothing when Skip dropped it.
    const std::optional<QString>& placedAt() const { return m_placedAt; }
    // Records a commit of this thread (writeFileAtomically() calls it).
    void recordCommit(const std::optional<QString>& placedAt);
    // Holds a file written under leaveUnfinished; one held before is committed first.
    void holdUnfinished(std::unique_ptr<AtomicFile> file);
    // The file left unfinished in this scope, if any; its commit is then the taker's to record.
    std::unique_ptr<AtomicFile> takeUnfinished() { return std::move(m_unfinished); }

    // The innermost scope of this thread, or none.
    static CommitScope* current();

private:
    CommitRules m_rules;
    CommitScope* m_outer;
    bool m_committed = false;
    std::optional<QString> m_placedAt;
    std::unique_ptr<AtomicFile> m_unfinished;
};

// Removes the temporary files of every AtomicFile not yet committed or discarded, for a process
// that must end at once (a second interrupt): what ends then leaves no half-written file.
// Async-signal-safe; call it from a signal handler just before _exit().
void removeUnfinishedFiles();

// Writes bytes to path through an AtomicFile, committed as this thread's CommitScope says (and
// recorded in it), or left unfinished in the scope when its rules say so. Throws WriteFailure.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace zentavo
