#include "imagefiles/gif/gifcodec.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/picture/limits.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace zentavo::decoders {

namespace {

struct MemorySource {
    const QByteArray* bytes;
    qsizetype position = 0;
};

int readFromMemory(GifFileType* file, GifByteType* buffer, int length) {
    auto* source = static_cast<MemorySource*>(file->UserData);
    const qsizetype count = std::min<qsizetype>(length, source->bytes->size() - source->position);
    if (count <= 0) {
        return 0;
    }
    std::memcpy(buffer, source->bytes->constData() + source->position, size_t(count));
    source->position += count;
    return int(count);
}

struct GifCloser {
    GifFileType* file;
    ~GifCloser() {
        int error = 0;
        DGifCloseFile(file, &error);
    }
};

QList<QRgb> paletteOf(const ColorMapObject* map) {
    QList<QRgb> palette;
    if (map) {
        for (int i = 0; i < map->ColorCount; ++i) {
            const GifColorType& c = map->Colors[i];
            palette.append(qRgb(c.Red, c.Green, c.Blue));
        }
    }
    return palette;
}

LoadResult corrupt(const QString& what) {
    libraryMessage(MessageSource::Gif, true, what);
    return LoadResult::failure(
        LoadError::Corrupt,
        QStringLiteral("The GIF data is damaged or incomplete (%1).").arg(what));
}

// Reads the rows of one frame; interlaced frames arrive in four passes.
bool readRows(GifFileType* file, QImage& indices, bool interlaced) {
    const int height = indices.height();
    const int width = indices.width();
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            if (DGifGetLine(file, indices.scanLine(y), width) != GIF_OK) {
                return false;
            }
        }
        return true;
    }
    constexpr int Start[] = {0, 4, 2, 1};
    constexpr int Step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = Start[pass]; y < height; y += Step[pass]) {
            if (DGifGetLine(file, indices.scanLine(y), width) != GIF_OK) {
                return false;
            }
        }
    }
    return true;
}

// Indices past the end of the palette would be read out of the colour table later: such a
// palette is padded with black.
void coverIndices(QImage& indices, QList<QRgb> palette) {
    int highest = 0;
    for (int y = 0; y < indices.height(); ++y) {
        const uchar* row = indices.constScanLine(y);
        highest = std::max<int>(highest, *std::max_element(row, row + indices.width()));
    }
    if (palette.isEmpty()) {
        for (int i = 0; i < 256; ++i) {
            palette.append(qRgb(i, i, i));
        }
    }
    while (palette.size() <= highest) {
        palette.append(qRgb(0, 0, 0));
    }
    indices.setColorTable(palette);
}

QImage composeFirstFrame(const GifAnimation& gif) {
    QImage screen(gif.screenWidth, gif.screenHeight, QImage::Format_ARGB32);
    if (screen.isNull()) {
        throw std::bad_alloc();
    }
    screen.fill(Qt::transparent);
    const GifFrame& frame = gif.frames.front();
    const QList<QRgb> palette = frame.indices.colorTable();
    for (int y = 0; y < frame.indices.height(); ++y) {
        const uchar* in = frame.indices.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(screen.scanLine(frame.top + y)) + frame.left;
        for (int x = 0; x < frame.indices.width(); ++x) {
            if (in[x] != frame.transparentIndex) {
                out[x] = palette[in[x]] | 0xFF000000u;
            }
        }
    }
    return screen;
}

}  // namespace

LoadResult decodeGif(const QByteArray& bytes) {
    MemorySource source{&bytes, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&source, readFromMemory, &error);
    if (!file) {
        return corrupt(QString::fromLatin1(GifErrorString(error)));
    }
    GifCloser closer{file};
    if (qint64(file->SWidth) * file->SHeight > limits::MaxGifCanvasPixels) {
        return LoadResult::failure(LoadError::TooBig,
                                   QStringLiteral("The GIF screen of %1 x %2 pixels is too large.")
                                       .arg(file->SWidth)
                                       .arg(file->SHeight));
    }
    LoadResult result;
    Picture& picture = result.picture;
    auto gif = std::make_shared<GifAnimation>();
    gif->screenWidth = file->SWidth;
    gif->screenHeight = file->SHeight;
    gif->globalPalette = paletteOf(file->SColorMap);
    gif->backgroundIndex = file->SBackGroundColor;

    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    qint64 frameBytes = 0;
    try {
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(file, &type) != GIF_OK) {
                if (gif->frames.empty()) {
                    return corrupt(QString::fromLatin1(GifErrorString(file->Error)));
                }
                break;  // complete frames but no trailer: common, and nothing is missing
            }
            if (type == TERMINATE_RECORD_TYPE) {
                break;
            }
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(file, &code, &block) != GIF_OK) {
                    return corrupt(QString::fromLatin1(GifErrorString(file->Error)));
                }
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                    DGifExtensionToGCB(block[0], block + 1, &control);
                }
                const bool netscape = code == APPLICATION_EXT_FUNC_CODE && block &&
                                      block[0] == 11 &&
                                      (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                       std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
                const bool comment = code == COMMENT_EXT_FUNC_CODE;
                QByteArray text;
                if (comment && block) {
                    text.append(reinterpret_cast<const char*>(block + 1), block[0]);
                }
                bool first = true;
                while (block) {
                    if (DGifGetExtensionNext(file, &block) != GIF_OK) {
                        return corrupt(QString::fromLatin1(GifErrorString(file->Error)));
                    }
                    if (netscape && first && block && block[0] >= 3 && block[1] == 1) {
                        gif->loopCount = block[2] | block[3] << 8;
                    }
                    if (comment && block) {
                        text.append(reinterpret_cast<const char*>(block + 1), block[0]);
                    }
                    first = false;
                }
                if (comment) {
                    gif->comments.append(text);
                }
                continue;
            }
            if (type != IMAGE_DESC_RECORD_TYPE) {
                continue;
            }
            if (DGifGetImageDesc(file) != GIF_OK) {
                return corrupt(QString::fromLatin1(GifErrorString(file->Error)));
            }
            const GifImageDesc& desc = file->Image;
            const qint64 pixels = qint64(desc.Width) * desc.Height;
            frameBytes += pixels;
            if (desc.Width <= 0 || desc.Height <= 0 || pixels > limits::MaxGifCanvasPixels ||
                frameBytes > limits::MaxGifFrameBytes ||
                int(gif->frames.size()) >= limits::MaxGifFrames) {
                return LoadResult::failure(
                    LoadError::TooBig,
                    QStringLiteral("The GIF animation is larger than the program can hold."));
            }
            GifFrame frame;
            frame.indices = QImage(desc.Width, desc.Height, QImage::Format_Indexed8);
            if (frame.indices.isNull()) {
                throw std::bad_alloc();
            }
            frame.left = desc.Left;
            frame.top = desc.Top;
            frame.interlaced = desc.Interlace;
            frame.localPalette = desc.ColorMap != nullptr;
            frame.delayCentiseconds = control.DelayTime;
            frame.disposal = control.DisposalMode;
            frame.transparentIndex = control.TransparentColor;
            frame.userInput = control.UserInputFlag;
            control = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
            if (!readRows(file, frame.indices, desc.Interlace)) {
                return corrupt(QString::fromLatin1(GifErrorString(file->Error)));
            }
            coverIndices(frame.indices,
                         frame.localPalette ? paletteOf(desc.ColorMap) : gif->globalPalette);
            gif->frames.push_back(std::move(frame));
        }
        if (gif->frames.empty()) {
            return corrupt(QStringLiteral("no frame"));
        }
        // Frames reaching past the logical screen grow it, as viewers do, within the ceiling.
        for (const GifFrame& frame : gif->frames) {
            gif->screenWidth = std::max(gif->screenWidth, frame.left + frame.indices.width());
            gif->screenHeight = std::max(gif->screenHeight, frame.top + frame.indices.height());
        }
        // The grown screen must also fit the ceilings every picture meets, or the program
        // would write outputs that it cannot read back.
        if (qint64(gif->screenWidth) * gif->screenHeight > limits::MaxGifCanvasPixels ||
            !limits::decodedSizeAllowed(gif->screenWidth, gif->screenHeight, 4)) {
            return LoadResult::failure(
                LoadError::TooBig,
                QStringLiteral("The GIF frames reach past %1 x %2 pixels, too large a screen.")
                    .arg(gif->screenWidth)
                    .arg(gif->screenHeight));
        }
        picture.image = composeFirstFrame(*gif);
    } catch (const std::bad_alloc&) {
        return LoadResult::failure(LoadError::OutOfMemory,
                                   QStringLiteral("There is not enough memory for the picture."));
    }
    picture.format = PictureFormat::Gif;
    picture.gif = std::move(gif);
    return result;
}

}  // namespace zentavo::decoders
