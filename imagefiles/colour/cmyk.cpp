#include "imagefiles/colour/cmyk.h"

#include <QColorSpace>

#include <lcms2.h>

#include <new>

namespace zentavo {

namespace {

// The plain formula for a picture without a usable profile, as libtiff's own reader has it:
// each ink takes its share of the light the black ink lets through. Sample is quint8 or quint16.
template <typename Sample>
void convertByFormula(const QImage& inverted, QImage& rgb, int outputChannels) {
    constexpr unsigned Top = Sample(~Sample(0));
    for (int y = 0; y < inverted.height(); ++y) {
        const auto* in = reinterpret_cast<const Sample*>(inverted.constScanLine(y));
        auto* out = reinterpret_cast<Sample*>(rgb.scanLine(y));
        for (int x = 0; x < inverted.width(); ++x, in += 4, out += outputChannels) {
            for (int i = 0; i < 3; ++i) {
                out[i] = Sample(unsigned(in[i]) * in[3] / Top);
            }
        }
    }
}

bool convertByProfile(const QImage& inverted, const QByteArray& profile, QImage& rgb, bool wide) {
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
        // 16-bit pixels keep a fourth sample, which the transform leaves as it is (opaque).
        transform = cmsCreateTransform(cmyk, wide ? TYPE_CMYK_16_REV : TYPE_CMYK_8_REV, srgb,
                                       wide ? TYPE_RGBA_16 : TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
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
    const bool wide = inverted.format() == QImage::Format_RGBA64;
    QImage rgb(inverted.size(), wide ? QImage::Format_RGBX64 : QImage::Format_RGB888);
    if (rgb.isNull()) {
        throw std::bad_alloc();
    }
    if (wide) {
        rgb.fill(Qt::white);  // the fourth sample opaque
    }
    if (!convertByProfile(inverted, profile, rgb, wide)) {
        if (wide) {
            convertByFormula<quint16>(inverted, rgb, 4);
        } else {
            convertByFormula<quint8>(inverted, rgb, 3);
        }
    }
    rgb.setColorSpace(QColorSpace(QColorSpace::SRgb));
    picture.image = std::move(rgb);
    picture.iccProfile.clear();
    picture.cmyk = std::move(inverted);
    picture.cmykProfile = profile;
}

}  // namespace zentavo
