#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/png/pngcodec.h"

#include <QColorSpace>
#include <QtEndian>

#include <spng.h>

#include <climits>
#include <memory>
#include <new>
#include <vector>

namespace zentavo::decoders {

namespace {

// PNG colour types, as in the header.
constexpr int PngGrey = 0;
constexpr int PngRgb = 2;
constexpr int PngPalette = 3;
constexpr int PngGreyAlpha = 4;

// The largest ancillary chunk kept, and the most memory all of them may take once inflated.
// Profiles and text are far smaller; a chunk over these is skipped, never a reason to refuse.
constexpr size_t MaxChunkBytes = size_t(16) << 20;
constexpr size_t MaxChunkCache = size_t(64) << 20;

using Context = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;

// How the file's samples become a picture: the decoded format libspng delivers and the Qt
// format that holds it exactly.
struct Plan {
    int spngFormat = SPNG_FMT_PNG;
    int flags = 0;
    QImage::Format format = QImage::Format_Invalid;
    bool indexed = false;  // samples of at most 8 bits unpacked to one index a byte
};

Plan planFor(const spng_ihdr& header, bool colourKey) {
    const bool wide = header.bit_depth == 16;
    Plan plan;
    switch (header.color_type) {
        case PngGrey:
            if (header.bit_depth < 8) {
                // Kept as indices into a grey ramp: exact, and the colour key becomes one
                // transparent entry.
                plan.indexed = true;
                plan.format = QImage::Format_Indexed8;
            } else if (colourKey) {
                plan.spngFormat = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
                plan.flags = SPNG_DECODE_TRNS;
                plan.format = wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
            } else {
                plan.format = wide ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
            }
            break;
        case PngRgb:
            if (colourKey) {
                plan.spngFormat = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
                plan.flags = SPNG_DECODE_TRNS;
                plan.format = wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
            } else if (wide) {
                // Opaque alpha fills the fourth sample that Format_RGBX64 requires.
                plan.spngFormat = SPNG_FMT_RGBA16;
                plan.format = QImage::Format_RGBX64;
            } else {
                plan.format = QImage::Format_RGB888;
            }
            break;
        case PngPalette:
            plan.indexed = true;
            plan.format = QImage::Format_Indexed8;
            break;
        case PngGreyAlpha:
            plan.spngFormat = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
            plan.format = wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
            break;
        default:  // RGB with alpha
            plan.format = wide ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
            break;
    }
    return plan;
}

// The colour table of an indexed picture: the palette with its transparency, or the grey ramp
// of the bit depth with the colour key transparent. Padded to every value the depth can hold,
// so that an index past a short palette reads black rather than outside the table.
QList<QRgb> colourTable(spng_ctx* ctx, const spng_ihdr& header, const spng_trns* trns) {
    const int entries = 1 << header.bit_depth;
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    if (header.color_type == PngPalette) {
        spng_plte plte{};
        if (spng_get_plte(ctx, &plte) == 0) {
            for (uint32_t i = 0; i < plte.n_entries && i < uint32_t(entries); ++i) {
                const int alpha = trns && i < trns->n_type3_entries ? trns->type3_alpha[i] : 255;
                table[i] =
                    qRgba(plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue, alpha);
            }
        }
        return table;
    }
    for (int i = 0; i < entries; ++i) {
        const int grey = i * 255 / (entries - 1);
        table[i] = qRgba(grey, grey, grey, trns && trns->gray == i ? 0 : 255);
    }
    return table;
}

// Unpacks rows of 1, 2 or 4 bits a sample (the leftmost pixel in the high bits) into one byte
// a pixel.
void unpackRows(const std::vector<uchar>& packed, size_t rowBytes, int depth, QImage& image) {
    const int perByte = 8 / depth;
    const int mask = (1 << depth) - 1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* in = packed.data() + size_t(y) * rowBytes;
        uchar* out = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int shift = 8 - depth * (x % perByte + 1);
            out[x] = uchar((in[x / perByte] >> shift) & mask);
        }
    }
}

QString spngReason(int error) {
    const QString text = QString::fromLatin1(spng_strerror(error));
    libraryMessage(MessageSource::Png, true, text);
    return QStringLiteral("The PNG data is damaged or incomplete (%1).").arg(text);
}

// Reads the samples into image: whole for packed indices (interlaced passes land bit by bit),
// row by row into the picture's own rows otherwise.
int decodePixels(spng_ctx* ctx, const spng_ihdr& header, const Plan& plan, QImage& image) {
    if (plan.indexed && header.bit_depth < 8) {
        size_t size = 0;
        int error = spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
        if (error) {
            return error;
        }
        std::vector<uchar> packed(size);
        error = spng_decode_image(ctx, packed.data(), size, SPNG_FMT_PNG, 0);
        if (error) {
            return error;
        }
        unpackRows(packed, size / header.height, header.bit_depth, image);
        return 0;
    }
    int error =
        spng_decode_image(ctx, nullptr, 0, plan.spngFormat, plan.flags | SPNG_DECODE_PROGRESSIVE);
    if (error) {
        return error;
    }
    const size_t rowBytes = size_t(image.width()) * size_t(image.depth() / 8);
    spng_row_info row{};
    do {
        error = spng_get_row_info(ctx, &row);
        if (error) {
            break;
        }
        error = spng_decode_row(ctx, image.scanLine(int(row.row_num)), rowBytes);
    } while (error == 0);
    return error == SPNG_EOI ? 0 : error;
}

// The colour of the file: an embedded profile, the sRGB chunk, or the gamma of sRGB
// primaries. Only an embedded profile counts as the file's own.
void readColour(spng_ctx* ctx, Picture& picture) {
    spng_iccp iccp{};
    if (spng_get_iccp(ctx, &iccp) == 0 && iccp.profile && iccp.profile_len > 0) {
        picture.iccProfile = QByteArray(iccp.profile, qsizetype(iccp.profile_len));
        const QColorSpace space = QColorSpace::fromIccProfile(picture.iccProfile);
        if (space.isValid()) {
            picture.image.setColorSpace(space);
        }
        return;
    }
    uint8_t intent = 0;
    if (spng_get_srgb(ctx, &intent) == 0) {
        picture.image.setColorSpace(QColorSpace::SRgb);
        return;
    }
    double gamma = 0;
    if (spng_get_gama(ctx, &gamma) == 0 && gamma > 0) {
        const QColorSpace space(QColorSpace::Primaries::SRgb, float(1.0 / gamma));
        if (space.isValid()) {
            picture.image.setColorSpace(space);
        }
    }
}

void readDetails(spng_ctx* ctx, QImage& image) {
    spng_phys phys{};
    if (spng_get_phys(ctx, &phys) == 0 && phys.unit_specifier == 1 && phys.ppu_x <= INT_MAX &&
        phys.ppu_y <= INT_MAX) {
        image.setDotsPerMeterX(int(phys.ppu_x));
        image.setDotsPerMeterY(int(phys.ppu_y));
    }
    uint32_t count = 0;
    if (spng_get_text(ctx, nullptr, &count) == 0 && count > 0) {
        std::vector<spng_text> texts(count);
        if (spng_get_text(ctx, texts.data(), &count) == 0) {
            for (const spng_text& text : texts) {
                if (text.text) {
                    image.setText(QString::fromLatin1(text.keyword),
                                  QString::fromUtf8(text.text, qsizetype(text.length)));
                }
            }
        }
    }
}

// The frames of an animated PNG after the first, from its acTL chunk: only the first frame is
// read. The chunks are walked up to the image data, every length checked.
int apngExtraFrames(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    qint64 at = 8;
    while (at + 8 <= bytes.size()) {
        const qint64 length = qFromBigEndian<quint32>(data + at);
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type == "IDAT" || length > bytes.size() - at - 12) {
            break;
        }
        if (type == "acTL" && length >= 8) {
            const quint32 frames = qFromBigEndian<quint32>(data + at + 8);
            return frames > 1 ? int(std::min<quint32>(frames - 1, INT_MAX)) : 0;
        }
        at += 12 + length;
    }
    return 0;
}

// The file without its text chunks (tEXt, zTXt, iTXt), for a second attempt when one of them
// is over the limits or damaged: text never costs a file its pixels. The walk stops at a
// chunk that runs past the end and keeps the rest as it is, for the decoder to judge.
QByteArray withoutText(const QByteArray& bytes) {
    QByteArray kept = bytes.left(8);
    qint64 at = 8;
    while (at + 12 <= bytes.size()) {
        const qint64 length = qFromBigEndian<quint32>(bytes.constData() + at);
        if (length > bytes.size() - at - 12) {
            break;
        }
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type != "tEXt" && type != "zTXt" && type != "iTXt") {
            kept.append(bytes.constData() + at, 12 + length);
        }
        at += 12 + length;
    }
    kept.append(bytes.constData() + at, bytes.size() - at);
    return kept;
}

Context openPng(const QByteArray& bytes) {
    Context context(spng_ctx_new(0), &spng_ctx_free);
    if (!context) {
        throw std::bad_alloc();
    }
    spng_set_chunk_limits(context.get(), MaxChunkBytes, MaxChunkCache);
    // A damaged ancillary chunk is dropped, as other readers do; damaged image data is not.
    spng_set_crc_action(context.get(), SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_png_buffer(context.get(), bytes.constData(), size_t(bytes.size()));
    return context;
}

}  // namespace

QSize pngHeaderSize(const QByteArray& bytes) {
    Context context = openPng(bytes);
    spng_ihdr header{};
    if (spng_get_ihdr(context.get(), &header) != 0 || header.width > INT_MAX ||
        header.height > INT_MAX) {
        return {};
    }
    return QSize(int(header.width), int(header.height));
}

LoadResult decodePng(const QByteArray& bytes) {
    Context context = openPng(bytes);
    spng_ihdr header{};
    if (const int error = spng_get_ihdr(context.get(), &header)) {
        return LoadResult::failure(LoadError::Corrupt, spngReason(error));
    }
    // Whatever the file holds, the picture may be turned into 32-bit pixels further on.
    const int bytesPerPixel = header.bit_depth == 16 ? 8 : 4;
    if (!limits::decodedSizeAllowed(header.width, header.height, bytesPerPixel)) {
        return LoadResult::failure(
            LoadError::TooBig,
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(header.width)
                .arg(header.height));
    }
    // The chunks before the image data: palette, transparency, colour, text.
    QByteArray textless;
    if (const int error = spng_decode_chunks(context.get())) {
        textless = withoutText(bytes);
        context = openPng(textless);
        if (textless.size() == bytes.size() || spng_decode_chunks(context.get()) != 0) {
            return LoadResult::failure(LoadError::Corrupt, spngReason(error));
        }
        libraryMessage(
            MessageSource::Png, false,
            QStringLiteral("text chunks dropped: %1").arg(QLatin1String(spng_strerror(error))));
    }
    spng_ctx* ctx = context.get();
    spng_trns trns{};
    const bool colourKey = spng_get_trns(ctx, &trns) == 0;
    const Plan plan = planFor(header, colourKey);

    LoadResult result;
    Picture& picture = result.picture;
    picture.image = pooledImage(int(header.width), int(header.height), plan.format);
    if (picture.image.isNull()) {
        throw std::bad_alloc();
    }
    if (plan.indexed) {
        picture.image.setColorTable(colourTable(ctx, header, colourKey ? &trns : nullptr));
    }
    if (const int error = decodePixels(ctx, header, plan, picture.image)) {
        return LoadResult::failure(error == SPNG_EMEM ? LoadError::OutOfMemory : LoadError::Corrupt,
                                   spngReason(error));
    }
    // Text may follow the image data; damage after the pixels costs only that text.
    spng_decode_chunks(ctx);
    readColour(ctx, picture);
    readDetails(ctx, picture.image);
    picture.format = PictureFormat::Png;
    picture.droppedPages = apngExtraFrames(bytes);
    return result;
}

}  // namespace zentavo::decoders
