// Fuzz target: the EXIF orientation reader, its reset and the JPEG marker walk, on any bytes.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/jpeg/jpegmarkers.h"

#include <cstdint>

using namespace zentavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fromPayload = exifOrientation(data, size);
    fuzz::check(fromPayload >= 1 && fromPayload <= 8, "an EXIF orientation is 1 to 8");
    // The same bytes as a JPEG's first segment, and as a whole JPEG.
    QByteArray jpeg("\xFF\xD8\xFF\xE1", 4);
    const qsizetype length = std::min<qsizetype>(qsizetype(size) + 2, 0xFFFF);
    jpeg.append(char(length >> 8)).append(char(length & 0xFF));
    jpeg.append(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& bytes :
         {jpeg, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))}) {
        const JpegMarkers markers = scanJpegMarkers(bytes);
        fuzz::check(markers.orientation >= 1 && markers.orientation <= 8,
                    "a JPEG's orientation is 1 to 8");
        fuzz::check(markers.iccProfile.size() <= bytes.size(),
                    "an ICC profile comes from the file's own bytes");
        QByteArray reset = bytes;
        resetJpegOrientation(reset);
        fuzz::check(reset.size() == bytes.size(), "a reset changes bytes, never the length");
        fuzz::check(scanJpegMarkers(reset).orientation == 1, "after a reset the orientation is 1");
    }
    return 0;
}
