#pragma once

#include "batch/joboptions.h"

#include <QString>
#include <QStringList>

namespace zentavo {

// The command line of zentavo-batch, parsed. Its options stand for the window's controls.
struct CliArguments {
    FixedJobOptions options;
    int jobs = 0;           // 0: one per core
    QString scanExtension;  // empty: folders are expanded as dropped folders
    QString filesFrom;      // a file of paths, "-" for standard input; empty: none
    bool nullSeparated = false;  // names in filesFrom (and --dry-run's lines) end with NUL
    bool dryRun = false;
    bool quiet = false;    // no progress display
    bool verbose = false;  // error reports in full as well
    bool help = false;
    bool version = false;
    QStringList paths;
    QString error;  // set when the command line is wrong

    bool ok() const { return error.isEmpty(); }
};

// Parses the arguments after the program name. "--" ends the options, so a path may begin
// with "-". Never throws; a mistake sets error.
CliArguments parseCliArguments(const QStringList& arguments);

// The text of --help.
QString cliUsage();

}  // namespace zentavo
