#include "imagefiles/jpeg/savejpeg.h"

#include "imagefiles/colour/cmyk.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"
#include "report/zentavoerror.h"

#include <turbojpeg.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace zentavo {

namespace {

constexpr int IccMarker = 0xE2;                        // APP2
constexpr char IccSignature[] = "ICC_PROFILE";         // 11 characters and a NUL
constexpr int IccHeaderBytes = 2 + 12 + 2;             // length, signature, sequence and count
constexpr int IccChunkBytes = 65535 - IccHeaderBytes;  // 65519: the length field counts itself

[[noreturn]] void encoderFailed(tjhandle handle) {
    const QString text = QString::fromLatin1(tjGetErrorStr2(handle));
    const bool memory = text.contains(QLatin1String("memory"), Qt::CaseInsensitive) ||
                        text.contains(QLatin1String("alloc"), Qt::CaseInsensitive);
    throw WriteFailure{memory ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
                       QStringLiteral("The JPEG encoder failed: ") + text};
}

void requireQuality(int quality) {
    if (quality < 1 || quality > 100) {
        throw WriteFailure{
            GdiplusStatus::InvalidParameter,
            QStringLiteral("The JPEG quality %1 is not between 1 and 100").arg(quality)};
    }
}

// What every JPEG leaving the encoder gets from the picture it was made of.
QByteArray finishedJpeg(const unsigned char* encoded, unsigned long size, const Picture& info) {
    return withIccProfile(QByteArray(reinterpret_cast<const char*>(encoded), qsizetype(size)),
                          iccProfileOf(info));
}

// A small RGB picture sampled from the planes, at least side pixels on its longer edge (and
// less than twice as many), for an EXIF thumbnail; null when side is 0 (no thumbnail wanted).
// Sampled, not filtered: a thumbnail must cost next to nothing beside the picture.
QImage planarPreview(const PlanarJpeg& planar, int side) {
    if (side <= 0 || planar.planes.empty() || planar.width <= 0 || planar.height <= 0) {
        return {};
    }
    const int longest = std::max(planar.width, planar.height);
    const int step = std::max(1, longest / side);
    QImage preview(planar.width / step, planar.height / step, QImage::Format_RGB888);
    if (preview.isNull()) {
        return {};
    }
    const bool colour = planar.planes.size() == 3;
    const int columns = preview.width();
    std::vector<int> chromaColumn(size_t(columns), 0);
    if (colour) {
        const qint64 chromaWidth = planar.planes[1].width();
        for (int x = 0; x < columns; ++x) {
            chromaColumn[size_t(x)] = int(
                std::min<qint64>(chromaWidth - 1, qint64(x) * step * chromaWidth / planar.width));
        }
    }
    // YCbCr to RGB in 16.16 fixed point, as JPEG defines it.
    constexpr int CrToR = 91881, CbToG = 22554, CrToG = 46802, CbToB = 116130;
    for (int y = 0; y < preview.height(); ++y) {
        const int py = y * step;
        const uchar* luma = planar.planes[0].constScanLine(py);
        uchar* out = preview.scanLine(y);
        if (!colour) {
            for (int x = 0; x < columns; ++x, out += 3) {
                out[0] = out[1] = out[2] = luma[x * step];
            }
            continue;
        }
        const int chromaHeight = planar.planes[1].height();
        const int cy =
            int(std::min<qint64>(chromaHeight - 1, qint64(py) * chromaHeight / planar.height));
        const uchar* cbRow = planar.planes[1].constScanLine(cy);
        const uchar* crRow = planar.planes[2].constScanLine(cy);
        for (int x = 0; x < columns; ++x, out += 3) {
            const int l = luma[x * step];
            const int cb = cbRow[chromaColumn[size_t(x)]] - 128;
            const int cr = crRow[chromaColumn[size_t(x)]] - 128;
            out[0] = uchar(std::clamp(l + ((CrToR * cr + 32768) >> 16), 0, 255));
            out[1] = uchar(std::clamp(l - ((CbToG * cb + CrToG * cr - 32768) >> 16), 0, 255));
            out[2] = uchar(std::clamp(l + ((CbToB * cb + 32768) >> 16), 0, 255));
        }
    }
    return preview;
}

// Runs one compression with a fresh encoder and finishes its output with info's profile and
// metadata. compress(handle, &buffer, &size) returns TurboJPEG's status.
template <typename Compress>
QByteArray compressed(Compress&& compress, const Picture& info) {
    TjCompressor tj;
    if (!tj.handle) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("The JPEG encoder cannot start")};
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int result = compress(tj.handle, &buffer, &size);
    std::unique_ptr<unsigned char, decltype(&tjFree)> owned(buffer, &tjFree);
    if (result != 0) {
        encoderFailed(tj.handle);
    }
    return finishedJpeg(buffer, size, info);
}

// Writes what encode returns, with the failures of the writer mapped to its error.
template <typename Encode>
void saveEncoded(const QString& fileName, bool* status, Encode&& encode) {
    GdiplusStatus failure = GdiplusStatus::Ok;
    try {
        writeFileAtomically(fileName, encode());
        return;
    } catch (const WriteFailure& error) {
        failure = error.status;
    } catch (const std::bad_alloc&) {
        failure = GdiplusStatus::OutOfMemory;
    }
    if (failure == GdiplusStatus::OutOfMemory && status) {
        *status = true;
        return;
    }
    throw ZentavoError(
        ErrorNumber::CannotSave,
        QStringLiteral("Cannot save the image. GDI+ Error:") + QString::number(int(failure)));
}

}  // namespace

QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& profile) {
    if (profile.isEmpty()) {
        return jpeg;
    }
    const qsizetype chunks = (profile.size() + IccChunkBytes - 1) / IccChunkBytes;
    if (chunks > 255) {
        throw WriteFailure{GdiplusStatus::InvalidParameter,
                           QStringLiteral("The colour profile is too large for a JPEG file")};
    }
    // After SOI, and after the JFIF APP0 segment when there is one: readers expect JFIF first.
    qsizetype at = 2;
    if (jpeg.size() >= 6 && uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0) {
        at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    }
    QByteArray markers;
    markers.reserve(profile.size() + chunks * (IccHeaderBytes + 2));
    for (qsizetype i = 0; i < chunks; ++i) {
        const QByteArray part = profile.mid(i * IccChunkBytes, IccChunkBytes);
        const int length = int(part.size()) + IccHeaderBytes;
        markers.append(char(0xFF)).append(char(IccMarker));
        markers.append(char(length >> 8)).append(char(length & 0xFF));
        markers.append(IccSignature, sizeof IccSignature);
        markers.append(char(i + 1)).append(char(chunks));
        markers.append(part);
    }
    QByteArray out = jpeg;
    out.insert(at, markers);
    return out;
}

namespace {

// The JPEG bytes of a CMYK picture at quality 1 to 100 (TurboJPEG, an Adobe CMYK JPEG) with its
// profile. Throws WriteFailure.
QByteArray encodeCmykJpeg(const Picture& picture, int quality) {
    if (quality < 1 || quality > 100) {
        throw WriteFailure{
            GdiplusStatus::InvalidParameter,
            QStringLiteral("The JPEG quality %1 is not between 1 and 100").arg(quality)};
    }
    const TjCompressor tj;
    tjhandle handle = tj.handle;
    if (!handle) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("The JPEG encoder cannot start")};
    }
    const QImage& samples = picture.cmyk;
    const int subsampling = picture.jpegSubsampling >= 0 && picture.jpegSubsampling < TJ_NUMSAMP &&
                                    picture.jpegSubsampling != TJSAMP_GRAY
                                ? picture.jpegSubsampling
                                : TJSAMP_444;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle, samples.constBits(), samples.width(),
                                   int(samples.bytesPerLine()), samples.height(), TJPF_CMYK,
                                   &buffer, &size, subsampling, quality, TJFLAG_ACCURATEDCT);
    QByteArray jpeg;
    if (status == 0) {
        jpeg = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    }
    const QString error = QString::fromLatin1(tjGetErrorStr2(handle));
    tjFree(buffer);
    if (status != 0) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The JPEG encoder failed: ") + error};
    }
    return withIccProfile(jpeg, picture.cmykProfile);
}

}  // namespace

QByteArray encodeJpeg(const Picture& picture, int quality) {
    if (!picture.cmyk.isNull()) {
        return encodeCmykJpeg(picture, quality);
    }
    requirePixels(picture);
    requireQuality(quality);
    const bool grey = isGreyFormat(picture.image) || picture.jpegSubsampling == TJSAMP_GRAY;
    QImage pixels;
    int pixelFormat = TJPF_BGRX;
    int subsampling = TJSAMP_420;
    if (grey && picture.image.format() == QImage::Format_Grayscale8) {
        // A decoded grey JPEG goes back to the encoder as it is, without a copy.
        pixels = picture.image;
        pixelFormat = TJPF_GRAY;
        subsampling = TJSAMP_GRAY;
    } else if (grey) {
        pixels = flattenedOntoWhite(picture.image).convertToFormat(QImage::Format_Grayscale8);
        requireAllocated(pixels);
        pixelFormat = TJPF_GRAY;
        subsampling = TJSAMP_GRAY;
    } else {
        if (picture.image.format() == QImage::Format_RGB888) {
            // Decoded JPEGs are packed RGB, which the encoder takes as it is, without a copy.
            pixels = picture.image;
            pixelFormat = TJPF_RGB;
        } else {
            // Format_RGB32 is 0xffRRGGBB words: B, G, R, X in memory on little-endian machines.
            pixels = flattenedOntoWhite(picture.image);
            pixelFormat = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
        }
        if (picture.jpegSubsampling >= 0 && picture.jpegSubsampling < TJ_NUMSAMP) {
            subsampling = picture.jpegSubsampling;
        }
    }

    return compressed(
        [&](tjhandle handle, unsigned char** buffer, unsigned long* size) {
            return tjCompress2(handle, pixels.constBits(), pixels.width(),
                               int(pixels.bytesPerLine()), pixels.height(), pixelFormat, buffer,
                               size, subsampling, quality, TJFLAG_ACCURATEDCT);
        },
        picture);
}

QByteArray encodeJpeg(const PlanarJpeg& planar, int quality) {
    const size_t count = planar.subsampling == TJSAMP_GRAY ? 1 : 3;
    if (planar.width <= 0 || planar.height <= 0 || planar.subsampling < 0 ||
        planar.subsampling >= TJ_NUMSAMP || planar.planes.size() != count) {
        throw WriteFailure{GdiplusStatus::InvalidParameter, QStringLiteral("The picture is empty")};
    }
    requireQuality(quality);
    for (size_t i = 0; i < count; ++i) {
        const QImage& plane = planar.planes[i];
        // The encoder reads whole chroma samples: a plane must cover its padded size.
        if (plane.width() < tjPlaneWidth(int(i), planar.width, planar.subsampling) ||
            plane.height() < tjPlaneHeight(int(i), planar.height, planar.subsampling)) {
            throw WriteFailure{GdiplusStatus::InvalidParameter,
                               QStringLiteral("A colour plane is smaller than the picture")};
        }
    }
    QString failure;
    QByteArray encoded = compressPlanes(planar, quality, &failure);
    if (encoded.isEmpty()) {
        const bool memory = failure.contains(QLatin1String("memory"), Qt::CaseInsensitive);
        throw WriteFailure{memory ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
                           QStringLiteral("The JPEG encoder failed: ") + failure};
    }
    return withIccProfile(encoded, iccProfileOf(planar.info));
}

void saveJpegStream(const QByteArray& jpeg, const QString& fileName, bool* status) {
    saveEncoded(fileName, status, [&] { return jpeg; });
}

void SaveJpeg(const Picture& picture, const QString& fileName, int quality, bool* status) {
    saveEncoded(fileName, status, [&] {
        return withMetadata(encodeJpeg(picture, quality), PictureFormat::Jpeg, picture);
    });
}

void SaveJpeg(const PlanarJpeg& planar, const QString& fileName, int quality, bool* status) {
    saveEncoded(fileName, status, [&] {
        const PictureMetadata* metadata = planar.info.metadata.get();
        return withJpegMetadata(encodeJpeg(planar, quality), metadata, planar.info.axesSwapped,
                                planarPreview(planar, metadataThumbnailSide(metadata)));
    });
}

}  // namespace zentavo
