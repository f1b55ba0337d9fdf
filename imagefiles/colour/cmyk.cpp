#include "imagefiles/cmyk.h"

#include "imagefiles/gdiplusstatus.h"
#include "imagefiles/limits.h"
#include "imagefiles/memorytiff.h"
#include "imagefiles/savejpeg.h"
#include "imagefiles/tjhandle.h"

#include <QColorSpace>

#include <lcms2.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <new>

namespace zentavo {

namespace {

// The plain formula for a picture without a usable profile, as libtiff's own reader has it:
// each ink takes its share of the light the black ink lets through.
void convertByFormula(const QImage& inverted, QImage& rgb) {
    for (int y = 0; y < inverted.height(); ++y) {
        const uchar* in = inverted.constScanLine(y);
        uchar* out = rgb.scanLine(y);
        for (int x = 0; x < inverted.width(); ++x, in += 4, out += 3) {
            for (int i = 0; i < 3; ++i) {
                out[i] = uchar(in[i] * in[3] / 255);
            }
        }
    }
}

bool convertByProfile(const QImage& inverted, const QByteArray& profile, QImage& rgb) {
    if (profile.isEmpty()) {
        return false;
    }
    cmsHPROFILE cmyk = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    if (!cmyk) {
        return false;
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = nullptr;
    if (srgb && cmsGetColorSpace(cmyk) == cmsSigCmykData) {
        transform =
            cmsCreateTransform(cmyk, TYPE_CMYK_8_REV, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    }
    if (transform) {
        for (int y = 0; y < inverted.height(); ++y) {
            cmsDoTransform(transform, inverted.constScanLine(y), rgb.scanLine(y),
                           cmsUInt32Number(inverted.width()));
        }
        cmsDeleteTransform(transform);
    }
    if (srgb) {
        cmsCloseProfile(srgb);
    }
    cmsCloseProfile(cmyk);
    return transform != nullptr;
}

int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

}  // namespace

void setCmykPicture(Picture& picture, QImage inverted, const QByteArray& profile) {
    QImage rgb(inverted.size(), QImage::Format_RGB888);
    if (rgb.isNull()) {
        throw std::bad_alloc();
    }
    const bool profiled = convertByProfile(inverted, profile, rgb);
    if (!profiled) {
        convertByFormula(inverted, rgb);
    }
    rgb.setColorSpace(QColorSpace(QColorSpace::SRgb));
    picture.image = std::move(rgb);
    picture.iccProfile.clear();
    picture.cmyk = std::move(inverted);
    picture.cmykProfile = profile;
}

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

QByteArray encodeCmykJpeg(const Picture& picture, int quality) {
    if (quality < 1 || quality > 100) {
        throw WriteFailure{
            GdiplusStatus::InvalidParameter,
            QStringLiteral("The JPEG quality %1 is not between 1 and 100").arg(quality)};
    }
    const TjCompressor tj;
    tjhandle handle = tj.handle;
    if (!handle) {
        throw WriteFailure{GdiplusStatus::OutOfMemory,
                           QStringLiteral("The JPEG encoder cannot start")};
    }
    const QImage& samples = picture.cmyk;
    const int subsampling = picture.jpegSubsampling >= 0 && picture.jpegSubsampling < TJ_NUMSAMP &&
                                    picture.jpegSubsampling != TJSAMP_GRAY
                                ? picture.jpegSubsampling
                                : TJSAMP_444;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle, samples.constBits(), samples.width(),
                                   int(samples.bytesPerLine()), samples.height(), TJPF_CMYK,
                                   &buffer, &size, subsampling, quality, TJFLAG_ACCURATEDCT);
    QByteArray jpeg;
    if (status == 0) {
        jpeg = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    }
    const QString error = QString::fromLatin1(tjGetErrorStr2(handle));
    tjFree(buffer);
    if (status != 0) {
        throw WriteFailure{GdiplusStatus::GenericError,
                           QStringLiteral("The JPEG encoder failed: ") + error};
    }
    return withIccProfile(jpeg, picture.cmykProfile);
}

}  // namespace zentavo
