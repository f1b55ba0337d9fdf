#include "imagefiles/picture/transform.h"

#include "imagefiles/picture/orientation.h"
#include "imagefiles/picture/pixelblocks.h"
#include "imagefiles/picture/pixelpool.h"

#include <QColorSpace>

#include <algorithm>
#include <cstring>
#include <new>

namespace zentavo {

namespace {

// Writes the source pixel (x, y) to (h-1-y, x) for clockwise, (y, w-1-x) for anticlockwise, for
// x0 <= x < x1 and y0 <= y < y1.
template <int N>
void turnRegion(const QImage& source, QImage& target, bool clockwise, int x0, int x1, int y0,
                int y1) {
    const int w = source.width();
    const int h = source.height();
    const uchar* src = source.constBits();
    uchar* dst = target.bits();
    const qsizetype srcStride = source.bytesPerLine();
    const qsizetype dstStride = target.bytesPerLine();
    for (int ty = y0; ty < y1; ty += TurnTileSize) {
        const int ty1 = std::min(y1, ty + TurnTileSize);
        for (int tx = x0; tx < x1; tx += TurnTileSize) {
            const int tx1 = std::min(x1, tx + TurnTileSize);
            for (int x = tx; x < tx1; ++x) {
                const int targetY = clockwise ? x : w - 1 - x;
                auto* out = reinterpret_cast<Pixel<N>*>(dst + targetY * dstStride);
                for (int y = ty; y < ty1; ++y) {
                    const auto* in = reinterpret_cast<const Pixel<N>*>(src + y * srcStride);
                    out[clockwise ? h - 1 - y : y] = in[x];
                }
            }
        }
    }
}

template <int N>
void reverseRows(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        if (!reverseRowFast(row, image.width(), N)) {
            reversePixels<N>(row, row + qsizetype(image.width()) * N);
        }
    }
}

template <int N>
void turnQuarter(const QImage& source, QImage& target, bool clockwise) {
    const int w = source.width();
    const int h = source.height();
    const int side = turnBlocksFast(source, target, clockwise);
    if (side == 0) {
        turnRegion<N>(source, target, clockwise, 0, w, 0, h);
        return;
    }
    // The columns and rows that do not fill a whole block.
    const int blocked = ~(side - 1);
    turnRegion<N>(source, target, clockwise, w & blocked, w, 0, h);
    turnRegion<N>(source, target, clockwise, 0, w & blocked, h & blocked, h);
}

void normaliseDepth(QImage& image) {
    if (image.depth() < 8) {
        image = image.convertToFormat(QImage::Format_Indexed8);
    }
}

template <typename Function>
bool dispatchBytes(int bytesPerPixel, Function&& function) {
    switch (bytesPerPixel) {
        case 1:
            function(std::integral_constant<int, 1>());
            return true;
        case 2:
            function(std::integral_constant<int, 2>());
            return true;
        case 3:
            function(std::integral_constant<int, 3>());
            return true;
        case 4:
            function(std::integral_constant<int, 4>());
            return true;
        case 6:
            function(std::integral_constant<int, 6>());
            return true;
        case 8:
            function(std::integral_constant<int, 8>());
            return true;
        case 12:
            function(std::integral_constant<int, 12>());
            return true;
        case 16:
            function(std::integral_constant<int, 16>());
            return true;
        default:
            return false;
    }
}

void mirrorVerticalBytes(QImage& image) {
    const qsizetype rowBytes = qsizetype(image.width()) * (image.depth() / 8);
    for (int top = 0, bottom = image.height() - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(image.scanLine(top), image.scanLine(top) + rowBytes,
                         image.scanLine(bottom));
    }
}

}  // namespace

void mirrorImage(QImage& image, Mirror mirror) {
    if (image.isNull()) {
        return;
    }
    normaliseDepth(image);
    if (image.bits() == nullptr) {
        image = QImage();  // the private copy could not be allocated
        return;
    }
    if (mirror == Mirror::Vertical) {
        mirrorVerticalBytes(image);
        return;
    }
    const bool done = dispatchBytes(image.depth() / 8, [&](auto n) { reverseRows<n()>(image); });
    if (!done) {
        const QColorSpace space = image.colorSpace();
        image = image.mirrored(true, false);
        image.setColorSpace(space);
    }
}

QImage turnImage(const QImage& image, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    QImage source = image;
    normaliseDepth(source);
    if (turns == 0 || source.isNull()) {
        return source;
    }
    if (turns == 2) {
        if (source.bits() == nullptr) {
            return {};
        }
        mirrorImage(source, Mirror::Vertical);
        mirrorImage(source, Mirror::Horizontal);
        return source;
    }
    // Turns of large pictures come one after another in a batch: the pool gives each the memory
    // of the one before.
    QImage target = pooledImage(source.height(), source.width(), source.format());
    if (target.isNull()) {
        return {};
    }
    target.setColorTable(source.colorTable());
    target.setColorSpace(source.colorSpace());
    target.setDotsPerMeterX(source.dotsPerMeterY());
    target.setDotsPerMeterY(source.dotsPerMeterX());
    for (const QString& key : source.textKeys()) {
        target.setText(key, source.text(key));
    }
    const bool clockwise = turns == 1;
    const bool done = dispatchBytes(source.depth() / 8,
                                    [&](auto n) { turnQuarter<n()>(source, target, clockwise); });
    if (!done) {
        const QColorSpace space = source.colorSpace();
        target = source.transformed(QTransform().rotate(clockwise ? 90 : 270));
        target.setColorSpace(space);
    }
    return target;
}

void mirrorGif(GifAnimation& gif, Mirror mirror) {
    for (GifFrame& frame : gif.frames) {
        mirrorImage(frame.indices, mirror);
        if (mirror == Mirror::Horizontal) {
            frame.left = gif.screenWidth - frame.left - frame.indices.width();
        } else {
            frame.top = gif.screenHeight - frame.top - frame.indices.height();
        }
    }
}

void turnGif(GifAnimation& gif, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 2) {
        mirrorGif(gif, Mirror::Horizontal);
        mirrorGif(gif, Mirror::Vertical);
        return;
    }
    if (turns == 0) {
        return;
    }
    const int width = gif.screenWidth;
    const int height = gif.screenHeight;
    for (GifFrame& frame : gif.frames) {
        const int w = frame.indices.width();
        const int h = frame.indices.height();
        QImage turned = turnImage(frame.indices, turns);
        if (turned.isNull()) {
            throw std::bad_alloc();
        }
        frame.indices = turned;
        const int left = frame.left;
        const int top = frame.top;
        if (turns == 1) {
            frame.left = height - top - h;
            frame.top = left;
        } else {
            frame.left = top;
            frame.top = width - left - w;
        }
    }
    gif.screenWidth = height;
    gif.screenHeight = width;
}

void mirrorPicture(Picture& picture, Mirror mirror) {
    const bool hadImage = !picture.isEmpty();
    mirrorImage(picture.image, mirror);
    if (hadImage && picture.isEmpty()) {
        throw std::bad_alloc();
    }
    if (!picture.cmyk.isNull()) {
        mirrorImage(picture.cmyk, mirror);
        if (picture.cmyk.isNull()) {
            throw std::bad_alloc();
        }
    }
    if (picture.gif) {
        // The animation may be shared with a copy of this picture: change our own.
        picture.gif = std::make_shared<GifAnimation>(*picture.gif);
        mirrorGif(*picture.gif, mirror);
    }
    if (picture.animation) {
        picture.animation = std::make_shared<Animation>(*picture.animation);
        for (AnimationFrame& frame : picture.animation->frames) {
            mirrorImage(frame.image, mirror);
            if (frame.image.isNull()) {
                throw std::bad_alloc();
            }
        }
    }
}

void turnPicture(Picture& picture, int quarterTurns) {
    if (picture.isEmpty()) {
        return;
    }
    QImage turned = turnImage(picture.image, quarterTurns);
    if (turned.isNull()) {
        throw std::bad_alloc();
    }
    picture.image = turned;
    if (!picture.cmyk.isNull()) {
        QImage turnedInks = turnImage(picture.cmyk, quarterTurns);
        if (turnedInks.isNull()) {
            throw std::bad_alloc();
        }
        picture.cmyk = turnedInks;
    }
    if (picture.gif) {
        picture.gif = std::make_shared<GifAnimation>(*picture.gif);
        turnGif(*picture.gif, quarterTurns);
    }
    if (picture.animation) {
        picture.animation = std::make_shared<Animation>(*picture.animation);
        for (AnimationFrame& frame : picture.animation->frames) {
            frame.image = turnImage(frame.image, quarterTurns);
            if (frame.image.isNull()) {
                throw std::bad_alloc();
            }
        }
    }
    if (quarterTurns % 2 != 0) {
        picture.axesSwapped = !picture.axesSwapped;
    }
}

void applyOrientation(Picture& picture, int orientation) {
    switch (ExifOrientation(orientation)) {
        case ExifOrientation::Normal:
            break;
        case ExifOrientation::MirrorHorizontal:
            mirrorPicture(picture, Mirror::Horizontal);
            break;
        case ExifOrientation::Turn180:
            turnPicture(picture, 2);
            break;
        case ExifOrientation::MirrorVertical:
            mirrorPicture(picture, Mirror::Vertical);
            break;
        case ExifOrientation::Transpose:
            turnPicture(picture, 1);
            mirrorPicture(picture, Mirror::Horizontal);
            break;
        case ExifOrientation::Turn90Cw:
            turnPicture(picture, 1);
            break;
        case ExifOrientation::Transverse:
            turnPicture(picture, 1);
            mirrorPicture(picture, Mirror::Vertical);
            break;
        case ExifOrientation::Turn270Cw:
            turnPicture(picture, 3);
            break;
    }
}

}  // namespace zentavo
