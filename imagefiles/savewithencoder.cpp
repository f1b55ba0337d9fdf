#include "imagefiles/savewithencoder.h"

#include "imagefiles/atomicfile.h"
#include "imagefiles/encoders.h"
#include "imagefiles/gdiplusstatus.h"
#include "imagefiles/metadata.h"
#include "imagefiles/savejpeg.h"
#include "shell/report/zentavoerror.h"

#include <new>

namespace zentavo {

namespace {

QByteArray encodeWith(EncoderId clsid, const Picture& picture) {
    switch (clsid) {
        case EncoderId::Bmp:
            return encodeBmp(picture);
        case EncoderId::Jpeg:
            return withMetadata(encodeJpeg(picture, DefaultJpegQuality), PictureFormat::Jpeg,
                                picture);
        case EncoderId::Gif:
            return encodeGif(picture);
        case EncoderId::Tiff:
            return withMetadata(encodeTiff(picture), PictureFormat::Tiff, picture);
        case EncoderId::Png:
            return withMetadata(encodePng(picture), PictureFormat::Png, picture);
    }
    throw WriteFailure{GdiplusStatus::NotImplemented, QStringLiteral("Unknown encoder")};
}

// Encodes and writes; the reason of a failure, empty on success.
QString encodeAndWrite(EncoderId clsid, const Picture& picture, const QString& fileName) {
    try {
        writeFileAtomically(fileName, encodeWith(clsid, picture));
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
    static const QList<ImageEncoder> encoders = {
        {EncoderId::Bmp, QStringLiteral("image/bmp"), QStringLiteral("BMP")},
        {EncoderId::Jpeg, QStringLiteral("image/jpeg"), QStringLiteral("JPEG")},
        {EncoderId::Gif, QStringLiteral("image/gif"), QStringLiteral("GIF")},
        {EncoderId::Tiff, QStringLiteral("image/tiff"), QStringLiteral("TIFF")},
        {EncoderId::Png, QStringLiteral("image/png"), QStringLiteral("PNG")},
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
                     QString* reason) {
    EncoderId clsid;
    QString failure;
    if (!GetEncoderClsid(mimeType, &clsid)) {
        failure = QStringLiteral("No encoder for the type ") + mimeType;
    } else {
        failure = encodeAndWrite(clsid, picture, fileName);
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
