#pragma once

#include <QByteArray>

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

}  // namespace zentavo
