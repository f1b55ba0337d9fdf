#pragma once

#include <QByteArray>
#include <QString>

namespace zentavo {

// An output file written under a temporary name in its destination folder and renamed over the
// final name only after every byte was written, flushed and synced. Until commit() succeeds the
// final name is untouched: an earlier file of that name stays as it was, and a failed or
// abandoned write leaves nothing behind (the destructor removes the temporary file).
//
// The temporary name is short (".zt-XXXXXX.tmp"), so any final name the file system accepts
// (up to 255 bytes) works. A final name that is a symbolic link is replaced as a name: rename()
// swaps the directory entry, and the link's target is never opened.
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
    // (0666 less the process's umask).
    void open();
    // Appends size bytes; retries short writes.
    void write(const char* data, qsizetype size);
    // Syncs, closes and renames over the final name. After a failure the temporary file is gone.
    void commit();
    // Removes the temporary file; the final name stays untouched. Safe to call twice.
    void discard();

    const QString& finalPath() const { return m_finalPath; }

private:
    [[noreturn]] void fail(const QString& what, int errorNumber);

    QString m_finalPath;
    QByteArray m_tempPath;  // encoded for the file system
    int m_fd = -1;
    int m_slot = -1;  // in the table removeUnfinishedFiles() reads
};

// Removes the temporary files of every AtomicFile not yet committed or discarded, for a process
// that must end at once (a second interrupt): what ends then leaves no half-written file.
// Async-signal-safe; call it from a signal handler just before _exit().
void removeUnfinishedFiles();

// Writes bytes to path through an AtomicFile. Throws WriteFailure.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace zentavo
