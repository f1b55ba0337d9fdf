// Flips and turns on a JPEG's compressed data: the geometry against the pixel transforms, the
// pixels and tables against jpegtran, and the files it must refuse.
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/losslessjpeg.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "tests/imagefiles/readfixtures.h"

#include <gtest/gtest.h>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace zentavo::test {

namespace {

using T = RightAngleTransform;

// A picture whose quadrants differ strongly, so that any wrong flip or turn shows.
QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    const QRgb colours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 40, 210),
                             qRgb(230, 220, 60)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int quadrant = (x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0);
            image.setPixel(x, y, colours[quadrant]);
        }
    }
    return image;
}

QImage decoded(const QByteArray& jpeg) {
    LoadResult loaded = loadPictureFromBytes(jpeg);
    EXPECT_TRUE(loaded.ok()) << loaded.reason.toStdString();
    return loaded.picture.image.convertToFormat(QImage::Format_RGB888);
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return 256;
    }
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 3; ++x) {
            largest = std::max(largest, std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]));
        }
    }
    return largest;
}

// The payloads of every DQT segment, in file order.
QByteArray quantisationTables(const QByteArray& jpeg) {
    QByteArray tables;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF && uchar(jpeg[at + 1]) != 0xDA) {
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        if (uchar(jpeg[at + 1]) == 0xDB) {
            tables += jpeg.mid(at + 4, length - 2);
        }
        at += 2 + length;
    }
    return tables;
}

const std::map<T, QStringList> JpegtranArguments = {
    {T::None, {}},
    {T::MirrorHorizontal, {"-flip", "horizontal"}},
    {T::MirrorVertical, {"-flip", "vertical"}},
    {T::Transpose, {"-transpose"}},
    {T::Transverse, {"-transverse"}},
    {T::Turn90, {"-rotate", "90"}},
    {T::Turn180, {"-rotate", "180"}},
    {T::Turn270, {"-rotate", "270"}},
};

QByteArray jpegtran(const QByteArray& jpeg, const QStringList& arguments) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("jpegtran"));
    EXPECT_FALSE(program.isEmpty()) << "jpegtran (libjpeg-turbo-progs) is needed";
    QProcess process;
    process.start(program, arguments);
    process.write(jpeg);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

}  // namespace

TEST(LosslessJpeg, GivesWhatTheDecoderShowsTransformedForEveryOrientationAndOperation) {
    // 4:4:4 keeps colour edges sharp, so only rounding separates the two roads.
    const QByteArray plain = encodeJpeg(quadrants(48, 32), 90, TJSAMP_444);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QByteArray input = withExifOrientation(plain, orientation, orientation % 2 == 0);
        for (const auto& [operation, apply] :
             std::vector<std::pair<T, std::function<void(Picture&)>>>{
                 {T::MirrorHorizontal, [](Picture& p) { mirrorPicture(p, Mirror::Horizontal); }},
                 {T::MirrorVertical, [](Picture& p) { mirrorPicture(p, Mirror::Vertical); }},
                 {T::Turn90, [](Picture& p) { turnPicture(p, 1); }},
                 {T::Turn180, [](Picture& p) { turnPicture(p, 2); }},
                 {T::Turn270, [](Picture& p) { turnPicture(p, 3); }}}) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << orientation << ", operation " << int(operation));
            LoadResult expected = loadPictureFromBytes(input);
            ASSERT_TRUE(expected.ok());
            apply(expected.picture);

            const LosslessJpeg turned = turnJpegLosslessly(input, operation);
            ASSERT_EQ(turned.outcome, LosslessOutcome::Turned) << turned.reason.toStdString();
            // The loader would turn the result again if its orientation were still set.
            EXPECT_EQ(scanJpegMarkers(turned.jpeg).orientation, 1);
            EXPECT_LE(
                largestDifference(decoded(turned.jpeg),
                                  expected.picture.image.convertToFormat(QImage::Format_RGB888)),
                3);
        }
    }
}

TEST(LosslessJpeg, MatchesJpegtranPerfectInPixelsAndTablesForEverySamplingAndCoding) {
    const QImage picture = quadrants(64, 48);
    // Each coding with the frame marker it must keep. Progressive first: a transformer that
    // kept state from a progressive output would spoil the baseline one after it.
    const std::vector<std::pair<QStringList, int>> codings = {
        {{"-progressive"}, 0xC2},
        {{}, 0xC0},
        {{"-arithmetic"}, 0xC9},
        {{"-arithmetic", "-progressive"}, 0xCA}};
    for (const int subsampling : {TJSAMP_420, TJSAMP_422, TJSAMP_444, TJSAMP_GRAY}) {
        for (const auto& [coding, frameMarker] : codings) {
            const QByteArray plain = jpegtran(encodeJpeg(picture, 90, subsampling), coding);
            for (int orientation = 1; orientation <= 8; ++orientation) {
                SCOPED_TRACE(testing::Message()
                             << "subsampling " << subsampling << ", coding "
                             << coding.join(' ').toStdString() << ", orientation " << orientation);
                const QByteArray input = withExifOrientation(plain, orientation);
                // A quarter turn after each of the eight orientations meets each of the eight
                // transforms once.
                const T transform =
                    composeTransforms(transformForOrientation(orientation), T::Turn90);
                const LosslessJpeg turned = turnJpegLosslessly(input, T::Turn90);
                ASSERT_EQ(turned.outcome, LosslessOutcome::Turned) << turned.reason.toStdString();
                const QByteArray reference =
                    jpegtran(plain, QStringList{"-perfect"} + JpegtranArguments.at(transform));
                EXPECT_EQ(decoded(turned.jpeg), decoded(reference));
                EXPECT_EQ(quantisationTables(turned.jpeg), quantisationTables(reference));
                EXPECT_EQ(scanJpegMarkers(turned.jpeg).frameMarker, frameMarker);
            }
        }
    }
}

// The JPEG decoded by TurboJPEG at an eighth of its size.
QImage decodedAtAnEighth(const QByteArray& jpeg) {
    tjhandle handle = tjInitDecompress();
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(handle, data, jpeg.size(), &width, &height, &subsampling, &colorspace);
    QImage image((width + 7) / 8, (height + 7) / 8, QImage::Format_RGB888);
    tjDecompress2(handle, data, jpeg.size(), image.bits(), image.width(), image.bytesPerLine(),
                  image.height(), TJPF_RGB, 0);
    tjDestroy(handle);
    return image;
}

TEST(LosslessJpeg, ThePreviewIsTheOutputAtAnEighthOfItsSize) {
    const QImage picture = quadrants(256, 128);
    for (const int subsampling : {TJSAMP_420, TJSAMP_GRAY}) {
        const QByteArray input = encodeJpeg(picture, 90, subsampling);
        for (const T operation : {T::MirrorHorizontal, T::Turn90, T::Turn180}) {
            SCOPED_TRACE(testing::Message()
                         << "subsampling " << subsampling << ", operation " << int(operation));
            const LosslessJpeg turned = turnJpegLosslessly(input, operation, 16);
            ASSERT_EQ(turned.outcome, LosslessOutcome::Turned);
            const QImage expected = decodedAtAnEighth(turned.jpeg);
            const QImage preview = turned.preview.convertToFormat(QImage::Format_RGB888);
            ASSERT_EQ(preview.size(), expected.size());
            // Only the chroma at the quadrants' edges may differ: the scaled decoder keeps 2 x 2
            // chroma samples a block where the preview keeps their mean.
            qint64 total = 0;
            for (int y = 0; y < preview.height(); ++y) {
                for (int x = 0; x < preview.width() * 3; ++x) {
                    total += std::abs(preview.constScanLine(y)[x] - expected.constScanLine(y)[x]);
                }
            }
            EXPECT_LE(double(total) / (preview.width() * preview.height() * 3), 2.0);
        }
    }
    // Too small a picture for the side asked: no preview, and the thumbnail comes from a decode.
    EXPECT_TRUE(turnJpegLosslessly(encodeJpeg(picture, 90), T::Turn90, 40).preview.isNull());
}

TEST(LosslessJpeg, RefusesEveryTransformWhoseMovingEdgeCutsACodingUnit) {
    // Each sampling with the coding unit of its colour pictures, in pixels.
    struct Sampling {
        int subsampling;
        const char* name;
        int unitWidth;
        int unitHeight;
    };
    const Sampling samplings[] = {{TJSAMP_444, "4:4:4", 8, 8},
                                  {TJSAMP_422, "4:2:2", 16, 8},
                                  {TJSAMP_440, "4:4:0", 8, 16},
                                  {TJSAMP_420, "4:2:0", 16, 16},
                                  {TJSAMP_411, "4:1:1", 32, 8}};
    // Which of the input's sides a transform turns end to front: its far edge comes to the
    // start of the output, so a partial unit there would show.
    struct Moves {
        T transform;
        bool width;
        bool height;
    };
    const Moves moves[] = {{T::MirrorHorizontal, true, false}, {T::MirrorVertical, false, true},
                           {T::Transpose, false, false},       {T::Transverse, true, true},
                           {T::Turn90, false, true},           {T::Turn180, true, true},
                           {T::Turn270, true, false}};
    // Sides that miss the unit by whole 8 x 8 blocks, or by part of one where the unit is a
    // single block.
    const auto offSides = [](int unit) {
        std::vector<int> sides;
        for (int extra = unit == 8 ? 4 : 8; extra < unit; extra += 8) {
            sides.push_back(2 * unit + extra);
        }
        return sides;
    };
    for (const Sampling& sampling : samplings) {
        std::vector<QSize> sizes;
        for (const int width : offSides(sampling.unitWidth)) {
            sizes.emplace_back(width, 2 * sampling.unitHeight);
        }
        for (const int height : offSides(sampling.unitHeight)) {
            sizes.emplace_back(2 * sampling.unitWidth, height);
        }
        for (const QSize size : sizes) {
            const QByteArray input =
                encodeJpeg(quadrants(size.width(), size.height()), 90, sampling.subsampling);
            const bool widthOff = size.width() % sampling.unitWidth != 0;
            for (const Moves& move : moves) {
                SCOPED_TRACE(testing::Message()
                             << sampling.name << " " << size.width() << "x" << size.height()
                             << ", transform " << int(move.transform));
                const LosslessJpeg turned = turnJpegLosslessly(input, move.transform);
                if (widthOff ? move.width : move.height) {
                    EXPECT_EQ(turned.outcome, LosslessOutcome::NotPerfect);
                    EXPECT_TRUE(turned.jpeg.isEmpty());
                    continue;
                }
                ASSERT_EQ(turned.outcome, LosslessOutcome::Turned) << turned.reason.toStdString();
                const QByteArray reference =
                    jpegtran(input, QStringList{"-perfect"} + JpegtranArguments.at(move.transform));
                // Through the program's own loader, which must read every output it writes:
                // a turned 4:1:1 picture has 1 x 4 sampling, which TurboJPEG cannot name.
                const LoadResult output = loadPictureFromBytes(turned.jpeg);
                ASSERT_TRUE(output.ok()) << output.reason.toStdString();
                EXPECT_EQ(output.picture.image, loadPictureFromBytes(reference).picture.image);
            }
        }
    }
}

TEST(LosslessJpeg, RefusesPartialEdgeBlocksAndDamagedData) {
    // 4:2:0 codes 16 x 16 blocks: a width of 65 leaves a partial column on the right.
    const QByteArray odd = encodeJpeg(quadrants(65, 48), 90, TJSAMP_420);
    EXPECT_EQ(turnJpegLosslessly(odd, T::MirrorHorizontal).outcome, LosslessOutcome::NotPerfect);
    EXPECT_EQ(turnJpegLosslessly(odd, T::Turn270).outcome, LosslessOutcome::NotPerfect);
    // Only the moving edges count: a vertical flip keeps the right edge where it is.
    EXPECT_EQ(turnJpegLosslessly(odd, T::MirrorVertical).outcome, LosslessOutcome::Turned);

    const QByteArray whole =
        encodeJpeg(randomImage(64, 64, QImage::Format_RGB888, 7), 90, TJSAMP_420);
    const LosslessJpeg cut = turnJpegLosslessly(whole.left(whole.size() * 2 / 3), T::Turn90);
    EXPECT_EQ(cut.outcome, LosslessOutcome::Refused);
    EXPECT_TRUE(cut.jpeg.isEmpty());
    EXPECT_EQ(turnJpegLosslessly(QByteArray("GIF89a not a jpeg"), T::Turn90).outcome,
              LosslessOutcome::Refused);
}

}  // namespace zentavo::test
