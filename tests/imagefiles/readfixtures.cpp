#include "tests/imagefiles/readfixtures.h"

#include <QBuffer>
#include <QTemporaryFile>

#include <gif_lib.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

namespace zentavo::test {

QImage randomImage(int width, int height, QImage::Format format, unsigned seed) {
    QImage image(width, height, format);
    std::mt19937 random(seed);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 16; ++i) {
            table << qRgb(i * 16, 255 - i * 13, (i * 71) % 256);
        }
        image.setColorTable(table);
    }
    const int rowBytes = width * image.depth() / 8;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int i = 0; i < rowBytes; ++i) {
            row[i] = uchar(random());
            if (format == QImage::Format_Indexed8) {
                row[i] %= 16;
            }
        }
    }
    return image;
}

QByteArray encodeJpeg(const QImage& rgb888, int quality, int subsampling) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, rgb888.constBits(), rgb888.width(), int(rgb888.bytesPerLine()),
                               rgb888.height(), TJPF_RGB, &out, &size, subsampling, quality, 0);
    QByteArray jpeg =
        rc == 0 ? QByteArray(reinterpret_cast<char*>(out), qsizetype(size)) : QByteArray();
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian) {
    auto u16 = [&](int v) {
        QByteArray bytes(2, '\0');
        bytes[bigEndian ? 0 : 1] = char((v >> 8) & 0xFF);
        bytes[bigEndian ? 1 : 0] = char(v & 0xFF);
        return bytes;
    };
    auto u32 = [&](int v) {
        return bigEndian ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16);
    };
    QByteArray tiff = QByteArray(bigEndian ? "MM" : "II") + u16(42) + u32(8);
    tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1");
    segment += char((payload.size() + 2) >> 8);
    segment += char((payload.size() + 2) & 0xFF);
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray writeRgbaTiff(int width, int height, int bits, bool associated,
                         const std::vector<quint16>& samples, int pages, int channels,
                         bool separate, bool whiteIsZero, bool tagged) {
    QTemporaryFile file;
    file.open();
    const QByteArray name = file.fileName().toLocal8Bit();
    TIFF* tiff = TIFFOpen(name.constData(), "w");
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                     channels == 4 ? PHOTOMETRIC_RGB
                     : whiteIsZero ? PHOTOMETRIC_MINISWHITE
                                   : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                     separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 3);
        uint16_t extra = associated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        if (tagged) {
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        const int perRow = separate ? 1 : channels;
        std::vector<uchar> row(size_t(width) * perRow * (bits / 8));
        for (int plane = 0; plane < (separate ? channels : 1); ++plane) {
            for (int y = 0; y < height; ++y) {
                for (int i = 0; i < width * perRow; ++i) {
                    const size_t at = separate ? size_t(y * width + i) * channels + plane
                                               : size_t(y) * width * channels + i;
                    const quint16 value = samples[at];
                    if (bits == 8) {
                        row[i] = uchar(value);
                    } else {
                        std::memcpy(&row[size_t(i) * 2], &value, 2);
                    }
                }
                TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane));
            }
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    file.seek(0);
    return file.readAll();
}

namespace {

int writeToBuffer(GifFileType* file, const GifByteType* data, int length) {
    static_cast<QByteArray*>(file->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

ColorMapObject* fourColours(int shift) {
    GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (auto& c : colours) {
        c.Red = GifByteType(c.Red ^ shift);
    }
    return GifMakeMapObject(4, colours);
}

}  // namespace

QByteArray writeGif(int screenWidth, int screenHeight, const std::vector<GifFrameInput>& frames,
                    int loopCount) {
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, writeToBuffer, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = fourColours(0);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 2, 0, global);
    if (loopCount >= 0) {
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        const unsigned char loop[3] = {1, uchar(loopCount & 0xFF), uchar(loopCount >> 8)};
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (const GifFrameInput& frame : frames) {
        GraphicsControlBlock control{frame.disposal, frame.userInput, frame.delay,
                                     frame.transparentIndex};
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension);
        ColorMapObject* local = frame.localPalette ? fourColours(0x55) : nullptr;
        // giflib drops, without freeing, the previous frame's palette copy when this frame has
        // none of its own.
        GifFreeMapObject(gif->Image.ColorMap);
        gif->Image.ColorMap = nullptr;
        EGifPutImageDesc(gif, frame.left, frame.top, frame.indices.width(), frame.indices.height(),
                         false, local);
        for (int y = 0; y < frame.indices.height(); ++y) {
            EGifPutLine(gif, const_cast<GifPixelType*>(frame.indices.constScanLine(y)),
                        frame.indices.width());
        }
        if (local) {
            GifFreeMapObject(local);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return bytes;
}

QByteArray writeGifThroughGiflib(const QImage& indices, bool interlaced) {
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, writeToBuffer, &error);
    gif->SWidth = indices.width();
    gif->SHeight = indices.height();
    gif->SColorResolution = 8;
    gif->SBackGroundColor = 0;
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = i < indices.colorCount() ? indices.color(i) : qRgb(0, 0, 0);
        colours[size_t(i)] = {GifByteType(qRed(colour)), GifByteType(qGreen(colour)),
                              GifByteType(qBlue(colour))};
    }
    gif->SColorMap = GifMakeMapObject(256, colours.data());
    SavedImage* frame = GifMakeSavedImage(gif, nullptr);
    frame->ImageDesc = {0, 0, indices.width(), indices.height(), interlaced, nullptr};
    // giflib frees the rows with the file.
    frame->RasterBits =
        static_cast<GifByteType*>(std::malloc(size_t(indices.width()) * size_t(indices.height())));
    for (int y = 0; y < indices.height(); ++y) {
        std::memcpy(frame->RasterBits + qsizetype(y) * indices.width(), indices.constScanLine(y),
                    size_t(indices.width()));
    }
    EGifSpew(gif);
    return bytes;
}

QByteArray pixelBytes(const QImage& image, int x, int y) {
    const int n = image.depth() / 8;
    return QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)) + qsizetype(x) * n, n);
}

}  // namespace zentavo::test
