#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

namespace zentavo::test {

// What a run must make of one corpus file.
enum class Verdict {
    Written,    // its output exists, complete, and reads back at the expected size
    NotLoaded,  // named in the closing message; no output
};

// One file of the hostile corpus.
struct CorpusFile {
    enum class Kind { Regular, Fifo, Link };

    QByteArray name;   // file name as raw bytes
    QByteArray bytes;  // content of a regular file
    Verdict verdict = Verdict::Written;
    QSize flippedSize;  // the output's pixel size after a flip (Written only)
    Kind kind = Kind::Regular;
    QByteArray linkTarget;
    bool partlyKept = false;  // pages after the first are dropped and the closing message says so
};

// The whole corpus: damaged and cut-off files of every format, header and decompression bombs,
// degenerate sizes, the JPEG variants, EXIF orientations, special files. Generated afresh,
// nothing checked in. The arithmetic-coded JPEG is left out when cjpeg is not installed.
std::vector<CorpusFile> hostileCorpus();

// Files with names that trip careless code (blanks, accents, CJK, emoji, shell and glob
// characters, control characters); every one is a valid picture.
std::vector<CorpusFile> oddNameCorpus();

// Creates the files of corpus in folder. Returns false when one could not be made.
bool materialise(const QString& folder, const std::vector<CorpusFile>& corpus);

// The output name zentavo-batch gives a file of that name in a flip run.
QByteArray flippedName(const QByteArray& name);

}  // namespace zentavo::test
