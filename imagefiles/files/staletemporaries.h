#pragma once

#include <QByteArray>
#include <QString>

namespace zentavo {

// The start of the name of every temporary file this process writes beside an output:
// ".zt-HHHHHHHH-PID-", where HHHHHHHH stands for the machine (its host name, hashed) and PID
// for the process. A run that finds such a file of a process that no longer runs on this
// machine knows it for a leftover of a killed run. Any thread.
QByteArray temporaryNamePrefix();

// Removes from folder the temporary files that processes of this machine left when they were
// killed: only names of the form above, of this machine, whose process is no longer running,
// and only plain files. Files of running processes and of other machines sharing the folder
// stay. Returns the number removed; a folder that cannot be read removes nothing. Any thread.
int removeStaleTemporaries(const QString& folder);

}  // namespace zentavo
