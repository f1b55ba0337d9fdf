#include "imagefiles/colour/cmyk.h"

#include <QColorSpace>

#include <lcms2.h>

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

}  // namespace zentavo
