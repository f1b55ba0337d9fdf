// CMYK pictures stay CMYK where the output holds it (JPEG, TIFF), with their profile; elsewhere
// they become RGB through their profile, as Little CMS converts them, and carry no CMYK profile.
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "tests/testsupport.h"

#include <QColorSpace>
#include <QTemporaryDir>
#include <QTransform>

#include <gtest/gtest.h>
#include <lcms2.h>
#include <tiffio.h>
#include <turbojpeg.h>

namespace zentavo {
namespace {

// Lab of a CMYK ink mix: a made-up press whose colours the plain ink formula does not give.
cmsInt32Number pressSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0,
                 k = in[3] / 65535.0;
    cmsCIELab lab;
    lab.L = 95 * (1 - k) * (1 - 0.6 * (c + m + y) / 3);
    lab.a = 60 * (m - 0.8 * c) * (1 - k);
    lab.b = 55 * (y - 0.5 * (c + m)) * (1 - k) + 4;
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

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

// Ink samples (0 = no ink), 4 bytes a pixel, varied in every ink and not symmetric.
std::vector<uchar> inkSamples(int width, int height) {
    std::vector<uchar> inks(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uchar* p = &inks[(size_t(y) * width + x) * 4];
            p[0] = uchar(x * 255 / width);
            p[1] = uchar(y * 255 / height);
            p[2] = uchar((x + y) % 2 ? 200 : 30);
            p[3] = uchar(x < width / 3 ? 0 : 90);
        }
    }
    return inks;
}

QByteArray cmykTiff(const QString& path, int width, int height, const QByteArray& profile) {
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(4));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
    std::vector<uchar> inks = inkSamples(width, height);
    for (int y = 0; y < height; ++y) {
        TIFFWriteScanline(tiff, &inks[size_t(y) * width * 4], uint32_t(y), 0);
    }
    TIFFClose(tiff);
    return test::readFile(path);
}

TEST(Cmyk, ACmykTiffStaysCmykWithItsProfileThroughAFlip) {
    QTemporaryDir dir;
    const QByteArray profile = pressProfile();
    const int width = 21, height = 14;
    const QByteArray bytes = cmykTiff(dir.filePath(QStringLiteral("in.tif")), width, height, profile);
    LoadResult loaded = loadPictureFromBytes(bytes);
    ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
    EXPECT_TRUE(loaded.picture.iccProfile.isEmpty()) << "a CMYK profile on RGB pixels";
    mirrorPicture(loaded.picture, Mirror::Horizontal);
    const QString output = dir.filePath(QStringLiteral("out.tif"));
    ASSERT_TRUE(SaveWithEncoder(loaded.picture, output, QStringLiteral("image/tiff")));

    TIFF* tiff = TIFFOpen(output.toLocal8Bit().constData(), "r");
    ASSERT_TRUE(tiff);
    uint16_t photometric = 0, samples = 0;
    uint32_t iccSize = 0;
    void* icc = nullptr;
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    EXPECT_EQ(photometric, PHOTOMETRIC_SEPARATED);
    EXPECT_EQ(samples, 4);
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &icc));
    EXPECT_EQ(QByteArray(static_cast<const char*>(icc), qsizetype(iccSize)), profile);
    const std::vector<uchar> inks = inkSamples(width, height);
    std::vector<uchar> row(size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        ASSERT_GE(TIFFReadScanline(tiff, row.data(), uint32_t(y), 0), 0);
        for (int x = 0; x < width; ++x) {
            for (int i = 0; i < 4; ++i) {
                ASSERT_EQ(row[size_t(x) * 4 + i], inks[(size_t(y) * width + width - 1 - x) * 4 + i])
                    << x << "," << y;
            }
        }
    }
    TIFFClose(tiff);
}

TEST(Cmyk, ACmykJpegStaysCmykAsJpegAndBecomesItsProfilesRgbAsPng) {
    const int width = 32, height = 16;
    const QByteArray profile = pressProfile();
    // An Adobe CMYK JPEG: TurboJPEG writes the samples as given, inverted as Adobe stores them.
    std::vector<uchar> inverted = inkSamples(width, height);
    for (uchar& v : inverted) {
        v = uchar(255 - v);
    }
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(handle, inverted.data(), width, width * 4, height, TJPF_CMYK, &buffer,
                          &size, TJSAMP_444, 100, 0),
              0);
    const QByteArray jpeg =
        withIccProfile(QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size)), profile);
    tjFree(buffer);
    tjDestroy(handle);

    // What Little CMS makes of the decoded samples, turned a quarter clockwise.
    std::vector<uchar> decoded(size_t(width) * height * 4);
    tjhandle decoder = tjInitDecompress();
    ASSERT_EQ(tjDecompress2(decoder, reinterpret_cast<const uchar*>(jpeg.constData()),
                            unsigned(jpeg.size()), decoded.data(), width, width * 4, height,
                            TJPF_CMYK, TJFLAG_ACCURATEDCT),
              0);
    tjDestroy(decoder);
    cmsHPROFILE cmyk = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(cmyk, TYPE_CMYK_8_REV, srgb, TYPE_RGB_8,
                                                 INTENT_PERCEPTUAL, 0);
    QImage expected(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        cmsDoTransform(transform, &decoded[size_t(y) * width * 4], expected.scanLine(y),
                       cmsUInt32Number(width));
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(cmyk);
    QTransform quarter;
    quarter.rotate(90);
    expected = expected.transformed(quarter).convertToFormat(QImage::Format_RGB32);

    LoadResult loaded = loadPictureFromBytes(jpeg);
    ASSERT_TRUE(loaded.ok()) << loaded.reason.toStdString();
    turnPicture(loaded.picture, 1);
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("out.png"));
    const QString asJpeg = dir.filePath(QStringLiteral("out.jpg"));
    ASSERT_TRUE(SaveWithEncoder(loaded.picture, png, QStringLiteral("image/png")));
    SaveJpeg(loaded.picture, asJpeg, 95);

    const QImage written = QImage(png).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(written.size(), expected.size());
    for (int y = 0; y < written.height(); ++y) {
        for (int x = 0; x < written.width(); ++x) {
            ASSERT_EQ(written.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_FALSE(test::readFile(png).contains("iCCP") &&
                 !QImage(png).colorSpace().isValid())
        << "the PNG carries a profile that is not an RGB one";

    const QByteArray out = test::readFile(asJpeg);
    tjhandle reader = tjInitDecompress();
    int w = 0, h = 0, sampling = 0, colorspace = 0;
    ASSERT_EQ(tjDecompressHeader3(reader, reinterpret_cast<const uchar*>(out.constData()),
                                  unsigned(out.size()), &w, &h, &sampling, &colorspace),
              0);
    tjDestroy(reader);
    EXPECT_TRUE(colorspace == TJCS_CMYK || colorspace == TJCS_YCCK);
    EXPECT_EQ(QSize(w, h), QSize(height, width));
    EXPECT_TRUE(out.contains(profile.left(128)));
}

}  // namespace
}  // namespace zentavo
