#include "imagefiles/gif/gifcodec.h"

#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <cstring>
#include <memory>
#include <vector>

namespace zentavo {

namespace {

struct GifOutput {
    QByteArray bytes;
};

int appendBytes(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<GifOutput*>(gif->UserData);
    try {
        out->bytes.append(reinterpret_cast<const char*>(data), size);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return size;
}

[[noreturn]] void gifFailed(int error) {
    const GdiplusStatus status = error == E_GIF_ERR_NOT_ENOUGH_MEM ? GdiplusStatus::OutOfMemory
                                                                   : GdiplusStatus::GenericError;
    throw WriteFailure{status, QStringLiteral("The GIF encoder failed: ") +
                                   QString::fromLatin1(GifErrorString(error))};
}

// Owns the giflib writer; closing it writes the trailer.
class GifWriter {
public:
    GifWriter() {
        int error = 0;
        m_gif = EGifOpen(&m_output, appendBytes, &error);
        if (!m_gif) {
            gifFailed(error);
        }
        EGifSetGifVersion(m_gif, true);
    }
    ~GifWriter() {
        if (m_gif) {
            EGifCloseFile(m_gif, nullptr);
        }
    }
    GifFileType* get() { return m_gif; }
    void check(int result) {
        if (result == GIF_ERROR) {
            gifFailed(m_gif->Error);
        }
    }
    QByteArray finish() {
        int error = 0;
        GifFileType* gif = m_gif;
        m_gif = nullptr;
        if (EGifCloseFile(gif, &error) == GIF_ERROR) {
            gifFailed(error);
        }
        return m_output.bytes;
    }

private:
    GifOutput m_output;
    GifFileType* m_gif = nullptr;
};

using ColorMap = std::unique_ptr<ColorMapObject, decltype(&GifFreeMapObject)>;

// giflib takes palettes of 2, 4, ... 256 entries only; the rest is padded with black so that every
// index used stays inside the table.
ColorMap makeColorMap(const QList<QRgb>& palette, int highestIndex) {
    const int needed = qMax<int>(qMax<int>(palette.size(), highestIndex + 1), 2);
    int count = 2;
    while (count < needed) {
        count *= 2;
    }
    std::vector<GifColorType> colors(size_t(count), GifColorType{0, 0, 0});
    for (int i = 0; i < palette.size() && i < count; ++i) {
        colors[size_t(i)] =
            GifColorType{GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])),
                         GifByteType(qBlue(palette[i]))};
    }
    ColorMap map(GifMakeMapObject(count, colors.data()), &GifFreeMapObject);
    if (!map) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("Not enough memory for a GIF palette")};
    }
    return map;
}

int highestIndex(const QImage& indices) {
    int highest = 0;
    for (int y = 0; y < indices.height(); ++y) {
        const uchar* line = indices.constScanLine(y);
        for (int x = 0; x < indices.width(); ++x) {
            highest = qMax<int>(highest, line[x]);
        }
    }
    return highest;
}

void putGraphicControl(GifWriter& writer, int disposal, bool userInput, int delay,
                       int transparentIndex) {
    GraphicsControlBlock block;
    block.DisposalMode = disposal;
    block.UserInputFlag = userInput;
    block.DelayTime = delay;
    block.TransparentColor = transparentIndex < 0 ? NO_TRANSPARENT_COLOR : transparentIndex;
    GifByteType bytes[4];
    EGifGCBToExtension(&block, bytes);
    writer.check(EGifPutExtension(writer.get(), GRAPHICS_EXT_FUNC_CODE, 4, bytes));
}

// A comment extension, in sub-blocks of at most 255 bytes.
void putComment(GifWriter& writer, const QByteArray& comment) {
    writer.check(EGifPutExtensionLeader(writer.get(), COMMENT_EXT_FUNC_CODE));
    for (qsizetype at = 0; at < comment.size(); at += 255) {
        const QByteArray part = comment.mid(at, 255);
        writer.check(EGifPutExtensionBlock(writer.get(), int(part.size()), part.constData()));
    }
    writer.check(EGifPutExtensionTrailer(writer.get()));
}

void putLoopCount(GifWriter& writer, int loopCount) {
    const GifByteType loop[3] = {1, GifByteType(loopCount & 0xFF),
                                 GifByteType((loopCount >> 8) & 0xFF)};
    writer.check(EGifPutExtensionLeader(writer.get(), APPLICATION_EXT_FUNC_CODE));
    writer.check(EGifPutExtensionBlock(writer.get(), 11, "NETSCAPE2.0"));
    writer.check(EGifPutExtensionBlock(writer.get(), 3, loop));
    writer.check(EGifPutExtensionTrailer(writer.get()));
}

// Rows in the order an interlaced frame stores them: every 8th from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1.
void putRows(GifWriter& writer, const QImage& indices, bool interlaced) {
    const int width = indices.width();
    // EGifPutLine masks the pixels in place, so it gets a copy of each row.
    std::vector<GifPixelType> row(static_cast<size_t>(width));
    auto put = [&](int y) {
        std::memcpy(row.data(), indices.constScanLine(y), row.size());
        writer.check(EGifPutLine(writer.get(), row.data(), width));
    };
    if (!interlaced) {
        for (int y = 0; y < indices.height(); ++y) {
            put(y);
        }
        return;
    }
    const int starts[4] = {0, 4, 2, 1};
    const int steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < indices.height(); y += steps[pass]) {
            put(y);
        }
    }
}

QByteArray encodeAnimation(const GifAnimation& animation) {
    GifWriter writer;
    ColorMap global(nullptr, &GifFreeMapObject);
    if (!animation.globalPalette.isEmpty()) {
        int highest = animation.backgroundIndex;
        for (const GifFrame& frame : animation.frames) {
            if (!frame.localPalette) {
                highest = qMax(highest, highestIndex(frame.indices));
            }
        }
        global = makeColorMap(animation.globalPalette, highest);
    }
    writer.check(EGifPutScreenDesc(writer.get(), animation.screenWidth, animation.screenHeight, 8,
                                   animation.backgroundIndex, global.get()));
    if (animation.loopCount >= 0) {
        putLoopCount(writer, animation.loopCount);
    }
    for (const QByteArray& comment : animation.comments) {
        putComment(writer, comment);
    }
    for (const GifFrame& frame : animation.frames) {
        if (frame.indices.format() != QImage::Format_Indexed8 || frame.indices.isNull()) {
            throw WriteFailure{GdiplusStatus::InvalidParameter,
                               QStringLiteral("A GIF frame is not held as palette indices")};
        }
        putGraphicControl(writer, frame.disposal, frame.userInput, frame.delayCentiseconds,
                          frame.transparentIndex);
        ColorMap local(nullptr, &GifFreeMapObject);
        if (frame.localPalette || !global) {
            local = makeColorMap(frame.indices.colorTable(), highestIndex(frame.indices));
        }
        writer.check(EGifPutImageDesc(writer.get(), frame.left, frame.top, frame.indices.width(),
                                      frame.indices.height(), frame.interlaced, local.get()));
        putRows(writer, frame.indices, frame.interlaced);
    }
    return writer.finish();
}

}  // namespace

QByteArray encodeIndexedGif(const QImage& indices, int transparentIndex) {
    GifAnimation animation;
    animation.screenWidth = indices.width();
    animation.screenHeight = indices.height();
    animation.globalPalette = indices.colorTable();
    GifFrame frame;
    frame.indices = indices;
    frame.transparentIndex = transparentIndex;
    animation.frames.push_back(frame);
    return encodeAnimation(animation);
}

QByteArray encodeGif(const Picture& picture) {
    requirePixels(picture);
    if (picture.gif && !picture.gif->frames.empty()) {
        return encodeAnimation(*picture.gif);
    }
    return encodeQuantisedGif(picture.image);
}

}  // namespace zentavo
