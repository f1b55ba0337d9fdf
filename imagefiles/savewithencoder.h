#pragma once

#include "imagefiles/picture/encoderquality.h"
#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace zentavo {

// The encoders the program can write with, in the order the registry lists them.
enum class EncoderId { Bmp, Jpeg, Gif, Tiff, Png, Webp, Heif, Avif, Jxl };

// One entry of the encoder registry.
struct ImageEncoder {
    EncoderId clsid;
    QString mimeType;     // "image/png", as the registry compares it
    QString description;  // for people: "PNG"
    // The whole file's bytes for picture, metadata included, at quality where the format is
    // lossy and takes one (WebP, HEIF, AVIF, JPEG XL; the others use their defaults). Throws
    // WriteFailure. Reentrant.
    QByteArray (*encode)(const Picture& picture, const EncoderQuality& quality);
};

// The JPEG quality SaveWithEncoder uses for "image/jpeg", the encoders' own default setting.
inline constexpr int DefaultJpegQuality = 85;

// The registry: BMP, JPEG, GIF, TIFF, PNG, WebP, HEIF ("image/heic" and "image/heif"), AVIF
// and JPEG XL, in that order. Thread-safe (read-only).
const QList<ImageEncoder>& imageEncoders();

// Finds the first encoder whose MIME type equals mimeType, ignoring case. True and *clsid set
// when one exists; false otherwise (clsid untouched). Thread-safe.
bool GetEncoderClsid(const QString& mimeType, EncoderId* clsid);

// Writes picture to fileName with the encoder registered for mimeType, at its default settings:
// "image/bmp" 24-bit BMP, "image/jpeg" JPEG at DefaultJpegQuality, "image/gif" GIF (lossless
// from a GIF's indices, quantised otherwise), "image/tiff" deflate TIFF, "image/png" PNG at
// zlib level 6; "image/webp", "image/heic", "image/heif", "image/avif" and "image/jxl" at
// quality (a picture read from a lossless WebP, AVIF or JPEG XL file is written without loss).
// The file is written under a temporary name and renamed over fileName, so on failure nothing
// is left and an existing file of that name is untouched.
//
// Returns true when the file was written. On false, *reason (when given) says why in a sentence
// ("No encoder for the type image/x-pcx", "Cannot create a file in /x: Permission denied").
// Never throws. Reentrant: any thread, one call per file.
bool SaveWithEncoder(const Picture& picture, const QString& fileName, const QString& mimeType,
                     QString* reason = nullptr, const EncoderQuality& quality = {});

// Writes picture to path as a 24-bit BMP (alpha composed onto white) through a temporary name.
// Throws ZentavoError(ErrorNumber::CannotSave) whose description names the file and the cause.
// Reentrant: any thread.
void SaveBitmap(const Picture& picture, const QString& path);

}  // namespace zentavo
