#pragma once

#include "imagefiles/metadata/metadata.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zentavo {

// What a JPEG stream carries besides its coefficients.
struct JpegStreamParts {
    JpegMetadataOutput metadata;  // segments, JFIF density, whether the trailer is kept
    QByteArray iccProfile;        // written where the segments name, or first
    QByteArray trailer;           // appended after the image when metadata keeps it
};

// Encodes rows of pixels at quality (1 to 100) with the accurate DCT through libjpeg, as
// TurboJPEG's tjCompress2 encodes them, with parts written into the stream. pixelFormat is
// TurboJPEG's TJPF of the rows (RGB, BGRX, XRGB, GRAY or CMYK, the latter stored as Adobe
// stores it), subsampling its TJSAMP. An empty result, and libjpeg's words in *failure, when it
// fails. Reentrant: any thread.
QByteArray compressRows(const QImage& pixels, int pixelFormat, int subsampling, int quality,
                        const JpegStreamParts& parts, QString* failure);

}  // namespace zentavo
