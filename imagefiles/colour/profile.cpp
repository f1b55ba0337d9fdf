#include "imagefiles/colour/profile.h"

#include <lcms2.h>

namespace zentavo {

bool profileFitsPixels(const QByteArray& profile, PixelModel model) {
    if (profile.isEmpty()) {
        return false;
    }
    cmsHPROFILE opened =
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    if (!opened) {
        return false;
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(opened);
    cmsCloseProfile(opened);
    switch (model) {
        case PixelModel::Grey:
            return space == cmsSigGrayData;
        case PixelModel::Rgb:
            return space == cmsSigRgbData;
        case PixelModel::Cmyk:
            return space == cmsSigCmykData;
    }
    return false;
}

}  // namespace zentavo
