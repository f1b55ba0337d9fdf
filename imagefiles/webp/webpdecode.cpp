#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"
#include "imagefiles/webp/webpcodec.h"

#include <QColorSpace>

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <new>

namespace zentavo::decoders {

namespace {

struct DemuxRelease {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
struct AnimRelease {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

QString statusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return QStringLiteral("out of memory");
        case VP8_STATUS_INVALID_PARAM:
            return QStringLiteral("invalid parameter");
        case VP8_STATUS_BITSTREAM_ERROR:
            return QStringLiteral("bitstream error");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return QStringLiteral("unsupported feature");
        case VP8_STATUS_SUSPENDED:
            return QStringLiteral("suspended");
        case VP8_STATUS_USER_ABORT:
            return QStringLiteral("user abort");
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return QStringLiteral("not enough data");
        case VP8_STATUS_OK:
            break;
    }
    return QStringLiteral("no error");
}

LoadResult damaged(const QString& text) {
    libraryMessage(MessageSource::Webp, true, text);
    return LoadResult::failure(
        LoadError::Corrupt,
        QStringLiteral("The WebP data is damaged or incomplete (%1).").arg(text));
}

LoadResult tooBig(qint64 width, qint64 height) {
    return LoadResult::failure(
        LoadError::TooBig,
        QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
            .arg(width)
            .arg(height));
}

QByteArray chunk(WebPDemuxer* demuxer, const char* fourcc) {
    WebPChunkIterator iterator;
    QByteArray data;
    if (WebPDemuxGetChunk(demuxer, fourcc, 1, &iterator)) {
        data = QByteArray(reinterpret_cast<const char*>(iterator.chunk.bytes),
                          qsizetype(iterator.chunk.size));
        WebPDemuxReleaseChunkIterator(&iterator);
    }
    return data;
}

// The ICC profile, EXIF and XMP chunks of the container.
void readChunks(const QByteArray& bytes, Picture& picture) {
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    const std::unique_ptr<WebPDemuxer, DemuxRelease> demuxer(WebPDemux(&data));
    if (!demuxer) {
        return;
    }
    const QByteArray icc = chunk(demuxer.get(), "ICCP");
    if (!icc.isEmpty()) {
        picture.iccProfile = icc;
        const QColorSpace space = QColorSpace::fromIccProfile(icc);
        if (space.isValid()) {
            picture.image.setColorSpace(space);
        }
    }
    MetadataBlocks blocks;
    blocks.exif = chunk(demuxer.get(), "EXIF");
    // Some writers keep the JPEG segment's "Exif\0\0" before the TIFF header.
    if (blocks.exif.startsWith(QByteArrayView("Exif\0\0", 6))) {
        blocks.exif.remove(0, 6);
    }
    blocks.xmp = chunk(demuxer.get(), "XMP ");
    picture.metadata = metadataFromBlocks(blocks);
}

// Whether every frame of an animation is coded losslessly.
bool framesLossless(const QByteArray& bytes) {
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    const std::unique_ptr<WebPDemuxer, DemuxRelease> demuxer(WebPDemux(&data));
    WebPIterator frame;
    if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame)) {
        return false;
    }
    bool lossless = true;
    do {
        WebPBitstreamFeatures features;
        lossless = lossless &&
                   WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) ==
                       VP8_STATUS_OK &&
                   features.format == 2;
    } while (lossless && WebPDemuxNextFrame(&frame));
    WebPDemuxReleaseIterator(&frame);
    return lossless;
}

LoadResult decodeStill(const QByteArray& bytes, const WebPBitstreamFeatures& features) {
    LoadResult result;
    Picture& picture = result.picture;
    picture.image =
        pooledImage(features.width, features.height,
                    features.has_alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (picture.image.isNull()) {
        throw std::bad_alloc();
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        return damaged(QStringLiteral("version mismatch"));
    }
    config.output.colorspace = features.has_alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = picture.image.bits();
    config.output.u.RGBA.stride = int(picture.image.bytesPerLine());
    config.output.u.RGBA.size = size_t(picture.image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                            size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        if (status == VP8_STATUS_OUT_OF_MEMORY) {
            throw std::bad_alloc();
        }
        return damaged(statusText(status));
    }
    return result;
}

LoadResult decodeAnimation(const QByteArray& bytes) {
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return damaged(QStringLiteral("version mismatch"));
    }
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, AnimRelease> decoder(
        WebPAnimDecoderNew(&data, &options));
    if (!decoder) {
        return damaged(QStringLiteral("the animation cannot be read"));
    }
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) {
        return damaged(QStringLiteral("the animation cannot be read"));
    }
    const qint64 frameBytes = qint64(info.canvas_width) * info.canvas_height * 4;
    if (!limits::decodedSizeAllowed(info.canvas_width, info.canvas_height, 4) ||
        info.frame_count > uint32_t(limits::MaxAnimationFrames) ||
        frameBytes * qint64(info.frame_count) > limits::MaxAnimationBytes) {
        return tooBig(info.canvas_width, info.canvas_height);
    }
    auto animation = std::make_shared<Animation>();
    animation->loopCount = int(info.loop_count);
    animation->background = info.bgcolor;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
            return damaged(
                QStringLiteral("frame %1 cannot be decoded").arg(animation->frames.size() + 1));
        }
        QImage frame(int(info.canvas_width), int(info.canvas_height), QImage::Format_RGBA8888);
        if (frame.isNull()) {
            throw std::bad_alloc();
        }
        for (int y = 0; y < frame.height(); ++y) {
            std::memcpy(frame.scanLine(y), canvas + qint64(y) * info.canvas_width * 4,
                        size_t(info.canvas_width) * 4);
        }
        animation->frames.push_back({frame, timestamp - previous});
        previous = timestamp;
    }
    if (animation->frames.empty()) {
        return damaged(QStringLiteral("the animation has no frame"));
    }
    LoadResult result;
    result.picture.image = animation->frames.front().image;
    result.picture.animation = std::move(animation);
    return result;
}

}  // namespace

QSize webpHeaderSize(const QByteArray& bytes) {
    int width = 0;
    int height = 0;
    if (!WebPGetInfo(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                     &width, &height)) {
        return {};
    }
    return QSize(width, height);
}

LoadResult decodeWebp(const QByteArray& bytes) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), &features);
    if (status != VP8_STATUS_OK) {
        return damaged(statusText(status));
    }
    if (!limits::decodedSizeAllowed(features.width, features.height, 4)) {
        return tooBig(features.width, features.height);
    }
    LoadResult result =
        features.has_animation ? decodeAnimation(bytes) : decodeStill(bytes, features);
    if (!result.ok()) {
        return result;
    }
    result.picture.format = PictureFormat::Webp;
    // Format 2: every picture of the file is coded losslessly.
    result.picture.losslessSource =
        features.has_animation ? framesLossless(bytes) : features.format == 2;
    readChunks(bytes, result.picture);
    return result;
}

}  // namespace zentavo::decoders
