// A lossless run over JPEGs of every sampling whose sizes fall on whole 8 x 8 blocks but not on
// every sampling's coding unit: only the pictures whose units are whole are turned on their
// compressed data; the others are re-encoded, named, and keep their colour on their brightness.
#include "batch/joboptions.h"
#include "imagefiles/loadpicfile.h"
#include "tests/batch/runfixture.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <QFileInfo>
#include <QTemporaryDir>

namespace zentavo::test {
namespace {

// 8 x 8 cells of two colours of the same brightness: colour moved against brightness by a
// cell swaps them.
QImage colourCells(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, (x / 8 + y / 8) % 2 ? qRgb(200, 60, 60) : qRgb(30, 120, 200));
        }
    }
    return image;
}

double meanDifference(const QImage& a, const QImage& b) {
    qint64 total = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                     std::abs(qBlue(p) - qBlue(q));
        }
    }
    return double(total) / (3.0 * a.width() * a.height());
}

}  // namespace

TEST(LosslessRun, PicturesWhoseTurnCutsACodingUnitAreReencodedAndNamed) {
    QTemporaryDir inputs;
    QTemporaryDir results;
    // 72 x 40 is whole 8 x 8 blocks; a half turn moves both edges, so every unit wider or
    // taller than a block is cut: 16 wide (4:2:2, 4:2:0), 16 high (4:4:0, 4:2:0), 32 wide (4:1:1).
    const std::pair<const char*, int> samplings[] = {{"s444", TJSAMP_444},
                                                     {"s422", TJSAMP_422},
                                                     {"s440", TJSAMP_440},
                                                     {"s420", TJSAMP_420},
                                                     {"s411", TJSAMP_411}};
    QStringList paths;
    for (const auto& [name, subsampling] : samplings) {
        paths << inputs.filePath(QString::fromLatin1(name) + ".jpg");
        writeJpeg(paths.back(), colourCells(72, 40), 95, 0, subsampling);
    }
    FixedJobOptions options;
    options.folder = results.path();
    options.op = Operation::Rotate;
    options.rotation = QStringLiteral("-180");
    options.quality = QualityMode::Lossless;
    RecordingFrontEnd frontEnd;
    runBatch(options, frontEnd, paths, 2);
    EXPECT_EQ(frontEnd.scripted.messages(),
              QStringList{"Done.\r\n\r\nThese files were re-encoded, their size does not allow a "
                          "lossless turn:\r\n\r\n" +
                          paths.mid(1).join("\r\n")});
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        const LoadResult input = loadPicture(path);
        const LoadResult output =
            loadPicture(results.filePath(QFileInfo(path).baseName() + "_rotated.jpg"));
        ASSERT_TRUE(input.ok() && output.ok());
        const QImage expected = input.picture.image.transformed(QTransform().rotate(180));
        ASSERT_EQ(output.picture.image.size(), expected.size());
        // Colour a cell off its brightness differs by about 100 a sample where it lands.
        EXPECT_LT(meanDifference(output.picture.image, expected), 4.0);
    }
}

}  // namespace zentavo::test
