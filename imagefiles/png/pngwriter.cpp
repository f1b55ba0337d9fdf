#include "imagefiles/png/pngcodec.h"

#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <QColorSpace>

#include <spng.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zentavo {

namespace {

// zlib level 1: on a 12-megapixel photograph a fifth of the processor time of level 6 for a
// file about 3 % larger; grain does not compress at any level, so slower levels buy next to
// nothing.
constexpr int ZlibLevel = 1;

// The row filter for pictures of 8 bits a sample and more.
constexpr int PhotoFilter = SPNG_FILTER_CHOICE_UP;

using Context = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;

[[noreturn]] void fail(int error) {
    const QString text = QString::fromLatin1(spng_strerror(error));
    libraryMessage(MessageSource::Png, true, text);
    throw WriteFailure{
        error == SPNG_EMEM ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
        QStringLiteral("The PNG encoder failed: ") + text};
}

void check(int error) {
    if (error) {
        fail(error);
    }
}

// The pixels as the file will hold them: the PNG colour type and depth, and the rows in a Qt
// format whose bytes are the file's samples (16-bit samples in host order).
struct Layout {
    QImage pixels;
    int colourType = SPNG_COLOR_TYPE_TRUECOLOR;
    int depth = 8;
    bool dropFourth = false;  // Format_RGBX64 rows written as three samples a pixel
    QList<QRgb> palette;      // for indexed pictures
};

// The depth at which entries indices fit: 1, 2, 4 or 8 bits.
int depthFor(int entries) {
    for (const int depth : {1, 2, 4}) {
        if (entries <= (1 << depth)) {
            return depth;
        }
    }
    return 8;
}

bool isGreyRamp(const QList<QRgb>& table) {
    const int entries = int(table.size());
    if (entries != 2 && entries != 4 && entries != 16) {
        return false;
    }
    for (int i = 0; i < entries; ++i) {
        const int grey = i * 255 / (entries - 1);
        if (table[i] != qRgb(grey, grey, grey)) {
            return false;
        }
    }
    return true;
}

Layout indexedLayout(const QImage& image) {
    Layout layout;
    layout.pixels = image.format() == QImage::Format_Indexed8
                        ? image
                        : image.convertToFormat(QImage::Format_Indexed8);
    requireAllocated(layout.pixels);
    int highest = 0;
    for (int y = 0; y < layout.pixels.height(); ++y) {
        const uchar* row = layout.pixels.constScanLine(y);
        highest = std::max(highest, int(*std::max_element(row, row + layout.pixels.width())));
    }
    // An index past a short colour table reads black, as it does on screen.
    layout.palette = layout.pixels.colorTable();
    layout.palette.resize(std::max<qsizetype>(layout.palette.size(), highest + 1), qRgb(0, 0, 0));
    layout.depth = depthFor(int(layout.palette.size()));
    // Grey pictures of 1, 2 or 4 bits held as a ramp are written as grey again.
    layout.colourType = isGreyRamp(layout.palette) && layout.palette.size() == (1 << layout.depth)
                            ? SPNG_COLOR_TYPE_GRAYSCALE
                            : SPNG_COLOR_TYPE_INDEXED;
    return layout;
}

Layout layoutFor(const QImage& image) {
    if (image.format() == QImage::Format_Indexed8 || image.depth() == 1) {
        return indexedLayout(image);
    }
    Layout layout;
    const QPixelFormat pixel = image.pixelFormat();
    const bool deep = pixel.channelCount() > 0 && pixel.bitsPerPixel() / pixel.channelCount() > 8;
    QImage::Format target;
    if (image.format() == QImage::Format_Grayscale8 ||
        image.format() == QImage::Format_Grayscale16) {
        target = image.format();
        layout.colourType = SPNG_COLOR_TYPE_GRAYSCALE;
    } else if (image.hasAlphaChannel()) {
        // Premultiplied pixels are written straight, as PNG holds them.
        target = deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
        layout.colourType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    } else {
        target = deep ? QImage::Format_RGBX64 : QImage::Format_RGB888;
        layout.dropFourth = deep;
    }
    layout.depth = deep ? 16 : 8;
    layout.pixels = image.format() == target ? image : image.convertToFormat(target);
    requireAllocated(layout.pixels);
    return layout;
}

void setPalette(spng_ctx* ctx, const QList<QRgb>& palette) {
    spng_plte plte{};
    plte.n_entries = uint32_t(palette.size());
    spng_trns trns{};
    for (qsizetype i = 0; i < palette.size(); ++i) {
        plte.entries[i] = {uint8_t(qRed(palette[i])), uint8_t(qGreen(palette[i])),
                           uint8_t(qBlue(palette[i])), 255};
        trns.type3_alpha[i] = uint8_t(qAlpha(palette[i]));
        if (qAlpha(palette[i]) != 255) {
            trns.n_type3_entries = uint32_t(i + 1);  // the alphas up to the last translucent
        }
    }
    check(spng_set_plte(ctx, &plte));
    if (trns.n_type3_entries > 0) {
        check(spng_set_trns(ctx, &trns));
    }
}

// The profile read with the picture; else the colour space the picture was given (an sRGB
// chunk, a gamma) in the chunk that says it. libspng keeps a pointer to the profile until the
// file is written: profile holds its bytes until then.
void setColour(spng_ctx* ctx, const Picture& picture, const QImage& image, QByteArray& profile) {
    profile = picture.iccProfile;
    const QColorSpace space = image.colorSpace();
    if (profile.isEmpty() && space.isValid()) {
        if (space == QColorSpace(QColorSpace::SRgb)) {
            check(spng_set_srgb(ctx, 0));
            return;
        }
        if (space.primaries() == QColorSpace::Primaries::SRgb &&
            space.transferFunction() == QColorSpace::TransferFunction::Gamma && space.gamma() > 0) {
            check(spng_set_gama(ctx, 1.0 / space.gamma()));
            return;
        }
        profile = space.iccProfile();
    }
    if (!profile.isEmpty()) {
        spng_iccp iccp{};
        std::strcpy(iccp.profile_name, "ICC profile");
        iccp.profile_len = size_t(profile.size());
        iccp.profile = profile.data();
        check(spng_set_iccp(ctx, &iccp));
    }
}

bool validKeyword(const QString& key) {
    if (key.isEmpty() || key.size() > 79 || key.startsWith(QLatin1Char(' ')) ||
        key.endsWith(QLatin1Char(' ')) || key.contains(QLatin1String("  "))) {
        return false;
    }
    return std::all_of(key.begin(), key.end(), [](QChar c) {
        return (c.unicode() >= 32 && c.unicode() <= 126) ||
               (c.unicode() >= 161 && c.unicode() <= 255);
    });
}

// The picture's text as tEXt chunks, or iTXt where it is not Latin-1. Keys PNG cannot hold
// are left out. libspng keeps pointers to the texts: store holds them until the file is written.
void setText(spng_ctx* ctx, const QImage& image, std::vector<QByteArray>& store) {
    std::vector<spng_text> texts;
    store.reserve(size_t(image.textKeys().size()) * 2);
    for (const QString& key : image.textKeys()) {
        if (!validKeyword(key)) {
            continue;
        }
        const QString value = image.text(key);
        const bool latin1 =
            std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() <= 255; });
        spng_text text{};
        std::strcpy(text.keyword, key.toLatin1().constData());
        text.type = latin1 ? SPNG_TEXT : SPNG_ITXT;
        store.push_back(latin1 ? value.toLatin1() : value.toUtf8());
        text.length = size_t(store.back().size());
        text.text = store.back().data();
        if (!latin1) {
            store.push_back(QByteArray(""));
            text.language_tag = store.back().data();
            text.translated_keyword = store.back().data();
        }
        texts.push_back(text);
    }
    if (!texts.empty() && spng_set_text(ctx, texts.data(), uint32_t(texts.size())) != 0) {
        libraryMessage(MessageSource::Png, false, QStringLiteral("the picture's text is left out"));
    }
}

// One row of layout.pixels as the file's samples: packed to the depth, or three samples of
// four.
const uchar* fileRow(const Layout& layout, int y, std::vector<uchar>& buffer) {
    const uchar* row = layout.pixels.constScanLine(y);
    const int width = layout.pixels.width();
    if (layout.dropFourth) {
        auto* out = reinterpret_cast<quint16*>(buffer.data());
        const auto* in = reinterpret_cast<const quint16*>(row);
        for (int x = 0; x < width; ++x) {
            std::memcpy(out + qsizetype(x) * 3, in + qsizetype(x) * 4, 6);
        }
        return buffer.data();
    }
    if (layout.pixels.format() == QImage::Format_Indexed8 && layout.depth < 8) {
        std::fill(buffer.begin(), buffer.end(), uchar(0));
        const int perByte = 8 / layout.depth;
        for (int x = 0; x < width; ++x) {
            buffer[size_t(x / perByte)] |= uchar(row[x] << (8 - layout.depth * (x % perByte + 1)));
        }
        return buffer.data();
    }
    return row;
}

}  // namespace

QByteArray encodePng(const Picture& picture) {
    requirePixels(picture);
    LibraryMessages messages;
    const Layout layout = layoutFor(picture.image);
    const QImage& pixels = layout.pixels;

    Context context(spng_ctx_new(SPNG_CTX_ENCODER), &spng_ctx_free);
    spng_ctx* ctx = context.get();
    if (!ctx) {
        fail(SPNG_EMEM);
    }
    check(spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1));
    check(spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, ZlibLevel));
    // One fixed filter a row instead of trying all five: on photographs the file is as small,
    // and choosing costs more than compressing at level 1. Indexed rows compress best unfiltered.
    check(spng_set_option(ctx, SPNG_FILTER_CHOICE,
                          layout.depth < 8 || layout.colourType == SPNG_COLOR_TYPE_INDEXED
                              ? SPNG_FILTER_CHOICE_NONE
                              : PhotoFilter));
    spng_ihdr header{};
    header.width = uint32_t(pixels.width());
    header.height = uint32_t(pixels.height());
    header.bit_depth = uint8_t(layout.depth);
    header.color_type = uint8_t(layout.colourType);
    check(spng_set_ihdr(ctx, &header));
    if (layout.colourType == SPNG_COLOR_TYPE_INDEXED) {
        setPalette(ctx, layout.palette);
    }
    QByteArray profile;
    setColour(ctx, picture, picture.image, profile);
    if (pixels.dotsPerMeterX() > 0 && pixels.dotsPerMeterY() > 0) {
        spng_phys phys{uint32_t(pixels.dotsPerMeterX()), uint32_t(pixels.dotsPerMeterY()), 1};
        check(spng_set_phys(ctx, &phys));
    }
    std::vector<QByteArray> textStore;
    setText(ctx, picture.image, textStore);

    check(spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG,
                            SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE));
    const size_t rowBytes = (size_t(pixels.width()) * layout.depth *
                                 (layout.colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4
                                  : layout.colourType == SPNG_COLOR_TYPE_TRUECOLOR     ? 3
                                                                                       : 1) +
                             7) /
                            8;
    std::vector<uchar> buffer(rowBytes);
    for (int y = 0; y < pixels.height(); ++y) {
        const int error = spng_encode_row(ctx, fileRow(layout, y, buffer), rowBytes);
        if (error && !(error == SPNG_EOI && y == pixels.height() - 1)) {
            fail(error);
        }
    }
    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, decltype(&std::free)> png(spng_get_png_buffer(ctx, &size, &error),
                                                    &std::free);
    if (!png) {
        fail(error ? error : SPNG_EMEM);
    }
    return QByteArray(static_cast<const char*>(png.get()), qsizetype(size));
}

}  // namespace zentavo
