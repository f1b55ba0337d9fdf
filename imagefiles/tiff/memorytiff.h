#pragma once

#include <QByteArray>
#include <QString>

#include <tiffio.h>

namespace zentavo {

// A TIFF that libtiff reads from bytes held in memory, never from the file again.
struct MemoryTiffSource {
    const QByteArray* bytes;
    toff_t position = 0;
};

// Opens source for reading with options (handlers, limits; may be null). The source must outlive
// the returned TIFF. Null when libtiff refuses the file.
TIFF* openMemoryTiff(MemoryTiffSource& source, TIFFOpenOptions* options);

// A TIFF that libtiff writes into memory. The bytes grow as libtiff writes, and libtiff seeks
// back to patch offsets, so they are a file-like stream rather than an append-only one.
struct MemoryTiffFile {
    QByteArray bytes;
    qint64 position = 0;
    QString error;  // libtiff's first error
};

// Opens file with mode: "wm" to write a new TIFF, "r+m" to change the one the bytes hold (no
// memory mapping, which growing bytes cannot offer). Errors are kept in file.error, warnings are
// not heard. The file must outlive the returned TIFF. Null when libtiff refuses.
TIFF* openMemoryTiffFile(MemoryTiffFile& file, const char* mode);

}  // namespace zentavo
