// Reads every file shipped beside the program with Qt's own image readers, as the window
// and the loader will, and checks the things a broken generator would get wrong: size,
// format, transparency, the cursor's hotspot and the asymmetry the samples exist for.
//
//   zentavo-resource-check FOLDER     (FOLDER holds Samples/, HAND-M.CUR, drag.ico)
// Exit status 0 when every check holds; otherwise each failure is printed.

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <cstdio>

namespace {

int g_failures = 0;

void check(bool ok, const QString& what) {
    if (!ok) {
        ++g_failures;
        std::fprintf(stderr, "FAIL: %s\n", qPrintable(what));
    }
}

// Reads with an explicit format when one is given, so "cur" and "ico" are really tried.
QImage read(const QString& path, const QByteArray& format, QByteArray* detected = nullptr) {
    QImageReader reader(path, format);
    if (detected)
        *detected = reader.format();
    QImage image = reader.read();
    check(!image.isNull(), path + ": " + reader.errorString());
    return image;
}

bool isCornerRed(QRgb p) {
    return qRed(p) > 150 && qGreen(p) < 80 && qBlue(p) < 90;
}

void checkSample(const QString& folder, const QString& name, const QByteArray& format, QSize size) {
    const QString path = folder + "/Samples/" + name;
    QByteArray detected;
    const QImage image = read(path, QByteArray(), &detected);
    if (image.isNull())
        return;
    check(detected == format, path + ": read as " + detected + ", expected " + format);
    check(image.size() == size, path + ": unexpected size");
    // The red wedge marks the top-left corner only; a mirrored writer moves it.
    const int w = image.width(), h = image.height();
    check(isCornerRed(image.pixel(12, 12)), path + ": top-left wedge missing");
    check(!isCornerRed(image.pixel(w - 13, 12)), path + ": top-right corner is marked");
    check(!isCornerRed(image.pixel(12, h - 13)), path + ": bottom-left corner is marked");
}

void checkPointer(const QString& path, const QByteArray& format, bool isCursor) {
    const QImage image = read(path, format);
    if (image.isNull())
        return;
    check(image.size() == QSize(32, 32), path + ": not 32 x 32");
    check(image.hasAlphaChannel(), path + ": no transparency");
    check(qAlpha(image.pixel(0, 0)) == 0, path + ": corner is not transparent");

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        check(false, path + ": cannot open");
        return;
    }
    const QByteArray bytes = file.read(22);
    const auto word = [&](int offset) {
        return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(bytes.constData()) +
                                          offset);
    };
    check(bytes.size() == 22 && word(2) == (isCursor ? 2 : 1), path + ": wrong resource type");
    if (isCursor) {
        // In a cursor's directory entry, planes and bit count hold the hotspot.
        const QPoint hotspot(word(10), word(12));
        if (!image.rect().contains(hotspot)) {
            check(false, path + ": hotspot outside the picture");
            return;
        }
        check(qAlpha(image.pixel(hotspot)) == 255, path + ": hotspot is not on the fingertip");
        check(hotspot.y() == 0 || qAlpha(image.pixel(hotspot.x(), hotspot.y() - 1)) == 0,
              path + ": hotspot is not at the top of the finger");
    } else {
        check(qAlpha(image.pixel(16, 16)) == 255, path + ": centre is empty");
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zentavo-resource-check FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    checkSample(folder, "sample-bmp.bmp", "bmp", QSize(363, 242));
    checkSample(folder, "sample-jpeg.jpg", "jpeg", QSize(360, 240));
    checkSample(folder, "sample-gif.gif", "gif", QSize(360, 240));
    checkSample(folder, "sample-png.png", "png", QSize(360, 240));
    checkSample(folder, "sample-tiff.tif", "tiff", QSize(360, 240));

    const QImage png = read(folder + "/Samples/sample-png.png", "png");
    check(
        png.hasAlphaChannel() && qAlpha(png.pixel(0, 0)) == 0 && qAlpha(png.pixel(180, 60)) == 255,
        "sample-png.png: transparent corners and an opaque middle expected");

    const QString photo = folder + "/Samples/landscape-6mp.jpg";
    QImageReader photoReader(photo, "jpeg");
    check(photoReader.size() == QSize(3000, 2000), photo + ": not 3000 x 2000");
    check(QFileInfo(photo).size() < 3 * 1024 * 1024, photo + ": larger than 3 MB");
    check(!photoReader.read().isNull(), photo + ": " + photoReader.errorString());

    checkPointer(folder + "/HAND-M.CUR", "cur", true);
    checkPointer(folder + "/drag.ico", "ico", false);
    check(read(folder + "/zentavo.png", "png").size() == QSize(256, 256), "zentavo.png: size");

    if (g_failures == 0)
        std::printf("All shipped resources read correctly.\n");
    return g_failures == 0 ? 0 : 1;
}
