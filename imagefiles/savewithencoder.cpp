#include "imagefiles/savewithencoder.h"

#include "imagefiles/bmp/bmpcodec.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/gif/gifcodec.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/png/pngcodec.h"
#include "imagefiles/tiff/tiffcodec.h"
#include "imagefiles/webp/webpcodec.h"
#include "report/zentavoerror.h"

#include <new>

namespace zentavo {

namespace {

QByteArray encodeWith(EncoderId clsid, const Picture& picture, const EncoderQuality& quality) {
    for (const ImageEncoder& encoder : imageEncoders()) {
        if (encoder.clsid == clsid) {
            return encoder.encode(picture, quality);
        }
    }
    throw WriteFailure{GdiplusStatus::NotImplemented, QStringLiteral("Unknown encoder")};
}

QString encodeAndWrite(EncoderId clsid, const Picture& picture, const QString& fileName,
                       const EncoderQuality& quality = {}) {
    try {
        writeFileAtomically(fileName, encodeWith(clsid, picture, quality));
        return {};
    } catch (const WriteFailure& failure) {
        return failure.reason.isEmpty() ? QStringLiteral("The encoder failed") : failure.reason;
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Not enough memory to write %1").arg(fileName);
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
}

}  // namespace

const QList<ImageEncoder>& imageEncoders() {
    // The file's bytes, with the picture's metadata where the format holds it; GIF and BMP
    // writers carry what they keep themselves.
    static const QList<ImageEncoder> encoders = {
        {EncoderId::Bmp, QStringLiteral("image/bmp"), QStringLiteral("BMP"),
         [](const Picture& picture, const EncoderQuality&) { return encodeBmp(picture); }},
        {EncoderId::Jpeg, QStringLiteral("image/jpeg"), QStringLiteral("JPEG"),
         [](const Picture& picture, const EncoderQuality&) {
             return withMetadata(encodeJpeg(picture, DefaultJpegQuality), PictureFormat::Jpeg,
                                 picture);
         }},
        {EncoderId::Gif, QStringLiteral("image/gif"), QStringLiteral("GIF"),
         [](const Picture& picture, const EncoderQuality&) { return encodeGif(picture); }},
        {EncoderId::Tiff, QStringLiteral("image/tiff"), QStringLiteral("TIFF"),
         [](const Picture& picture, const EncoderQuality&) {
             return withMetadata(encodeTiff(picture), PictureFormat::Tiff, picture);
         }},
        {EncoderId::Png, QStringLiteral("image/png"), QStringLiteral("PNG"),
         [](const Picture& picture, const EncoderQuality&) {
             return withMetadata(encodePng(picture), PictureFormat::Png, picture);
         }},
        {EncoderId::Webp, QStringLiteral("image/webp"), QStringLiteral("WebP"), encodeWebp},
        {EncoderId::Heif, QStringLiteral("image/heic"), QStringLiteral("HEIC"), encodeHeif},
        {EncoderId::Heif, QStringLiteral("image/heif"), QStringLiteral("HEIF"), encodeHeif},
        {EncoderId::Avif, QStringLiteral("image/avif"), QStringLiteral("AVIF"), encodeAvif},
        {EncoderId::Jxl, QStringLiteral("image/jxl"), QStringLiteral("JPEG XL"), encodeJxl},
    };
    return encoders;
}

bool GetEncoderClsid(const QString& mimeType, EncoderId* clsid) {
    for (const ImageEncoder& encoder : imageEncoders()) {
        if (encoder.mimeType.compare(mimeType, Qt::CaseInsensitive) == 0) {
            if (clsid) {
                *clsid = encoder.clsid;
            }
            return true;
        }
    }
    return false;
}

bool SaveWithEncoder(const Picture& picture, const QString& fileName, const QString& mimeType,
                     QString* reason, const EncoderQuality& quality) {
    EncoderId clsid;
    QString failure;
    if (!GetEncoderClsid(mimeType, &clsid)) {
        failure = QStringLiteral("No encoder for the type ") + mimeType;
    } else {
        failure = encodeAndWrite(clsid, picture, fileName, quality);
    }
    if (reason) {
        *reason = failure;
    }
    return failure.isEmpty();
}

void SaveBitmap(const Picture& picture, const QString& path) {
    const QString failure = encodeAndWrite(EncoderId::Bmp, picture, path);
    if (!failure.isEmpty()) {
        throw ZentavoError(ErrorNumber::CannotSave,
                           QStringLiteral("Cannot save %1. %2").arg(path, failure));
    }
}

}  // namespace zentavo
