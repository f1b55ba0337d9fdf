#include "imagefiles/picture/writerpixels.h"

#include "imagefiles/picture/gdiplusstatus.h"

#include <QPainter>

#include <cstring>

namespace zentavo {

void requireAllocated(const QImage& image) {
    if (image.isNull()) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("Not enough memory to convert the picture")};
    }
}

void requirePixels(const Picture& picture) {
    if (picture.isEmpty()) {
        throw WriteFailure{GdiplusStatus::InvalidParameter, QStringLiteral("The picture is empty")};
    }
}

QImage flattenedOntoWhite(const QImage& image) {
    if (!image.hasAlphaChannel()) {
        QImage rgb = image.convertToFormat(QImage::Format_RGB32);
        requireAllocated(rgb);
        return rgb;
    }
    QImage canvas(image.size(), QImage::Format_RGB32);
    requireAllocated(canvas);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(0, 0, image);
    painter.end();
    return canvas;
}

bool isGreyFormat(const QImage& image) {
    return image.format() == QImage::Format_Grayscale8 ||
           image.format() == QImage::Format_Grayscale16;
}

QByteArray iccProfileOf(const Picture& picture) {
    return picture.iccProfile;
}

WriterSamples writerSamples(const Picture& picture, int bits) {
    requirePixels(picture);
    WriterSamples samples;
    samples.width = picture.width();
    samples.height = picture.height();
    samples.bits = bits;
    samples.alpha = picture.image.hasAlphaChannel();
    const int channels = samples.channels();
    if (bits <= 8) {
        const QImage image = picture.image.convertToFormat(samples.alpha ? QImage::Format_RGBA8888
                                                                         : QImage::Format_RGB888);
        requireAllocated(image);
        samples.rowBytes = qsizetype(samples.width) * channels;
        samples.data = QByteArray(samples.rowBytes * samples.height, Qt::Uninitialized);
        for (int y = 0; y < samples.height; ++y) {
            std::memcpy(samples.data.data() + y * samples.rowBytes, image.constScanLine(y),
                        size_t(samples.rowBytes));
        }
        return samples;
    }
    const QImage image = picture.image.convertToFormat(QImage::Format_RGBA64);
    requireAllocated(image);
    samples.rowBytes = qsizetype(samples.width) * channels * 2;
    samples.data = QByteArray(samples.rowBytes * samples.height, Qt::Uninitialized);
    const int shift = 16 - bits;
    for (int y = 0; y < samples.height; ++y) {
        const auto* in = reinterpret_cast<const quint16*>(image.constScanLine(y));
        auto* out = reinterpret_cast<quint16*>(samples.data.data() + y * samples.rowBytes);
        for (int x = 0; x < samples.width; ++x) {
            for (int c = 0; c < channels; ++c) {
                out[channels * x + c] = quint16(in[4 * x + c] >> shift);
            }
        }
    }
    return samples;
}

}  // namespace zentavo
