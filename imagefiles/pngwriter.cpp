#include "imagefiles/encoders.h"

#include "imagefiles/gdiplusstatus.h"
#include "imagefiles/writerpixels.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

namespace zentavo {

namespace {

// Qt 6.4's PNG handler turns a quality q into the zlib level (100 - q) * 9 / 91, so 30 to 39 give
// level 6, zlib's usual trade-off; Qt's own default spends several times as long on a photograph
// for a file a few per cent smaller.
constexpr int PngQualityForZlibLevel6 = 35;

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
    writer.setQuality(PngQualityForZlibLevel6);
    if (!writer.write(image)) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The PNG encoder failed: ") + writer.errorString()};
    }
    return bytes;
}

}  // namespace zentavo
