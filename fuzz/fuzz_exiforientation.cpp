// Fuzz target: the EXIF orientation as the program reads it, the JPEG header read through
// libjpeg, and the EXIF block made true of an output, on any bytes.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"

#include <cstdint>

using namespace zentavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray payload(reinterpret_cast<const char*>(data), qsizetype(size));
    const int fromBlock = exifBlockOrientation(payload);
    fuzz::check(fromBlock >= 1 && fromBlock <= 8, "an EXIF orientation is 1 to 8");
    // The same bytes as a JPEG's first segment (an EXIF block), and as a whole JPEG.
    QByteArray jpeg("\xFF\xD8\xFF\xE1", 4);
    const QByteArray segment = QByteArray("Exif\0\0", 6) + payload.left(0xFFFF - 8);
    jpeg.append(char((segment.size() + 2) >> 8)).append(char((segment.size() + 2) & 0xFF));
    jpeg += segment;
    for (const QByteArray& bytes : {jpeg, payload}) {
        const JpegHeader header = readJpegHeader(bytes);
        fuzz::check(header.iccProfile.size() <= bytes.size(),
                    "an ICC profile comes from the file's own bytes");
        const auto metadata = jpegMetadataOf(header);
        const int orientation = metadataOrientation(metadata.get());
        fuzz::check(orientation >= 1 && orientation <= 8, "a JPEG's orientation is 1 to 8");
        try {
            const JpegMetadataOutput output =
                jpegMetadataFor(metadata.get(), OutputPicture{QSize(16, 8), true, {}});
            for (const JpegSegment& written : output.segments) {
                if (written.data.startsWith(QByteArray("Exif\0\0", 6))) {
                    fuzz::check(exifBlockOrientation(written.data.mid(6)) == 1,
                                "an output's orientation is 1");
                }
            }
        } catch (const WriteFailure&) {
            // A block that cannot be written is refused with a reason, never written bent.
        }
    }
    return 0;
}
