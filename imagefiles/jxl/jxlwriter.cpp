#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/jxl/jxlmessages.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

namespace zentavo {

namespace {

// libjxl's effort (1 fastest to 9): 7 is its own default, the one cjxl and other tools use.
constexpr int Effort = 7;

[[noreturn]] void fail(JxlEncoder* encoder, const char* step) {
    const JxlEncoderError error = JxlEncoderGetError(encoder);
    QString text;
    switch (error) {
        case JXL_ENC_ERR_OOM:
            text = QStringLiteral("out of memory");
            break;
        case JXL_ENC_ERR_BAD_INPUT:
            text = QStringLiteral("the input is not valid");
            break;
        case JXL_ENC_ERR_NOT_SUPPORTED:
            text = QStringLiteral("not supported");
            break;
        default:
            text = QStringLiteral("error %1").arg(int(error));
            break;
    }
    libraryMessage(MessageSource::Jxl, true, QLatin1String(step) + QStringLiteral(": ") + text);
    throw WriteFailure{
        error == JXL_ENC_ERR_OOM ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
        QStringLiteral("The JPEG XL encoder failed to %1: %2").arg(QLatin1String(step), text)};
}

void check(JxlEncoder* encoder, JxlEncoderStatus status, const char* step) {
    if (status != JXL_ENC_SUCCESS) {
        fail(encoder, step);
    }
}

// An Exif box holds four bytes of offset to the TIFF header before it.
QByteArray exifBox(const QByteArray& tiff) {
    return QByteArray(4, '\0') + tiff;
}

}  // namespace

QByteArray encodeJxl(const Picture& picture, const EncoderQuality& quality) {
    requirePixels(picture);
    const JxlMessages messages;
    const bool deep = picture.image.depth() == 64 || picture.sampleBits > 8;
    const WriterSamples samples = writerSamples(picture, deep ? 16 : 8);
    const bool lossless = picture.losslessSource;
    const MetadataBlocks blocks =
        metadataBlocksFor(picture.metadata.get(), picture.image.size(), picture.axesSwapped);

    const JxlEncoderPtr owned = JxlEncoderMake(nullptr);
    if (!owned) {
        throw WriteFailure{GdiplusStatus::OutOfMemory, QStringLiteral("Out of memory")};
    }
    JxlEncoder* encoder = owned.get();
    if (!blocks.isEmpty()) {
        check(encoder, JxlEncoderUseContainer(encoder, JXL_TRUE), "use the container");
        check(encoder, JxlEncoderUseBoxes(encoder), "keep the metadata");
    }
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(samples.width);
    info.ysize = uint32_t(samples.height);
    info.bits_per_sample =
        uint32_t(deep && picture.sampleBits > 8 ? picture.sampleBits : samples.bits);
    info.num_color_channels = 3;
    info.alpha_bits = samples.alpha ? info.bits_per_sample : 0;
    info.num_extra_channels = samples.alpha ? 1 : 0;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    check(encoder, JxlEncoderSetBasicInfo(encoder, &info), "describe the picture");
    const QByteArray& icc = picture.iccProfile;
    if (!icc.isEmpty()) {
        check(encoder,
              JxlEncoderSetICCProfile(encoder, reinterpret_cast<const uint8_t*>(icc.constData()),
                                      size_t(icc.size())),
              "keep the colour profile");
    } else {
        JxlColorEncoding srgb;
        JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
        check(encoder, JxlEncoderSetColorEncoding(encoder, &srgb), "set the colour");
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    check(encoder, JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, Effort),
          "set the effort");
    if (lossless) {
        check(encoder, JxlEncoderSetFrameLossless(settings, JXL_TRUE), "code without loss");
    } else {
        check(encoder, JxlEncoderSetFrameDistance(settings, jxlDistanceFor(jxlQualityFor(quality))),
              "set the quality");
    }
    // Samples of fewer than 16 bits are written as 16-bit words scaled to the full range.
    const JxlPixelFormat format{uint32_t(samples.channels()),
                                samples.bits > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                JXL_NATIVE_ENDIAN, 0};
    check(encoder,
          JxlEncoderAddImageFrame(settings, &format, samples.data.constData(),
                                  size_t(samples.data.size())),
          "code the picture");
    if (!blocks.exif.isEmpty()) {
        const QByteArray exif = exifBox(blocks.exif);
        check(encoder,
              JxlEncoderAddBox(encoder, "Exif", reinterpret_cast<const uint8_t*>(exif.constData()),
                               size_t(exif.size()), JXL_FALSE),
              "keep the EXIF data");
    }
    if (!blocks.xmp.isEmpty()) {
        check(encoder,
              JxlEncoderAddBox(encoder, "xml ",
                               reinterpret_cast<const uint8_t*>(blocks.xmp.constData()),
                               size_t(blocks.xmp.size()), JXL_FALSE),
              "keep the XMP data");
    }
    JxlEncoderCloseInput(encoder);

    QByteArray bytes(qsizetype(64) << 10, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        auto* next = reinterpret_cast<uint8_t*>(bytes.data() + used);
        size_t available = size_t(bytes.size() - used);
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &available);
        used = bytes.size() - qsizetype(available);
        if (status == JXL_ENC_SUCCESS) {
            break;
        }
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            fail(encoder, "write the file");
        }
        bytes.resize(bytes.size() * 2);
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace zentavo
