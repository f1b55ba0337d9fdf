#include "imagefiles/metadata/metadatacontent.h"

#include "imagefiles/libraries/tjhandle.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

// The EXIF thumbnail: its size as the file has it, and a new one drawn from the output.

namespace zentavo {

namespace {

constexpr int DefaultThumbnailSide = 160;

// The quality a redrawn thumbnail is made at when the old one's cannot be told, and the steps
// down from it until the new one fits the old one's room.
constexpr int ThumbnailQuality = 85;
constexpr int ThumbnailQualityStep = 15;
constexpr int LowestThumbnailQuality = 20;

// libjpeg's standard luminance table, which encoders scale by their quality.
constexpr std::array<int, 64> StandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

struct QuietErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// The quality an encoder used for a JPEG, from its luminance table as libjpeg scales the standard
// one; ThumbnailQuality when the table cannot be read. Plain data and C calls only between
// setjmp and the end: the jump skips destructors.
int qualityOf(const Exiv2::DataBuf& jpeg) {
    jpeg_decompress_struct reader;
    QuietErrors errors;
    reader.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr codec) {
        std::longjmp(reinterpret_cast<QuietErrors*>(codec->err)->jump, 1);
    };
    errors.manager.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&reader);
        return ThumbnailQuality;
    }
    jpeg_create_decompress(&reader);
    jpeg_mem_src(&reader, jpeg.pData_, static_cast<unsigned long>(jpeg.size_));
    jpeg_read_header(&reader, TRUE);
    const JQUANT_TBL* table = reader.quant_tbl_ptrs[0];
    double scale = 0;
    for (size_t i = 0; table && i < StandardLuminance.size(); ++i) {
        scale += 100.0 * table->quantval[i] / StandardLuminance[i];
    }
    jpeg_destroy_decompress(&reader);
    scale /= double(StandardLuminance.size());
    if (!(scale > 0)) {
        return ThumbnailQuality;
    }
    const int quality = int(std::lround(scale <= 100 ? (200 - scale) / 2 : 5000 / scale));
    return std::clamp(quality, LowestThumbnailQuality, 95);
}

const Exiv2::byte* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

// A JPEG of image scaled to fit a square of side pixels at quality. Sampled down to a few times
// the size first, so that a large picture costs no more than a small one.
QByteArray makeThumbnail(const QImage& image, int side, int quality, QSize* made = nullptr) {
    if (image.isNull() || side <= 0) {
        return {};
    }
    QImage small = image;
    if (std::max(image.width(), image.height()) > side * 4) {
        small = image.scaled(side * 4, side * 4, Qt::KeepAspectRatio, Qt::FastTransformation);
    }
    if (std::max(small.width(), small.height()) > side) {
        small = small.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    small = small.convertToFormat(QImage::Format_RGB888);
    const TjCompressor tj;
    if (small.isNull() || !tj.handle) {
        return {};
    }
    if (made) {
        *made = small.size();
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status =
        tjCompress2(tj.handle, small.constBits(), small.width(), int(small.bytesPerLine()),
                    small.height(), TJPF_RGB, &buffer, &size, TJSAMP_420, quality, 0);
    QByteArray jpeg;
    if (status == 0) {
        jpeg = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    }
    tjFree(buffer);
    return jpeg;
}

// The thumbnail's bytes, and its size where its directory states one.
void setThumbnail(Exiv2::ExifData& exif, const QByteArray& thumbnail, QSize size) {
    Exiv2::ExifThumb(exif).setJpegThumbnail(bytesOf(thumbnail), long(thumbnail.size()));
    setIfPresent(exif, "Exif.Thumbnail.ImageWidth", std::uint32_t(size.width()));
    setIfPresent(exif, "Exif.Thumbnail.ImageLength", std::uint32_t(size.height()));
}

Exiv2::ExifData::iterator findTag(Exiv2::ExifData& exif, const char* key) {
    return exif.findKey(Exiv2::ExifKey(key));
}

}  // namespace

// Only a thumbnail that fits nowhere makes the library lay the block out anew.
void redrawThumbnail(Exiv2::ExifData& exif, const OutputPicture& output, int side) {
    const auto length = findTag(exif, "Exif.Thumbnail.JPEGInterchangeFormatLength");
    const bool jpegThumbnail =
        length != exif.end() && findTag(exif, "Exif.Thumbnail.JPEGInterchangeFormat") != exif.end();
    const QImage source =
        jpegThumbnail && output.thumbnailSource ? output.thumbnailSource() : QImage();
    if (source.isNull()) {
        // A thumbnail of the old picture, or one the program does not draw, is not kept.
        Exiv2::ExifThumb(exif).erase();
        return;
    }
    const qsizetype room = length->count() == 1 ? qsizetype(length->toLong(0)) : 0;
    // Made as the old one was, it most often fits at the first try.
    const int firstQuality = qualityOf(Exiv2::ExifThumbC(exif).copy());
    QByteArray first;
    QSize firstSize;
    for (const int tried : {side, side * 3 / 4, side / 2}) {
        for (int quality = firstQuality; quality >= LowestThumbnailQuality;
             quality -= ThumbnailQualityStep) {
            QSize size;
            const QByteArray thumbnail = makeThumbnail(source, tried, quality, &size);
            if (first.isEmpty()) {
                first = thumbnail;
                firstSize = size;
            }
            if (!thumbnail.isEmpty() && thumbnail.size() <= room) {
                setThumbnail(exif, thumbnail, size);
                return;
            }
        }
    }
    if (first.isEmpty()) {
        Exiv2::ExifThumb(exif).erase();
    } else {
        setThumbnail(exif, first, firstSize);
    }
}

int thumbnailSideOf(const Exiv2::ExifData& exif) {
    const Exiv2::DataBuf thumbnail = Exiv2::ExifThumbC(exif).copy();
    if (thumbnail.size_ <= 0) {
        return 0;
    }
    const TjDecompressor tj;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    const bool read =
        tj.handle && tjDecompressHeader3(tj.handle, thumbnail.pData_, unsigned(thumbnail.size_),
                                         &width, &height, &subsampling, &colorspace) == 0;
    return read && width > 0 && height > 0 ? std::max(width, height) : DefaultThumbnailSide;
}

}  // namespace zentavo
