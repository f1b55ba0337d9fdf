#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/libraries/codecthreads.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <avif/avif.h>

#include <memory>

namespace zentavo {

namespace {

// The AV1 encoder's speed (0 slowest to 10 fastest): 6 is where libaom's gains per second of
// work flatten out for photographs.
constexpr int AvifSpeed = 6;

struct ImageRelease {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct EncoderRelease {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct OutputRelease {
    void operator()(avifRWData* data) const { avifRWDataFree(data); }
};

void check(avifResult result, const char* step, const avifEncoder* encoder = nullptr) {
    if (result == AVIF_RESULT_OK) {
        return;
    }
    QString text = QString::fromLatin1(avifResultToString(result));
    if (encoder && encoder->diag.error[0]) {
        text += QStringLiteral(": ") + QString::fromUtf8(encoder->diag.error);
    }
    libraryMessage(MessageSource::Avif, true, text);
    throw WriteFailure{
        result == AVIF_RESULT_OUT_OF_MEMORY ? GdiplusStatus::OutOfMemory
                                            : GdiplusStatus::GenericError,
        QStringLiteral("The AVIF encoder failed to %1: %2").arg(QLatin1String(step), text)};
}

// The bits a sample of the output: the picture's own depth, 12 for 16-bit samples of no stated
// depth, 8 otherwise.
int outputBits(const Picture& picture) {
    if (picture.sampleBits == 10 || picture.sampleBits == 12) {
        return picture.sampleBits;
    }
    return picture.image.depth() == 64 ? 12 : 8;
}

// libavif's quantizer (0 best to 63) for a quality of 0 to 100.
int quantizerFor(int quality) {
    return ((100 - quality) * 63 + 50) / 100;
}

}  // namespace

QByteArray encodeAvif(const Picture& picture, const EncoderQuality& quality) {
    const int bits = outputBits(picture);
    const WriterSamples samples = writerSamples(picture, bits);
    const bool lossless = picture.losslessSource;
    std::unique_ptr<avifImage, ImageRelease> image(
        avifImageCreate(uint32_t(samples.width), uint32_t(samples.height), uint32_t(bits),
                        lossless ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420));
    if (!image) {
        throw WriteFailure{GdiplusStatus::OutOfMemory, QStringLiteral("Out of memory")};
    }
    image->yuvRange = AVIF_RANGE_FULL;
    if (picture.codePoints.present) {
        image->colorPrimaries = avifColorPrimaries(picture.codePoints.primaries);
        image->transferCharacteristics = avifTransferCharacteristics(picture.codePoints.transfer);
        image->yuvRange =
            picture.codePoints.fullRange || lossless ? AVIF_RANGE_FULL : AVIF_RANGE_LIMITED;
        if (picture.codePoints.matrix != 0) {
            image->matrixCoefficients = avifMatrixCoefficients(picture.codePoints.matrix);
        }
    }
    // Red, green and blue coded as they are: nothing is lost on the way to the codec.
    if (lossless) {
        image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
    } else if (image->matrixCoefficients == AVIF_MATRIX_COEFFICIENTS_IDENTITY) {
        image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    }
    const QByteArray icc = picture.iccProfile;
    if (!icc.isEmpty()) {
        avifImageSetProfileICC(image.get(), reinterpret_cast<const uint8_t*>(icc.constData()),
                               size_t(icc.size()));
    }

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.depth = uint32_t(bits);
    rgb.format = samples.alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.pixels = reinterpret_cast<uint8_t*>(const_cast<char*>(samples.data.constData()));
    rgb.rowBytes = uint32_t(samples.rowBytes);
    check(avifImageRGBToYUV(image.get(), &rgb), "convert the picture");

    const MetadataBlocks blocks = metadataBlocksFor(picture);
    if (!blocks.exif.isEmpty()) {
        avifImageSetMetadataExif(image.get(),
                                 reinterpret_cast<const uint8_t*>(blocks.exif.constData()),
                                 size_t(blocks.exif.size()));
        // The pixels are stored as shown: no transform, whatever the EXIF block says.
        image->transformFlags = AVIF_TRANSFORM_NONE;
    }
    if (!blocks.xmp.isEmpty()) {
        avifImageSetMetadataXMP(image.get(),
                                reinterpret_cast<const uint8_t*>(blocks.xmp.constData()),
                                size_t(blocks.xmp.size()));
    }

    std::unique_ptr<avifEncoder, EncoderRelease> encoder(avifEncoderCreate());
    if (!encoder) {
        throw WriteFailure{GdiplusStatus::OutOfMemory, QStringLiteral("Out of memory")};
    }
    encoder->maxThreads = codecThreads();
    encoder->speed = AvifSpeed;
    const int quantizer =
        lossless ? AVIF_QUANTIZER_LOSSLESS : quantizerFor(avifQualityFor(quality));
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;
    avifRWData output = AVIF_DATA_EMPTY;
    const std::unique_ptr<avifRWData, OutputRelease> owned(&output);
    check(avifEncoderWrite(encoder.get(), image.get(), &output), "code the picture", encoder.get());
    return QByteArray(reinterpret_cast<const char*>(output.data), qsizetype(output.size));
}

}  // namespace zentavo
