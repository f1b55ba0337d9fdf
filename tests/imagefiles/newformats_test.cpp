// The newer formats through their own libraries: every format x {flip, one turn} x {8-bit,
// alpha, high depth where the format has it}, each file made by the library at test time, read
// by content, moved by the program and written again, then checked against the input moved by
// Qt's own transforms: exactly for lossless files, by a PSNR floor for lossy ones.

#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "imagefiles/webp/webpcodec.h"
#include "tests/imagefiles/writefixtures.h"

#include <gtest/gtest.h>

#include <QTransform>

namespace zentavo {
namespace {

enum class Kind { Opaque, Alpha, Deep };
enum class Format { Webp, Heif, Avif, Jxl };

struct Case {
    Format format;
    Kind kind;
    bool lossless;
    bool turn;  // a quarter turn clockwise; a horizontal mirror otherwise
    double psnrFloor;
};

const char* nameOf(Format format) {
    switch (format) {
        case Format::Webp:
            return "webp";
        case Format::Heif:
            return "heic";
        case Format::Avif:
            return "avif";
        case Format::Jxl:
            break;
    }
    return "jxl";
}

QByteArray encode(Format format, const Picture& picture, const EncoderQuality& quality = {}) {
    switch (format) {
        case Format::Webp:
            return encodeWebp(picture, quality);
        case Format::Heif:
            return encodeHeif(picture, quality);
        case Format::Avif:
            return encodeAvif(picture, quality);
        case Format::Jxl:
            break;
    }
    return encodeJxl(picture, quality);
}

// A photograph-like picture of the kind: opaque 8-bit, with a gradient of alpha, or with 16-bit
// samples holding 10-bit values (the depth of a deep HEIF or AVIF).
Picture sourcePicture(Kind kind) {
    const QImage photo = test::photoLike(48, 32, 7);
    Picture picture;
    switch (kind) {
        case Kind::Opaque:
            picture.image = photo.convertToFormat(QImage::Format_RGB888);
            break;
        case Kind::Alpha: {
            QImage image = photo.convertToFormat(QImage::Format_RGBA8888);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    image.scanLine(y)[4 * x + 3] = uchar(40 + 4 * x);
                }
            }
            picture.image = image;
            break;
        }
        case Kind::Deep: {
            QImage image(photo.size(), QImage::Format_RGBX64);
            for (int y = 0; y < image.height(); ++y) {
                auto* out = reinterpret_cast<quint16*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb rgb = photo.pixel(x, y);
                    // Ten bits, widened as a 10-bit file's decoder widens them, plus detail
                    // below the eighth bit that an 8-bit path would lose.
                    const int values[] = {qRed(rgb) * 4 + (x & 3), qGreen(rgb) * 4 + (y & 3),
                                          qBlue(rgb) * 4 + ((x + y) & 3)};
                    for (int c = 0; c < 3; ++c) {
                        out[4 * x + c] = quint16(values[c] << 6 | values[c] >> 4);
                    }
                    out[4 * x + 3] = 0xFFFF;
                }
            }
            picture.image = image;
            picture.sampleBits = 10;
            break;
        }
    }
    return picture;
}

QImage movedByQt(const QImage& image, bool turn) {
    return turn ? image.transformed(QTransform().rotate(90)) : image.mirrored(true, false);
}

// The largest difference between two pictures' samples, each read as 16 bits.
int largestDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGBA64);
    const QImage y = b.convertToFormat(QImage::Format_RGBA64);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const quint16*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const quint16*>(y.constScanLine(row));
        for (int i = 0; i < 4 * x.width(); ++i) {
            largest = std::max(largest, std::abs(int(p[i]) - int(q[i])));
        }
    }
    return largest;
}

class NewFormatRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(NewFormatRoundTrip, ComesOutMovedInItsOwnFormat) {
    const Case& c = GetParam();
    Picture source = sourcePicture(c.kind);
    source.losslessSource = c.lossless;
    const QByteArray input = encode(c.format, source, EncoderQuality::fixed(90));

    LoadResult loaded = loadPictureFromBytes(input);
    ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
    Picture& picture = loaded.picture;
    EXPECT_EQ(picture.losslessSource, c.lossless) << "the loader tells a lossless file";
    EXPECT_EQ(picture.image.hasAlphaChannel(), c.kind == Kind::Alpha);
    if (c.kind == Kind::Deep) {
        EXPECT_EQ(picture.image.depth(), 64) << "deep samples stay 16-bit";
        EXPECT_EQ(picture.sampleBits, 10);
    }
    if (c.lossless) {
        EXPECT_EQ(largestDifference(picture.image, source.image), 0) << "the input is lossless";
    }
    const QImage expected = movedByQt(picture.image, c.turn);
    if (c.turn) {
        turnPicture(picture, 1);
    } else {
        mirrorPicture(picture, Mirror::Horizontal);
    }
    const QByteArray output = encode(c.format, picture, EncoderQuality::fixed(90));
    const LoadResult again = loadPictureFromBytes(output);
    ASSERT_TRUE(again.ok()) << again.reason.toStdString();
    ASSERT_EQ(again.picture.image.size(), expected.size());
    EXPECT_EQ(again.picture.image.hasAlphaChannel(), c.kind == Kind::Alpha);
    if (c.kind == Kind::Deep) {
        EXPECT_EQ(again.picture.image.depth(), 64);
    }
    if (c.lossless) {
        // Deep JPEG XL samples travel at 10 bits: a step of one 10-bit level is 64.
        EXPECT_LE(largestDifference(again.picture.image, expected), c.kind == Kind::Deep ? 64 : 0);
    } else {
        EXPECT_GE(test::psnr(again.picture.image, expected), c.psnrFloor);
    }
}

std::vector<Case> cases() {
    std::vector<Case> all;
    for (const bool turn : {false, true}) {
        for (const Kind kind : {Kind::Opaque, Kind::Alpha}) {
            all.push_back({Format::Webp, kind, true, turn, 0});
            all.push_back({Format::Webp, kind, false, turn, 30});
            all.push_back({Format::Heif, kind, false, turn, 30});
            all.push_back({Format::Avif, kind, true, turn, 0});
            all.push_back({Format::Avif, kind, false, turn, 30});
            all.push_back({Format::Jxl, kind, true, turn, 0});
            all.push_back({Format::Jxl, kind, false, turn, 30});
        }
        // WebP holds 8 bits a sample only.
        all.push_back({Format::Heif, Kind::Deep, false, turn, 30});
        all.push_back({Format::Avif, Kind::Deep, true, turn, 0});
        all.push_back({Format::Avif, Kind::Deep, false, turn, 30});
        all.push_back({Format::Jxl, Kind::Deep, true, turn, 0});
    }
    return all;
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    const char* kinds[] = {"Opaque", "Alpha", "Deep"};
    return std::string(nameOf(c.format)) + kinds[int(c.kind)] +
           (c.lossless ? "Lossless" : "Lossy") + (c.turn ? "Turned" : "Flipped");
}

INSTANTIATE_TEST_SUITE_P(Formats, NewFormatRoundTrip, ::testing::ValuesIn(cases()), caseName);

TEST(WebpAnimation, KeepsEveryFrameItsTimingAndLoopCountThroughATurn) {
    Picture picture;
    auto animation = std::make_shared<Animation>();
    animation->loopCount = 3;
    for (int i = 0; i < 3; ++i) {
        QImage frame =
            test::photoLike(40, 24, unsigned(i + 1)).convertToFormat(QImage::Format_RGBA8888);
        frame.setPixel(i, 0, qRgba(255, 0, 0, 255));
        animation->frames.push_back({frame, 40 + 30 * i});
    }
    picture.animation = animation;
    picture.image = animation->frames.front().image;
    picture.losslessSource = true;
    LoadResult loaded = loadPictureFromBytes(encodeWebp(picture, {}));
    ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
    ASSERT_TRUE(loaded.picture.animation);
    turnPicture(loaded.picture, 1);
    const LoadResult again = loadPictureFromBytes(encodeWebp(loaded.picture, {}));
    ASSERT_TRUE(again.ok()) << again.reason.toStdString();
    ASSERT_TRUE(again.picture.animation);
    const Animation& out = *again.picture.animation;
    EXPECT_EQ(out.loopCount, 3);
    ASSERT_EQ(out.frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.frames[size_t(i)].durationMs, 40 + 30 * i);
        const QImage expected = movedByQt(animation->frames[size_t(i)].image, true);
        EXPECT_EQ(largestDifference(out.frames[size_t(i)].image, expected), 0) << "frame " << i;
    }
}

TEST(NewFormatQuality, FixedFollowsTheSliderAndSmartDetectKeepsTheInputsBits) {
    const QualityBits table[] = {{30, 0.2}, {60, 0.5}, {90, 1.5}};
    EXPECT_EQ(chooseQuality({}, table, 77), 77);
    EXPECT_EQ(chooseQuality(EncoderQuality::fixed(0), table, 77), 1);
    EXPECT_EQ(chooseQuality(EncoderQuality::fixed(85), table, 77), 85);
    // The lowest quality whose bits reach the input's: not the nearest row, not the next one up.
    EXPECT_EQ(chooseQuality(EncoderQuality::keepingBitsPerPixel(0.1), table, 77), 30);
    EXPECT_EQ(chooseQuality(EncoderQuality::keepingBitsPerPixel(0.21), table, 77), 60);
    EXPECT_EQ(chooseQuality(EncoderQuality::keepingBitsPerPixel(0.5), table, 77), 60);
    EXPECT_EQ(chooseQuality(EncoderQuality::keepingBitsPerPixel(9), table, 77), 90);

    // WebP's, AVIF's and JPEG XL's scales follow libjpeg's; libheif's spends far more at the
    // same number, so its fixed qualities are set lower, and still rise with the setting.
    for (const int n : {30, 85}) {
        EXPECT_EQ(webpQualityFor(EncoderQuality::fixed(n)), n);
        EXPECT_EQ(avifQualityFor(EncoderQuality::fixed(n)), n);
        EXPECT_EQ(jxlQualityFor(EncoderQuality::fixed(n)), n);
    }
    EXPECT_LT(heifQualityFor(EncoderQuality::fixed(85)), 70);
    EXPECT_LT(heifQualityFor(EncoderQuality::fixed(30)), heifQualityFor(EncoderQuality::fixed(85)));
    EXPECT_LE(heifQualityFor(EncoderQuality::fixed(85)), heifQualityFor(EncoderQuality::fixed(95)));
    EXPECT_EQ(heifQualityFor({}), heifQualityFor(EncoderQuality::fixed(85)));

    // Through a real writer: a richer input gives a larger output.
    Picture picture = sourcePicture(Kind::Opaque);
    const QByteArray lean = encodeWebp(picture, EncoderQuality::keepingBitsPerPixel(0.3));
    const QByteArray rich = encodeWebp(picture, EncoderQuality::keepingBitsPerPixel(4));
    EXPECT_LT(lean.size(), rich.size());
}

TEST(NewFormatWriters, DeepAvifIsWrittenWithoutTheEncoderThatAborts) {
    // 10- and 12-bit AVIF go through libavif: a run that writes them lives on.
    for (const int bits : {10, 12}) {
        Picture picture = sourcePicture(Kind::Deep);
        picture.sampleBits = bits;
        const LoadResult loaded =
            loadPictureFromBytes(encodeAvif(picture, EncoderQuality::fixed(60)));
        ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
        EXPECT_EQ(loaded.picture.sampleBits, bits);
    }
}

TEST(NewFormatReaders, DamagedDataIsRefusedWithTheLibrarysWords) {
    const Picture picture = sourcePicture(Kind::Opaque);
    for (const Format format : {Format::Webp, Format::Heif, Format::Avif, Format::Jxl}) {
        const QByteArray whole = encode(format, picture);
        const LoadResult cut = loadPictureFromBytes(whole.left(whole.size() / 3));
        EXPECT_FALSE(cut.ok()) << nameOf(format);
        EXPECT_EQ(cut.error, LoadError::Corrupt) << nameOf(format);
        EXPECT_TRUE(cut.reason.contains(QLatin1String("damaged or incomplete (")))
            << nameOf(format) << ": " << cut.reason.toStdString();
    }
}

TEST(NewFormatReaders, LibjxlsFailuresReachTheReasonAndNotTheTerminal) {
    QByteArray jxl = encodeJxl(sourcePicture(Kind::Opaque), EncoderQuality::fixed(80));
    // Damage inside the coded data, past the headers.
    for (qsizetype i = jxl.size() / 3; i < jxl.size() * 2 / 3; i += 3) {
        jxl[i] = char(~jxl[i]);
    }
    LibraryMessages messages;
    ::testing::internal::CaptureStderr();
    const LoadResult loaded = loadPictureFromBytes(jxl);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(printed, "");
    ASSERT_FALSE(messages.messages().isEmpty());
    EXPECT_TRUE(messages.messages().first().startsWith(QLatin1String("libjxl: ")));
    // The reason carries libjxl's first failure, not a general sentence of ours.
    EXPECT_FALSE(loaded.reason.contains(QLatin1String("refused the data")))
        << loaded.reason.toStdString();
}

}  // namespace
}  // namespace zentavo
