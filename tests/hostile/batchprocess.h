#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace zentavo::test {

// What one run of zentavo-batch did.
struct BatchProcess {
    int exitCode = -1;      // -1 when it did not end normally
    bool crashed = false;   // ended by a signal
    int signal = 0;         // the signal when crashed (from the wait status)
    bool timedOut = false;  // killed after the time allowed
    QByteArray out;         // standard output
    QByteArray err;         // standard error
};

// Runs zentavo-batch with arguments, optionally behind a wrapper command (setpriv, prlimit),
// and waits at most timeoutMs; a run that takes longer is killed and marked timedOut.
// The test fails on nothing here: callers assert on the result.
BatchProcess runBatch(const QStringList& arguments, int timeoutMs = 120000,
                      const QStringList& wrapper = {}, const QString& workingFolder = {});

// The path of the zentavo-batch program under test: $ZENTAVO_BATCH when set, else this build's.
QString batchProgram();

// Every entry of a folder (names as raw bytes, so names that are not UTF-8 stay exact) with a
// fingerprint: the SHA-1 of a regular file's bytes, the target of a link, or the kind of any
// other entry. Sub-folders are walked. Nothing is opened that could block (FIFOs, devices).
QMap<QByteArray, QByteArray> folderFingerprint(const QString& folder);

// The names in a folder as raw bytes, sorted, hidden ones included.
QList<QByteArray> rawEntries(const QString& folder);

// Whether zentavo-batch can be run as another user here: the tests run as root, setpriv is
// installed and that user can reach the program.
bool canDropPrivileges();

// The wrapper that runs a command as the unprivileged user nobody (uid and gid 65534).
QStringList asNobody();

}  // namespace zentavo::test
