#include "imagefiles/encoders.h"

#include "imagefiles/gdiplusstatus.h"
#include "imagefiles/writerpixels.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

namespace zentavo {

namespace {

// Qt 6.4's PNG handler turns a quality q into the zlib level (100 - q) * 9 / 91, so 80 to 89
// give level 1. On a 12-megapixel photograph level 1 takes about a fifth of the processor time
// of level 6 (about 1 s against 5 s on a busy machine) for a file about 3 % larger: grain does
// not compress at any level, so the slower levels buy next to nothing. Above 89 the level is 0,
// which stores the pixels uncompressed.
constexpr int PngQualityForZlibLevel1 = 85;

}  // namespace

QByteArray encodePng(const Picture& picture) {
    requirePixels(picture);
    QImage image = picture.image;
    // A turn by Qt drops the colour space; the profile read with the picture still belongs to it.
    if (!picture.iccProfile.isEmpty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(picture.iccProfile);
        if (space.isValid()) {
            image.setColorSpace(space);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(PngQualityForZlibLevel1);
    if (!writer.write(image)) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The PNG encoder failed: ") + writer.errorString()};
    }
    return bytes;
}

}  // namespace zentavo
