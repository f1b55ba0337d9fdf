#pragma once

// What the fuzz targets of the newer formats (WebP, HEIF and AVIF, JPEG XL) check of one input
// given to one decoder: a refusal leaves no picture and says why; a picture has pixels of the
// size its header gives (turned where the format turns it), and survives a flip and a turn.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/loadresult.h"
#include "imagefiles/picture/transform.h"

#include <QByteArray>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <new>

namespace zentavo::fuzz {

// Pictures larger than this are within the ceilings but too slow to decode at fuzzing speed.
inline constexpr qint64 MaxFuzzPixels = qint64(4) << 20;

inline int checkDecoder(const std::uint8_t* data, std::size_t size,
                        LoadResult (*decode)(const QByteArray&),
                        QSize (*headerSize)(const QByteArray&)) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    LibraryMessages quiet;
    const QSize stated = headerSize(bytes);
    if (stated.isValid() && qint64(stated.width()) * stated.height() > MaxFuzzPixels) {
        return 0;
    }
    LoadResult loaded;
    try {
        loaded = decode(bytes);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!loaded.ok()) {
        check(loaded.picture.isEmpty(), "a refused file leaves no picture");
        check(!loaded.reason.isEmpty(), "a refused file gives a reason");
        return 0;
    }
    Picture& picture = loaded.picture;
    check(!picture.isEmpty(), "a decoded picture has pixels");
    if (picture.animation) {
        for (const AnimationFrame& frame : picture.animation->frames) {
            check(frame.image.size() == picture.image.size(), "every frame has the canvas's size");
        }
    }
    const QSize before = picture.image.size();
    try {
        mirrorPicture(picture, size % 2 ? Mirror::Horizontal : Mirror::Vertical);
        turnPicture(picture, 1);
        check(picture.image.size() == before.transposed(), "a quarter turn swaps the sides");
    } catch (const std::bad_alloc&) {
    }
    return 0;
}

}  // namespace zentavo::fuzz
