#include "tests/imagefiles/colour/pressprofile.h"

#include <lcms2.h>

namespace zentavo::test {

namespace {

// Lab of a CMYK ink mix.
cmsInt32Number pressSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    cmsCIELab lab;
    lab.L = 95 * (1 - k) * (1 - 0.6 * (c + m + y) / 3);
    lab.a = 60 * (m - 0.8 * c) * (1 - k);
    lab.b = 55 * (y - 0.5 * (c + m)) * (1 - k) + 4;
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

}  // namespace

QByteArray pressProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(table, pressSampler, nullptr, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsPipelineFree(pipeline);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace zentavo::test
