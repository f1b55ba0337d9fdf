// Prints how long each writer takes for a 12-megapixel photograph-like picture (4000 x 3000):
// JPEG at quality 85, PNG, TIFF and GIF, each written to a temporary folder through the same
// calls the batch run makes; then the PNG read by the program and by Qt, and written by Qt at
// zlib level 1, for comparison. Usage: zentavo-bench-writers [repetitions]
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/savewithencoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace zentavo;

namespace {

QImage photograph(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int((state >> 24) % 13) - 6;
            const double u = double(x) / width;
            const double v = double(y) / height;
            const double disc = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12.0);
            const int r = int(40 + 150 * u + 60 * disc + 10 * std::sin(x * 0.05)) + noise;
            const int g = int(70 + 90 * v + 80 * disc * u + 8 * std::cos(y * 0.07)) + noise;
            const int b = int(160 - 100 * v + 40 * std::sin(u * 6.0)) + noise;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

// Wall time and processor time (the machine may be shared, which stretches wall time only).
void measure(const char* label, const QString& path, int repetitions,
             const std::function<void()>& write) {
    double bestWall = 1e300;
    double bestCpu = 1e300;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        write();
        bestCpu = std::min(bestCpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        bestWall = std::min(bestWall, timer.nsecsElapsed() / 1e9);
    }
    std::printf("%-10s %8.3f s wall %8.3f s cpu %10lld bytes\n", label, bestWall, bestCpu,
                static_cast<long long>(QFileInfo(path).size()));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    Picture picture;
    picture.image = photograph(4000, 3000);
    std::printf("4000 x 3000 photograph-like picture, best of %d\n", repetitions);

    const QString jpeg = dir.filePath(QStringLiteral("out.jpg"));
    measure("JPEG q85", jpeg, repetitions, [&] { SaveJpeg(picture, jpeg, 85); });
    for (const auto& [label, mime, name] :
         {std::tuple{"PNG", "image/png", "out.png"}, std::tuple{"TIFF", "image/tiff", "out.tif"},
          std::tuple{"GIF", "image/gif", "out.gif"}}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        measure(label, path, repetitions, [&] {
            QString reason;
            if (!SaveWithEncoder(picture, path, QString::fromLatin1(mime), &reason)) {
                std::fprintf(stderr, "%s failed: %s\n", label, qPrintable(reason));
            }
        });
    }

    // PNG read and written by libspng against Qt's reader and writer (zlib level 1, as the
    // program used them before), on the same picture.
    const QString png = dir.filePath(QStringLiteral("out.png"));
    const QString qtPng = dir.filePath(QStringLiteral("qt.png"));
    measure("PNG Qt", qtPng, repetitions, [&] {
        QImageWriter writer(qtPng, "png");
        writer.setQuality(85);
        writer.write(picture.image.convertToFormat(QImage::Format_RGB888));
    });
    measure("PNG read", png, repetitions, [&] { loadPicture(png); });
    measure("PNG readQt", png, repetitions, [&] { QImageReader(png).read(); });
    return 0;
}
