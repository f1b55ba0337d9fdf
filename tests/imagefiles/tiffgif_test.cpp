#include "imagefiles/loadpicfile.h"
#include "tests/hostile/hostilebytes.h"
#include "tests/imagefiles/readfixtures.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <QTemporaryFile>

#include <cstring>

#include <random>

namespace zentavo {
namespace {

struct AlphaCase {
    int bits;
    bool associated;
    int channels;  // 2: grey and alpha, 4: RGBA
    bool separate;
    bool whiteIsZero = false;
    bool tagged = true;  // false: no ExtraSamples tag; the alpha is then read as associated
};

class TiffAlpha : public ::testing::TestWithParam<AlphaCase> {};

// Alpha is kept as stored, whatever the layout: unassociated alpha keeps the colour of a fully
// transparent pixel, and no sample is rounded through premultiplication. White-is-zero inverts
// the grey, never the alpha.
TEST_P(TiffAlpha, SamplesAreReadExactly) {
    const auto [bits, associated, channels, separate, whiteIsZero, tagged] = GetParam();
    const int width = 7;
    const int height = 5;
    std::mt19937 random(11);
    std::vector<quint16> samples(size_t(width) * height * channels);
    const quint16 top = bits == 8 ? 0xFF : 0xFFFF;
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = quint16(random() % (top + 1u));
    }
    const int alpha = channels - 1;
    for (size_t i = 0; i < samples.size(); i += channels) {
        for (int c = 0; associated && c < alpha; ++c) {  // colour never above alpha
            samples[i + c] = std::min(samples[i + c], samples[i + alpha]);
        }
    }
    if (!associated) {
        samples[alpha] = 0;  // transparent, with a colour that must survive
        samples[0] = top;
    }
    const LoadResult result = loadPictureFromBytes(test::writeRgbaTiff(
        width, height, bits, associated, samples, 1, channels, separate, whiteIsZero, tagged));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    const QImage& image = result.picture.image;
    const QImage::Format expected =
        bits == 8 ? (associated ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888)
                  : (associated ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64);
    ASSERT_EQ(image.format(), expected);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const size_t pixel = (size_t(y) * width + x) * channels;
                const quint16 stored = samples[pixel + (c == 3 ? alpha : std::min(c, alpha - 1))];
                const quint16 want = whiteIsZero && c != 3 ? quint16(top - stored) : stored;
                const quint16 value =
                    bits == 8 ? image.constScanLine(y)[x * 4 + c]
                              : reinterpret_cast<const quint16*>(image.constScanLine(y))[x * 4 + c];
                ASSERT_EQ(value, want) << x << "," << y << " sample " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BitsAlphaAndLayout, TiffAlpha, ::testing::ValuesIn([] {
        std::vector<AlphaCase> cases;
        for (const int bits : {8, 16}) {
            for (const bool associated : {false, true}) {
                for (const int channels : {2, 4}) {
                    for (const bool separate : {false, true}) {
                        cases.push_back({bits, associated, channels, separate});
                    }
                }
            }
        }
        return cases;
    }()));

// A fourth RGB sample without an ExtraSamples tag is associated alpha, as libtiff's own RGBA
// reader and the viewers built on it take it (libtiff reports such a sample as unspecified).
INSTANTIATE_TEST_SUITE_P(Untagged, TiffAlpha,
                         ::testing::Values(AlphaCase{8, true, 4, false, false, false},
                                           AlphaCase{16, true, 4, true, false, false}));

INSTANTIATE_TEST_SUITE_P(WhiteIsZero, TiffAlpha,
                         ::testing::Values(AlphaCase{8, false, 2, false, true},
                                           AlphaCase{16, false, 2, true, true}));

// One layout of the TIFF files in the layouts table.
struct TiffLayoutCase {
    const char* name;
    uint16_t photometric;
    int bits;
    int samples;
    bool separate;
    bool tiled;
    uint16_t compression;
    bool eightBitMap = false;  // a colour map of 8-bit values, as some writers store it
};

// Writes samples (width x height x samples values below 2^bits) in the layout; palettes get
// the colour map entry i = (i * 40, 255 - i, i * 7) in 16-bit values, or as they are in an
// 8-bit map.
QByteArray tiffInLayout(const TiffLayoutCase& c, int width, int height,
                        const std::vector<int>& samples) {
    QTemporaryFile file;
    file.open();
    TIFF* tiff = TIFFOpen(file.fileName().toLocal8Bit().constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, c.samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, c.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 c.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, c.compression);
    if (c.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> r(1 << c.bits), g(1 << c.bits), b(1 << c.bits);
        for (int i = 0; i < (1 << c.bits); ++i) {
            const int scale = c.eightBitMap ? 1 : 257;
            r[i] = uint16_t(i * 40 % 256 * scale);
            g[i] = uint16_t((255 - i) * scale);
            b[i] = uint16_t(i * 7 % 256 * scale);
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    const int planes = c.separate ? c.samples : 1;
    const int perPixel = c.separate ? 1 : c.samples;
    const int tile = c.tiled ? 16 : 0;
    if (c.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 4);
    }
    // Packs the samples of rows [y0, y0 + rows) and columns [x0, x0 + columns) of one plane.
    auto pack = [&](int plane, int x0, int y0, int columns, int rows) {
        const int rowBytes = (columns * perPixel * c.bits + 7) / 8;
        std::vector<uchar> bytes(size_t(rowBytes) * rows, 0);
        for (int y = 0; y < rows; ++y) {
            int bit = 0;
            for (int x = 0; x < columns; ++x) {
                for (int s = 0; s < perPixel; ++s) {
                    const int px = x0 + x, py = y0 + y;
                    const int value = px < width && py < height
                                          ? samples[(size_t(py) * width + px) * c.samples +
                                                    (c.separate ? plane : s)]
                                          : 0;
                    uchar* row = bytes.data() + size_t(y) * rowBytes;
                    if (c.bits == 16) {
                        const quint16 v = quint16(value);
                        std::memcpy(row + bit / 8, &v, 2);
                    } else {
                        row[bit / 8] |= uchar(value << (8 - c.bits - bit % 8));
                    }
                    bit += c.bits;
                }
            }
        }
        return bytes;
    };
    for (int plane = 0; plane < planes; ++plane) {
        if (c.tiled) {
            for (int y = 0; y < height; y += tile) {
                for (int x = 0; x < width; x += tile) {
                    std::vector<uchar> bytes = pack(plane, x, y, tile, tile);
                    TIFFWriteTile(tiff, bytes.data(), uint32_t(x), uint32_t(y), 0, uint16_t(plane));
                }
            }
        } else {
            for (int y = 0; y < height; ++y) {
                std::vector<uchar> bytes = pack(plane, 0, y, width, 1);
                TIFFWriteScanline(tiff, bytes.data(), uint32_t(y), uint16_t(plane));
            }
        }
    }
    TIFFClose(tiff);
    file.seek(0);
    return file.readAll();
}

// The colour a pixel of samples must read as, reckoned from the layout's rules.
QRgba64 expectedColour(const TiffLayoutCase& c, const int* s) {
    const int top = (1 << c.bits) - 1;
    auto wide = [&](int v) { return quint16(c.bits == 16 ? v : v * 255 / top * 257); };
    switch (c.photometric) {
        case PHOTOMETRIC_MINISWHITE:
            return QRgba64::fromRgba64(wide(top - s[0]), wide(top - s[0]), wide(top - s[0]),
                                       0xFFFF);
        case PHOTOMETRIC_MINISBLACK:
            return QRgba64::fromRgba64(wide(s[0]), wide(s[0]), wide(s[0]), 0xFFFF);
        case PHOTOMETRIC_PALETTE:
            return QRgba64::fromRgba(quint8(s[0] * 40 % 256), quint8(255 - s[0]),
                                     quint8(s[0] * 7 % 256), 255);
        case PHOTOMETRIC_SEPARATED: {  // CMYK, as libtiff converts it
            auto ink = [&](int v) { return quint8((255 - s[3]) * (255 - v) / 255); };
            return QRgba64::fromRgba(ink(s[0]), ink(s[1]), ink(s[2]), 255);
        }
        default:
            return QRgba64::fromRgba64(wide(s[0]), wide(s[1]), wide(s[2]), 0xFFFF);
    }
}

// Bilevel, grey, palette and colour files in strips and tiles, interleaved and in planes, read
// exactly; 1-bit and palette files stay indexed; cut-off data is refused.
TEST(TiffLayouts, EveryLayoutReadsExactly) {
    const TiffLayoutCase cases[] = {
        {"bilevel", PHOTOMETRIC_MINISBLACK, 1, 1, false, false, COMPRESSION_CCITTFAX4},
        {"bilevel white is zero", PHOTOMETRIC_MINISWHITE, 1, 1, false, true, COMPRESSION_NONE},
        {"4-bit grey tiled", PHOTOMETRIC_MINISBLACK, 4, 1, false, true, COMPRESSION_LZW},
        {"16-bit grey white is zero", PHOTOMETRIC_MINISWHITE, 16, 1, false, false,
         COMPRESSION_NONE},
        {"2-bit palette", PHOTOMETRIC_PALETTE, 2, 1, false, false, COMPRESSION_PACKBITS},
        {"8-bit palette tiled", PHOTOMETRIC_PALETTE, 8, 1, false, true, COMPRESSION_ADOBE_DEFLATE},
        {"4-bit palette, 8-bit map", PHOTOMETRIC_PALETTE, 4, 1, false, false, COMPRESSION_NONE,
         true},
        {"8-bit RGB planes", PHOTOMETRIC_RGB, 8, 3, true, false, COMPRESSION_ADOBE_DEFLATE},
        {"16-bit RGB planes tiled", PHOTOMETRIC_RGB, 16, 3, true, true, COMPRESSION_LZW},
        {"16-bit RGB", PHOTOMETRIC_RGB, 16, 3, false, false, COMPRESSION_NONE},
        {"CMYK", PHOTOMETRIC_SEPARATED, 8, 4, false, false, COMPRESSION_NONE},
    };
    const int width = 21;
    const int height = 18;
    std::mt19937 random(3);
    for (const TiffLayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> samples(size_t(width) * height * c.samples);
        for (int& sample : samples) {
            sample = int(random() % (1u << c.bits));
        }
        const LoadResult result = loadPictureFromBytes(tiffInLayout(c, width, height, samples));
        ASSERT_TRUE(result.ok()) << result.reason.toStdString();
        const QImage& image = result.picture.image;
        ASSERT_EQ(image.size(), QSize(width, height));
        if (c.bits < 8 || c.photometric == PHOTOMETRIC_PALETTE) {
            EXPECT_GT(image.colorCount(), 0) << "not kept indexed";
        }
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int* s = &samples[(size_t(y) * width + x) * c.samples];
                wrong += image.pixelColor(x, y).rgba64() != expectedColour(c, s);
            }
        }
        EXPECT_EQ(wrong, 0);
        // Image data cut off is refused in every layout, never a picture with gaps.
        const LoadResult cut = loadPictureFromBytes(
            test::withTiffDataPastEnd(tiffInLayout(c, width, height, samples)));
        EXPECT_EQ(cut.error, LoadError::Corrupt) << cut.reason.toStdString();
    }
}

TEST(TiffPages, PagesAfterTheFirstAreCountedAsDropped) {
    const std::vector<quint16> samples(2 * 2 * 4, 200);
    const LoadResult result = loadPictureFromBytes(test::writeRgbaTiff(2, 2, 8, false, samples, 3));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    EXPECT_EQ(result.picture.droppedPages, 2);
    EXPECT_EQ(
        loadPictureFromBytes(test::writeRgbaTiff(2, 2, 8, false, samples)).picture.droppedPages, 0);
}

TEST(GifLoading, EveryFrameIsKeptWithItsTimingAndTheFirstIsComposed) {
    std::vector<test::GifFrameInput> frames(3);
    for (int i = 0; i < 3; ++i) {
        frames[i].indices = test::randomImage(4 + i, 3, QImage::Format_Indexed8, unsigned(i));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4 + i; ++x) {
                frames[i].indices.setPixel(x, y, frames[i].indices.pixelIndex(x, y) % 4);
            }
        }
        frames[i].left = i;
        frames[i].top = i * 2;
        frames[i].delay = 10 * (i + 1);
        frames[i].disposal = i + 1;
        frames[i].userInput = i == 1;
    }
    frames[0].transparentIndex = 3;
    frames[1].localPalette = true;
    const LoadResult result = loadPictureFromBytes(test::writeGif(12, 9, frames, 0));
    ASSERT_TRUE(result.ok()) << result.reason.toStdString();
    const Picture& picture = result.picture;
    ASSERT_TRUE(picture.gif);
    const GifAnimation& gif = *picture.gif;
    EXPECT_EQ(picture.format, PictureFormat::Gif);
    EXPECT_EQ(gif.screenWidth, 12);
    EXPECT_EQ(gif.screenHeight, 9);
    EXPECT_EQ(gif.loopCount, 0);
    ASSERT_EQ(gif.frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const GifFrame& frame = gif.frames[size_t(i)];
        EXPECT_EQ(frame.left, i);
        EXPECT_EQ(frame.top, i * 2);
        EXPECT_EQ(frame.delayCentiseconds, 10 * (i + 1));
        EXPECT_EQ(frame.disposal, i + 1);
        EXPECT_EQ(frame.userInput, i == 1);
        EXPECT_EQ(frame.localPalette, i == 1);
        ASSERT_EQ(frame.indices.size(), frames[size_t(i)].indices.size());
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 4 + i; ++x) {
                EXPECT_EQ(frame.indices.pixelIndex(x, y),
                          frames[size_t(i)].indices.pixelIndex(x, y));
            }
        }
    }
    EXPECT_EQ(gif.frames[0].transparentIndex, 3);
    EXPECT_EQ(gif.frames[1].indices.colorTable()[1], qRgb(255 ^ 0x55, 0, 0));
    ASSERT_EQ(picture.image.size(), QSize(12, 9));
    EXPECT_EQ(picture.image.pixelColor(11, 8).alpha(), 0);  // beyond the first frame
    const int index = frames[0].indices.pixelIndex(0, 0);
    EXPECT_EQ(picture.image.pixelColor(0, 0).alpha(), index == 3 ? 0 : 255);
    // The count is stored low byte first.
    EXPECT_EQ(loadPictureFromBytes(test::writeGif(12, 9, frames, 258)).picture.gif->loopCount, 258);
}

TEST(GifLoading, FramesPastTheScreenGrowItAndCutOffFramesAreDamage) {
    std::vector<test::GifFrameInput> frames(1);
    frames[0].indices = QImage(5, 5, QImage::Format_Indexed8);
    frames[0].indices.fill(1);
    frames[0].left = 10;
    const QByteArray bytes = test::writeGif(4, 4, frames, -1);
    const LoadResult grown = loadPictureFromBytes(bytes);
    ASSERT_TRUE(grown.ok());
    EXPECT_EQ(grown.picture.image.size(), QSize(15, 5));
    EXPECT_EQ(grown.picture.gif->loopCount, -1);
    EXPECT_EQ(loadPictureFromBytes(bytes.left(bytes.size() - 6)).error, LoadError::Corrupt);
}

TEST(GifLoading, InterlacedRowsComeOutInPlaceWhicheverPassTheLastRowIsIn) {
    // Row y of an interlaced frame is in pass 1 when y % 8 is 0, pass 2 when it is 4, pass 3
    // when y % 4 is 2, and pass 4 when y is odd. Heights whose last row is in each pass:
    const std::pair<int, std::vector<int>> lastPass[] = {
        {1, {1, 9, 17}}, {2, {5, 13}}, {3, {3, 7, 11, 19}}, {4, {2, 4, 8, 16}}};
    for (const auto& [pass, heights] : lastPass) {
        for (const int height : heights) {
            SCOPED_TRACE(testing::Message() << "height " << height << ", pass " << pass);
            QImage indices(3, height, QImage::Format_Indexed8);
            QList<QRgb> palette;
            for (int y = 0; y < height; ++y) {
                palette << qRgb(10 * y, 255 - 10 * y, 100);
                indices.scanLine(y)[0] = indices.scanLine(y)[1] = indices.scanLine(y)[2] = uchar(y);
            }
            indices.setColorTable(palette);
            const LoadResult interlaced =
                loadPictureFromBytes(test::writeGifThroughGiflib(indices, true));
            const LoadResult plain =
                loadPictureFromBytes(test::writeGifThroughGiflib(indices, false));
            ASSERT_TRUE(interlaced.ok() && plain.ok()) << interlaced.reason.toStdString();
            ASSERT_EQ(interlaced.picture.image.size(), QSize(3, height));
            EXPECT_TRUE(interlaced.picture.gif->frames[0].interlaced);
            for (int y = 0; y < height; ++y) {
                EXPECT_EQ(interlaced.picture.image.pixel(1, y) & 0xFFFFFF, palette[y] & 0xFFFFFF)
                    << "row " << y;
                EXPECT_EQ(test::pixelBytes(interlaced.picture.image, 2, y),
                          test::pixelBytes(plain.picture.image, 2, y))
                    << "row " << y;
            }
        }
    }
}

}  // namespace
}  // namespace zentavo
