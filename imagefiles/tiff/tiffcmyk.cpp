#include "imagefiles/tiff/tiffcmyk.h"

#include "imagefiles/colour/cmyk.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/tiff/memorytiff.h"

#include <tiffio.h>

#include <climits>
#include <memory>

namespace zentavo {

namespace {

int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

}  // namespace

bool readCmykTiff(const QByteArray& bytes, Picture& picture) {
    MemoryTiffSource file{&bytes};
    std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                             &TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    TIFF* tiff = openMemoryTiff(file, options.get());
    if (!tiff) {
        return false;
    }
    std::unique_ptr<TIFF, decltype(&TIFFClose)> closer(tiff, &TIFFClose);
    uint16_t photometric = 0, samples = 0, bits = 0, inkSet = INKSET_CMYK;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint32_t width = 0, height = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) ||
        photometric != PHOTOMETRIC_SEPARATED || samples != 4 || bits != 8 ||
        planar != PLANARCONFIG_CONTIG || inkSet != INKSET_CMYK || TIFFIsTiled(tiff) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) ||
        !limits::decodedSizeAllowed(int(std::min<uint32_t>(width, INT_MAX)),
                                    int(std::min<uint32_t>(height, INT_MAX)), 7) ||
        TIFFScanlineSize(tiff) != tmsize_t(width) * 4) {
        return false;
    }
    QImage inverted(int(width), int(height), QImage::Format_RGBA8888);
    if (inverted.isNull()) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        uchar* line = inverted.scanLine(int(y));
        if (TIFFReadScanline(tiff, line, y, 0) < 0) {
            return false;
        }
        for (uint32_t i = 0; i < width * 4; ++i) {
            line[i] = uchar(255 - line[i]);
        }
    }
    uint32_t iccSize = 0;
    void* iccData = nullptr;
    QByteArray profile;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &iccData) && iccData && iccSize > 0) {
        profile = QByteArray(static_cast<const char*>(iccData), qsizetype(iccSize));
    }
    Picture made;
    made.format = PictureFormat::Tiff;
    made.droppedPages = picture.droppedPages;
    setCmykPicture(made, std::move(inverted), profile);
    picture = std::move(made);
    return true;
}

}  // namespace zentavo
