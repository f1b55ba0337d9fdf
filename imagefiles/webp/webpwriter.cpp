#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"
#include "imagefiles/webp/webpcodec.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

namespace zentavo {

namespace {

struct PictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};
struct AnimEncoderRelease {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};
struct MuxRelease {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

[[noreturn]] void fail(const QString& text, bool memory = false) {
    libraryMessage(MessageSource::Webp, true, text);
    throw WriteFailure{memory ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError,
                       QStringLiteral("The WebP encoder failed: ") + text};
}

QString encodingError(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return QStringLiteral("out of memory");
        case VP8_ENC_ERROR_BAD_DIMENSION:
            return QStringLiteral("the picture's size is beyond WebP's");
        case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
        case VP8_ENC_ERROR_PARTITION_OVERFLOW:
            return QStringLiteral("a partition is too large");
        case VP8_ENC_ERROR_FILE_TOO_BIG:
            return QStringLiteral("the file would be larger than 4 GB");
        default:
            break;
    }
    return QStringLiteral("error %1").arg(int(error));
}

WebPConfig configFor(const Picture& picture, const EncoderQuality& quality) {
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        fail(QStringLiteral("version mismatch"));
    }
    if (picture.losslessSource) {
        config.lossless = 1;
        // The colour under fully transparent pixels is kept too: decoded pixels equal ours.
        config.exact = 1;
    } else {
        config.quality = float(webpQualityFor(quality));
    }
    config.thread_level = 0;
    return config;
}

// image's pixels in a WebPPicture; 8-bit RGBA or RGB rows.
void importPixels(WebPPicture& target, const QImage& image, bool lossless) {
    if (!WebPPictureInit(&target)) {
        fail(QStringLiteral("version mismatch"));
    }
    target.width = image.width();
    target.height = image.height();
    target.use_argb = lossless ? 1 : 0;
    const bool alpha = image.hasAlphaChannel();
    const QImage rows =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    requireAllocated(rows);
    const int imported =
        alpha ? WebPPictureImportRGBA(&target, rows.constBits(), int(rows.bytesPerLine()))
              : WebPPictureImportRGB(&target, rows.constBits(), int(rows.bytesPerLine()));
    if (!imported) {
        fail(QStringLiteral("out of memory"), true);
    }
}

QByteArray encodeStill(const Picture& picture, const WebPConfig& config) {
    WebPPicture target;
    importPixels(target, picture.image, config.lossless != 0);
    const std::unique_ptr<WebPPicture, PictureFree> owned(&target);
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    target.writer = WebPMemoryWrite;
    target.custom_ptr = &writer;
    const int encoded = WebPEncode(&config, &target);
    QByteArray bytes(reinterpret_cast<const char*>(writer.mem), qsizetype(writer.size));
    WebPMemoryWriterClear(&writer);
    if (!encoded) {
        fail(encodingError(target.error_code), target.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY);
    }
    return bytes;
}

QByteArray encodeAnimation(const Animation& animation, const WebPConfig& config) {
    const QImage& first = animation.frames.front().image;
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) {
        fail(QStringLiteral("version mismatch"));
    }
    options.anim_params.loop_count = animation.loopCount;
    options.anim_params.bgcolor = animation.background;
    const std::unique_ptr<WebPAnimEncoder, AnimEncoderRelease> encoder(
        WebPAnimEncoderNew(first.width(), first.height(), &options));
    if (!encoder) {
        fail(QStringLiteral("out of memory"), true);
    }
    int timestamp = 0;
    for (const AnimationFrame& frame : animation.frames) {
        WebPPicture target;
        importPixels(target, frame.image, config.lossless != 0);
        const std::unique_ptr<WebPPicture, PictureFree> owned(&target);
        if (!WebPAnimEncoderAdd(encoder.get(), &target, timestamp, &config)) {
            fail(QString::fromUtf8(WebPAnimEncoderGetError(encoder.get())));
        }
        timestamp += frame.durationMs;
    }
    WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder.get(), &data)) {
        fail(QString::fromUtf8(WebPAnimEncoderGetError(encoder.get())));
    }
    QByteArray bytes(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    return bytes;
}

void setChunk(WebPMux* mux, const char* fourcc, const QByteArray& content) {
    if (content.isEmpty()) {
        return;
    }
    const WebPData data{reinterpret_cast<const uint8_t*>(content.constData()),
                        size_t(content.size())};
    if (WebPMuxSetChunk(mux, fourcc, &data, 1) != WEBP_MUX_OK) {
        fail(QStringLiteral("the %1 chunk cannot be added").arg(QLatin1String(fourcc).trimmed()));
    }
}

// The file with the ICC profile, EXIF and XMP chunks, through the mux.
QByteArray withChunks(const QByteArray& webp, const Picture& picture) {
    const MetadataBlocks blocks =
        metadataBlocksFor(picture.metadata.get(), picture.image.size(), picture.axesSwapped);
    const QByteArray& icc = picture.iccProfile;
    if (blocks.isEmpty() && icc.isEmpty()) {
        return webp;
    }
    const WebPData data{reinterpret_cast<const uint8_t*>(webp.constData()), size_t(webp.size())};
    const std::unique_ptr<WebPMux, MuxRelease> mux(WebPMuxCreate(&data, 1));
    if (!mux) {
        fail(QStringLiteral("the container cannot be opened"));
    }
    setChunk(mux.get(), "ICCP", icc);
    setChunk(mux.get(), "EXIF", blocks.exif);
    setChunk(mux.get(), "XMP ", blocks.xmp);
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        fail(QStringLiteral("the container cannot be put together"));
    }
    QByteArray bytes(reinterpret_cast<const char*>(assembled.bytes), qsizetype(assembled.size));
    WebPDataClear(&assembled);
    return bytes;
}

}  // namespace

QByteArray encodeWebp(const Picture& picture, const EncoderQuality& quality) {
    requirePixels(picture);
    if (picture.width() > WEBP_MAX_DIMENSION || picture.height() > WEBP_MAX_DIMENSION) {
        throw WriteFailure{GdiplusStatus::InvalidParameter,
                           QStringLiteral("A WebP picture is at most %1 pixels on a side.")
                               .arg(WEBP_MAX_DIMENSION)};
    }
    const WebPConfig config = configFor(picture, quality);
    const QByteArray webp = picture.animation && !picture.animation->frames.empty()
                                ? encodeAnimation(*picture.animation, config)
                                : encodeStill(picture, config);
    return withChunks(webp, picture);
}

}  // namespace zentavo
