#include "imagefiles/jpeg/savejpeg.h"

#include "imagefiles/files/atomicfile.h"
#include "imagefiles/jpeg/jpegrows.h"
#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"
#include "report/zentavoerror.h"

#include <turbojpeg.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace zentavo {

namespace {

void requireQuality(int quality) {
    if (quality < 1 || quality > 100) {
        throw WriteFailure{
            GdiplusStatus::InvalidParameter,
            QStringLiteral("The JPEG quality %1 is not between 1 and 100").arg(quality)};
    }
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

// The encoder's words as a failure: out of memory, or the encoder's own.
[[noreturn]] void encodingFailed(const QString& words) {
    const bool memory = words.contains(QLatin1String("memory"), Qt::CaseInsensitive) ||
                        words.contains(QLatin1String("alloc"), Qt::CaseInsensitive);
    throw WriteFailure{memory ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
                       QStringLiteral("The JPEG encoder failed: ") + words};
}

// The parts of a JPEG made from info, of size pixels: its metadata made true of it, with a
// thumbnail drawn from thumbnailSource when the file had one.
JpegStreamParts partsFor(const Picture& info, QSize size, const QByteArray& profile,
                         const std::function<QImage()>& thumbnailSource) {
    JpegStreamParts parts;
    parts.metadata = jpegMetadataFor(info.metadata.get(),
                                     OutputPicture{size, info.axesSwapped, thumbnailSource});
    parts.iccProfile = profile;
    return parts;
}

// Runs write with the failures of the writer mapped to its error.
template <typename Write>
void asJpegWriter(bool* status, Write&& write) {
    GdiplusStatus failure = GdiplusStatus::Ok;
    try {
        write();
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

// Writes what encode returns.
template <typename Encode>
void saveEncoded(const QString& fileName, bool* status, Encode&& encode) {
    asJpegWriter(status, [&] { writeFileAtomically(fileName, encode()); });
}

}  // namespace

QByteArray encodeJpeg(const Picture& picture, int quality) {
    requirePixels(picture);
    requireQuality(quality);
    QImage pixels;
    int pixelFormat = TJPF_BGRX;
    int subsampling = TJSAMP_420;
    QByteArray profile = iccProfileOf(picture);
    if (!picture.cmyk.isNull()) {
        // Ink samples as Adobe stores them (255 is no ink), 8 bits, with the CMYK profile.
        pixels = picture.cmyk.format() == QImage::Format_RGBA8888
                     ? picture.cmyk
                     : picture.cmyk.convertToFormat(QImage::Format_RGBA8888);
        requireAllocated(pixels);
        pixelFormat = TJPF_CMYK;
        subsampling = picture.jpegSubsampling >= 0 && picture.jpegSubsampling < TJ_NUMSAMP &&
                              picture.jpegSubsampling != TJSAMP_GRAY
                          ? picture.jpegSubsampling
                          : TJSAMP_444;
        profile = picture.cmykProfile;
    } else if (isGreyFormat(picture.image) || picture.jpegSubsampling == TJSAMP_GRAY) {
        // A decoded grey JPEG goes back to the encoder as it is, without a copy.
        pixels = picture.image.format() == QImage::Format_Grayscale8
                     ? picture.image
                     : flattenedOntoWhite(picture.image).convertToFormat(QImage::Format_Grayscale8);
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
    const JpegStreamParts parts =
        partsFor(picture, picture.image.size(), profile, [&] { return picture.image; });
    QString failure;
    const QByteArray encoded =
        compressRows(pixels, pixelFormat, subsampling, quality, parts, &failure);
    if (encoded.isEmpty()) {
        encodingFailed(failure);
    }
    return encoded;
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
    JpegStreamParts parts = partsFor(
        planar.info, QSize(planar.width, planar.height), iccProfileOf(planar.info),
        [&] { return planarPreview(planar, metadataThumbnailSide(planar.info.metadata.get())); });
    parts.trailer = planar.trailer;
    QString failure;
    QByteArray encoded = compressPlanes(planar, quality, parts, &failure);
    if (encoded.isEmpty()) {
        encodingFailed(failure);
    }
    return encoded;
}

void saveJpegStream(const QByteArray& jpeg, const QString& fileName, bool* status) {
    saveEncoded(fileName, status, [&] { return jpeg; });
}

std::optional<QString> commitJpegFile(AtomicFile& file, bool* status) {
    std::optional<QString> placed;
    asJpegWriter(status, [&] { placed = file.commit(); });
    return placed;
}

void SaveJpeg(const Picture& picture, const QString& fileName, int quality, bool* status) {
    saveEncoded(fileName, status, [&] { return encodeJpeg(picture, quality); });
}

void SaveJpeg(const PlanarJpeg& planar, const QString& fileName, int quality, bool* status) {
    saveEncoded(fileName, status, [&] { return encodeJpeg(planar, quality); });
}

}  // namespace zentavo
