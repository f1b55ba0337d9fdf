// The lossless HEIF turn: the primary image's irot and imir edited, the coded image copied.

#include "imagefiles/heif/heifboxes.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/metadata/metadata.h"
#include "tests/imagefiles/readfixtures.h"
#include "tests/imagefiles/writefixtures.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <cstring>

namespace zentavo {
namespace {

// Whether two media data differ at most in the EXIF item's orientation: two bytes inside the
// TIFF structure that follows its "MM\0*" header.
bool sameCodedData(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size() || a.isEmpty()) {
        return false;
    }
    const qsizetype exif = a.indexOf(QByteArrayView("MM\0*", 4));
    int differing = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            ++differing;
            if (exif < 0 || i < exif || i > exif + 200) {
                return false;
            }
        }
    }
    return differing <= 2;
}

// The payload of the file's top-level mdat box, found by walking the boxes here, independently
// of the editor's own reader.
QByteArray mdatOf(const QByteArray& file) {
    qint64 at = 0;
    while (at + 8 <= file.size()) {
        const qint64 size = qFromBigEndian<quint32>(file.constData() + at);
        if (file.mid(at + 4, 4) == "mdat") {
            return file.mid(at + 8, size - 8);
        }
        if (size < 8) {
            break;
        }
        at += size;
    }
    return {};
}

// The move done pixel by pixel here: turned clockwise (a W x H picture's pixel (x, y) lands on
// (H-1-y, x)), then mirrored left to right. Plain loops, so that colour under transparent
// pixels stays as it is.
QImage movedByHand(const QImage& source, PixelMove move) {
    QImage image = source.convertToFormat(QImage::Format_RGBA8888);
    for (int turn = 0; turn < move.quarterTurns; ++turn) {
        QImage turned(image.height(), image.width(), QImage::Format_RGBA8888);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                std::memcpy(turned.scanLine(x) + 4 * (image.height() - 1 - y),
                            image.constScanLine(y) + 4 * x, 4);
            }
        }
        image = turned;
    }
    if (move.mirrored) {
        QImage mirrored(image.size(), QImage::Format_RGBA8888);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                std::memcpy(mirrored.scanLine(y) + 4 * (image.width() - 1 - x),
                            image.constScanLine(y) + 4 * x, 4);
            }
        }
        image = mirrored;
    }
    return image;
}

bool samePixels(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGBA8888);
    const QImage y = b.convertToFormat(QImage::Format_RGBA8888);
    return x == y;
}

// A HEIC through x265 and an AVIF through libavif, of an asymmetric picture that carries EXIF
// (with an orientation) from a JPEG; and an AVIF with alpha.
std::vector<std::pair<const char*, QByteArray>> sources() {
    const QImage photo = test::photoLike(64, 40, 3);
    LoadResult jpeg = loadPictureFromBytes(test::withExifOrientation(
        test::encodeJpeg(photo.convertToFormat(QImage::Format_RGB888)), 1));
    Picture opaque = jpeg.picture;
    Picture alpha = opaque;
    alpha.image = opaque.image.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < alpha.height(); ++y) {
        alpha.image.scanLine(y)[3] = 0;  // a transparent left column
    }
    return {{"heic", encodeHeif(opaque, EncoderQuality::fixed(70))},
            {"avif", encodeAvif(opaque, EncoderQuality::fixed(70))},
            {"avif with alpha", encodeAvif(alpha, EncoderQuality::fixed(70))}};
}

TEST(LosslessHeifTurn, AllEightMovesKeepTheCodedImageAndShowTheMovedPicture) {
    for (const auto& [name, source] : sources()) {
        if (name == std::string("avif with alpha")) {
            continue;
        }
        // From the file as written and from one already shown turned by its own irot.
        const QByteArray alreadyTurned = turnHeifLosslessly(source, PixelMove::turn(1)).bytes;
        ASSERT_FALSE(alreadyTurned.isEmpty()) << name;
        for (const QByteArray& start : {source, alreadyTurned}) {
            const LoadResult shown = loadPictureFromBytes(start);
            ASSERT_TRUE(shown.ok()) << name;
            for (int turns = 0; turns < 4; ++turns) {
                for (const bool mirrored : {false, true}) {
                    const PixelMove move{turns, mirrored};
                    const LosslessHeif turned = turnHeifLosslessly(start, move);
                    ASSERT_FALSE(turned.bytes.isEmpty())
                        << name << ": " << turned.refusal.toStdString();
                    EXPECT_TRUE(sameCodedData(mdatOf(turned.bytes), mdatOf(source)))
                        << name << " coded data";
                    const LoadResult decoded = loadPictureFromBytes(turned.bytes);
                    ASSERT_TRUE(decoded.ok()) << name << ": " << decoded.reason.toStdString();
                    EXPECT_TRUE(
                        samePixels(decoded.picture.image, movedByHand(shown.picture.image, move)))
                        << name << " turns " << turns << " mirrored " << mirrored;
                    // EXIF agrees with the new transforms: the coded picture shown through the
                    // orientation it states is the picture shown.
                    EXPECT_EQ(PixelMove::forOrientation(turned.orientation),
                              start == source ? move : PixelMove::turn(1).then(move));
                    const int stated = metadataOrientation(decoded.picture.metadata.get());
                    EXPECT_EQ(stated, turned.orientation) << name;
                }
            }
        }
    }
}

TEST(LosslessHeifTurn, MalformedBoxesAreRefusedWithAReasonAndNothingMade) {
    const QByteArray source = sources().front().second;
    QByteArray badIndex = source;
    {
        // The first association of the first item names property 127, which ipco lacks.
        const qsizetype ipma = badIndex.indexOf("ipma");
        ASSERT_GT(ipma, 0);
        const int version = uchar(badIndex[ipma + 4]);
        badIndex[ipma + 4 + 4 + 4 + (version < 1 ? 2 : 4) + 1] = char(0x7F);
    }
    QByteArray moov(8, '\0');
    moov[3] = 8;
    moov.replace(4, 4, "moov");
    const qsizetype meta = source.indexOf("meta") - 4;
    const struct {
        const char* trap;
        QByteArray bytes;
    } cases[] = {
        {"not a HEIF", QByteArray("just some text, not boxes at all")},
        {"cut in the media data", source.left(source.size() - 10)},
        {"cut in the meta box", source.left(meta + 40)},
        {"a property index past ipco", badIndex},
        {"an image sequence box", source + moov},
        {"a box longer than the file", QByteArray::fromHex("0000ffff66747970") + source.mid(8)},
    };
    for (const auto& c : cases) {
        const heif::TransformEdit edit = heif::editPrimaryTransform(c.bytes, PixelMove::turn(1));
        EXPECT_TRUE(edit.bytes.isEmpty()) << c.trap;
        EXPECT_FALSE(edit.refusal.isEmpty()) << c.trap;
        const LosslessHeif turned = turnHeifLosslessly(c.bytes, PixelMove::turn(1));
        EXPECT_TRUE(turned.bytes.isEmpty()) << c.trap;
        EXPECT_FALSE(turned.refusal.isEmpty()) << c.trap;
    }
}

TEST(LosslessHeifTurn, PicturesWithAlphaAreLeftToBeReEncoded) {
    // libheif 1.15 would show their alpha unturned, or none at all.
    const QByteArray withAlpha = sources().back().second;
    const LosslessHeif turned = turnHeifLosslessly(withAlpha, PixelMove::turn(2));
    EXPECT_TRUE(turned.bytes.isEmpty());
    EXPECT_TRUE(turned.refusal.contains(QLatin1String("alpha")));
}

TEST(LosslessHeifTurn, TheStoredSizeIsReadFromTheBoxesAlone) {
    const QByteArray source = sources().front().second;
    EXPECT_EQ(heif::primaryStoredSize(source), QSize(64, 40));
    const QByteArray turned = turnHeifLosslessly(source, PixelMove::turn(1)).bytes;
    EXPECT_EQ(heif::primaryStoredSize(turned), QSize(64, 40)) << "ispe is the coded size";
    EXPECT_FALSE(heif::primaryStoredSize(source.left(60)).isValid());
}

}  // namespace
}  // namespace zentavo
