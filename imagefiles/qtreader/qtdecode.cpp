#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/qtreader/qtreader.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QtEndian>

#include <mutex>
#include <new>

namespace zentavo::decoders {

namespace {

constexpr quint32 BmpUncompressed = 0;  // BI_RGB
constexpr quint32 BmpRle8 = 1;          // BI_RLE8
constexpr quint32 BmpRle4 = 2;          // BI_RLE4
constexpr quint32 BmpBitFields = 3;     // BI_BITFIELDS

QByteArray formatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Bmp:
            return "bmp";
        case PictureFormat::Ico:
            return "ico";
        case PictureFormat::Tiff:
            return "tiff";
        default:
            return {};
    }
}

// Whether run-length coded rows (RLE8, or RLE4 when nibbles) reach their end-of-bitmap code, or
// end every row, before the data runs out. Encoded runs are two bytes; escapes are end of line,
// end of bitmap, a move by (dx, dy) and absolute runs padded to a whole word.
bool runLengthComplete(const uchar* data, qint64 size, qint64 height, bool nibbles) {
    qint64 at = 0;
    qint64 rows = 0;
    while (at + 2 <= size) {
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0) {
            continue;
        }
        if (code == 0) {
            ++rows;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (at + 2 > size) {
                return false;
            }
            rows += data[at + 1];
            at += 2;
        } else {
            const qint64 bytes = nibbles ? (code + 1) / 2 : code;
            at += (bytes + 1) & ~qint64(1);
        }
        if (rows >= height) {
            return true;
        }
    }
    return false;
}

// Qt's BMP reader returns a "successful" picture with blank rows when the file is cut off.
// For uncompressed bitmaps the size the pixel rows need is known from the header; run-length
// coded ones are walked to their end.
bool bmpCutOff(const QByteArray& bytes) {
    if (bytes.size() < 34) {
        return false;
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const quint32 offset = qFromLittleEndian<quint32>(data + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(data + 14);
    if (headerSize < 40) {
        return false;  // the old core header: left to Qt's own checks
    }
    const qint64 width = qFromLittleEndian<qint32>(data + 18);
    const qint64 height = qAbs(qint64(qFromLittleEndian<qint32>(data + 22)));
    const qint64 bits = qFromLittleEndian<quint16>(data + 28);
    const quint32 compression = qFromLittleEndian<quint32>(data + 30);
    const bool runLength =
        (compression == BmpRle8 && bits == 8) || (compression == BmpRle4 && bits == 4);
    if (!runLength && compression != BmpUncompressed && compression != BmpBitFields) {
        return false;
    }
    // Absurd sizes are refused by the size ceiling; here they must not overflow the product.
    if (width <= 0 || width > limits::MaxSide || height > limits::MaxSide || bits > 64) {
        return false;
    }
    if (runLength) {
        return offset >= quint32(bytes.size()) ||
               !runLengthComplete(data + offset, bytes.size() - offset, height,
                                  compression == BmpRle4);
    }
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return qint64(offset) + rowBytes * height > bytes.size();
}

}  // namespace

LoadResult decodeWithQt(const QByteArray& bytes, PictureFormat format) {
    static std::once_flag limitSet;
    // Qt's default ceiling (128 MB) refuses ordinary panoramas; our own ceilings apply first.
    std::call_once(limitSet, [] {
        QImageReader::setAllocationLimit(int((limits::MaxDecodedBytes >> 20) + 64));
    });
    if (format == PictureFormat::Bmp && bmpCutOff(bytes)) {
        return LoadResult::failure(LoadError::Corrupt,
                                   QStringLiteral("The bitmap file is cut off."));
    }
    // What Qt's plugin says about the file explains a refusal better than its error string.
    LibraryMessages messages;
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    // A fresh reader for every attempt: a reader that failed once is not used again.
    QImageReader reader(&buffer, formatName(format));
    // A bitmap stored top-down reports a negative height.
    const QSize size(qAbs(reader.size().width()), qAbs(reader.size().height()));
    const QImage::Format expected = reader.imageFormat();
    const int bytesPerPixel = expected == QImage::Format_Invalid
                                  ? 4
                                  : std::max(4, QImage::toPixelFormat(expected).bitsPerPixel() / 8);
    if (!size.isEmpty() &&
        !limits::decodedSizeAllowed(size.width(), size.height(), bytesPerPixel)) {
        return LoadResult::failure(
            LoadError::TooBig,
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(size.width())
                .arg(size.height()));
    }
    LoadResult result;
    try {
        QImage image;
        if (!reader.read(&image) || image.isNull()) {
            const bool memory = reader.error() == QImageReader::InvalidDataError &&
                                reader.errorString().contains(QLatin1String("allocat"));
            QString why = reader.errorString();
            if (!messages.last().isEmpty()) {
                why += QStringLiteral("; ") + messages.last();
            }
            return LoadResult::failure(
                memory ? LoadError::OutOfMemory : LoadError::Corrupt,
                QStringLiteral("The picture data is damaged or incomplete (%1).").arg(why));
        }
        // Formats whose header gives no size are held to the same ceiling once read.
        if (!limits::decodedSizeAllowed(image.width(), image.height(), image.depth() / 8)) {
            return LoadResult::failure(
                LoadError::TooBig,
                QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                    .arg(image.width())
                    .arg(image.height()));
        }
        result.picture.image = std::move(image);
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
    result.picture.format = format;
    const QColorSpace space = result.picture.image.colorSpace();
    if (space.isValid()) {
        result.picture.iccProfile = space.iccProfile();
    }
    return result;
}

}  // namespace zentavo::decoders
