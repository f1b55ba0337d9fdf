#include "imagefiles/picture/writerpixels.h"

#include "imagefiles/picture/gdiplusstatus.h"

#include <QPainter>

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

}  // namespace zentavo
