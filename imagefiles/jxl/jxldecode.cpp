#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/jxl/jxlmessages.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"

#include <QColorSpace>
#include <QtEndian>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>

#include <algorithm>
#include <new>

namespace zentavo::decoders {

namespace {

// The largest Exif or xml box kept; larger ones are left behind, never a reason to refuse.
constexpr size_t MaxBoxBytes = size_t(16) << 20;

// A refusal in libjxl's words when it printed any, in ours otherwise.
LoadResult damaged(const JxlMessages& messages, const QString& what) {
    const QString words = messages.first().isEmpty() ? what : messages.first();
    if (messages.first().isEmpty()) {
        libraryMessage(MessageSource::Jxl, true, what);
    }
    return LoadResult::failure(
        LoadError::Corrupt,
        QStringLiteral("The JPEG XL data is damaged or incomplete (%1).").arg(words));
}

// Collects the content of the current Exif or xml box.
struct BoxCollector {
    QByteArray type;
    QByteArray data;
    qsizetype filled = 0;
    bool active = false;

    void start(JxlDecoder* decoder, const QByteArray& boxType) {
        type = boxType;
        data = QByteArray(64 << 10, Qt::Uninitialized);
        filled = 0;
        active = JxlDecoderSetBoxBuffer(decoder, reinterpret_cast<uint8_t*>(data.data()),
                                        size_t(data.size())) == JXL_DEC_SUCCESS;
    }
    // More room for a box larger than the buffer; false past MaxBoxBytes.
    bool grow(JxlDecoder* decoder) {
        const size_t left = JxlDecoderReleaseBoxBuffer(decoder);
        filled = data.size() - qsizetype(left);
        if (size_t(data.size()) * 2 > MaxBoxBytes) {
            active = false;
            return false;
        }
        data.resize(data.size() * 2);
        return JxlDecoderSetBoxBuffer(decoder, reinterpret_cast<uint8_t*>(data.data() + filled),
                                      size_t(data.size() - filled)) == JXL_DEC_SUCCESS;
    }
    // The finished box into blocks.
    void finish(JxlDecoder* decoder, MetadataBlocks& blocks) {
        if (!active) {
            return;
        }
        const size_t left = JxlDecoderReleaseBoxBuffer(decoder);
        active = false;
        const QByteArray content = data.left(data.size() - qsizetype(left));
        if (type == "Exif" && content.size() > 4) {
            // Four bytes give where the TIFF header starts after them.
            const quint32 skip = qFromBigEndian<quint32>(content.constData());
            if (skip < quint32(content.size() - 4)) {
                blocks.exif = content.mid(4 + skip);
            }
        } else if (type == "xml ") {
            blocks.xmp = content;
        }
    }
};

// libjxl scales samples of fewer than 16 bits onto the full 16-bit range by multiplying; they
// are spread here by repeating their high bits instead, as the HEIF reader does, so that the
// writers' shift gives the file's values back exactly.
void rewiden(QImage& image, int bits) {
    const quint32 top = (1u << bits) - 1;
    for (int y = 0; y < image.height(); ++y) {
        auto* samples = reinterpret_cast<quint16*>(image.scanLine(y));
        for (qsizetype i = 0; i < qsizetype(image.width()) * 4; ++i) {
            const quint32 value = (quint32(samples[i]) * top + 32767) / 65535;
            samples[i] = quint16((value << (16 - bits)) | (value >> (2 * bits - 16)));
        }
    }
}

void readColour(JxlDecoder* decoder, Picture& picture) {
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > MaxBoxBytes) {
        return;
    }
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()),
                                       size) == JXL_DEC_SUCCESS) {
        picture.iccProfile = icc;
    }
}

}  // namespace

QSize jxlHeaderSize(const QByteArray& bytes) {
    const JxlMessages messages;
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS) {
        return {};
    }
    JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                       size_t(bytes.size()));
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info;
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO ||
        JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS ||
        info.xsize > uint32_t(limits::MaxSide) || info.ysize > uint32_t(limits::MaxSide)) {
        return {};
    }
    return QSize(int(info.xsize), int(info.ysize));
}

LoadResult decodeJxl(const QByteArray& bytes) {
    const JxlMessages messages;
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder) {
        throw std::bad_alloc();
    }
    JxlDecoder* dec = decoder.get();
    if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                           JXL_DEC_FULL_IMAGE | JXL_DEC_BOX) != JXL_DEC_SUCCESS) {
        return damaged(messages, QStringLiteral("the decoder cannot be set up"));
    }
    JxlDecoderSetDecompressBoxes(dec, JXL_TRUE);
    // The input is whole, but is not closed: a file cut short then ends in a request for more
    // input, which libjxl does not print to standard error as it prints an error.
    JxlDecoderSetInput(dec, reinterpret_cast<const uint8_t*>(bytes.constData()),
                       size_t(bytes.size()));

    LoadResult result;
    Picture& picture = result.picture;
    JxlBasicInfo info{};
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    MetadataBlocks blocks;
    BoxCollector box;
    bool haveImage = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        if (status == JXL_DEC_ERROR) {
            return damaged(messages, QStringLiteral("the decoder refused the data"));
        }
        if (status == JXL_DEC_NEED_MORE_INPUT) {
            if (haveImage) {
                // The input is all there: the box being read ends with it (a box cut short
                // gives metadata that does not parse, and is left behind).
                box.finish(dec, blocks);
                break;
            }
            return damaged(messages, QStringLiteral("the file ends early"));
        }
        if (status == JXL_DEC_SUCCESS) {
            box.finish(dec, blocks);
            break;
        }
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS) {
                return damaged(messages, QStringLiteral("the header cannot be read"));
            }
            const bool deep = info.bits_per_sample > 8;
            if (!limits::decodedSizeAllowed(info.xsize, info.ysize, deep ? 8 : 4)) {
                return LoadResult::failure(
                    LoadError::TooBig,
                    QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                        .arg(info.xsize)
                        .arg(info.ysize));
            }
            const bool alpha = info.alpha_bits > 0;
            // 16-bit pictures always take four samples a pixel: Qt has no 48-bit format.
            format.num_channels = alpha || deep ? 4 : 3;
            format.data_type = deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            readColour(dec, picture);
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            // The orientation is applied by the decoder: orientations 5 to 8 swap the sides.
            const bool swapped = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const int width = int(swapped ? info.ysize : info.xsize);
            const int height = int(swapped ? info.xsize : info.ysize);
            const bool alpha = info.alpha_bits > 0;
            const bool deep = format.data_type == JXL_TYPE_UINT16;
            const QImage::Format qtFormat =
                deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                     : (alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
            picture.image = pooledImage(width, height, qtFormat);
            if (picture.image.isNull()) {
                throw std::bad_alloc();
            }
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(dec, &format, &needed) != JXL_DEC_SUCCESS ||
                needed > size_t(picture.image.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(dec, &format, picture.image.bits(), needed) !=
                    JXL_DEC_SUCCESS) {
                return damaged(messages,
                               QStringLiteral("the picture's layout is not one the program reads"));
            }
        } else if (status == JXL_DEC_FULL_IMAGE) {
            haveImage = true;
            if (info.have_animation) {
                // One frame is kept; the animation's others are not.
                picture.droppedPages = 1;
                break;
            }
        } else if (status == JXL_DEC_BOX) {
            box.finish(dec, blocks);
            JxlBoxType type;
            if (JxlDecoderGetBoxType(dec, type, JXL_TRUE) == JXL_DEC_SUCCESS) {
                const QByteArray name(type, 4);
                if (name == "Exif" || name == "xml ") {
                    box.start(dec, name);
                }
            }
        } else if (status == JXL_DEC_BOX_NEED_MORE_OUTPUT) {
            if (!box.grow(dec)) {
                JxlDecoderReleaseBoxBuffer(dec);
            }
        }
    }
    if (!haveImage || picture.image.isNull()) {
        return damaged(messages, QStringLiteral("no picture was decoded"));
    }
    if (!picture.iccProfile.isEmpty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(picture.iccProfile);
        if (space.isValid()) {
            picture.image.setColorSpace(space);
        }
    }
    picture.format = PictureFormat::Jxl;
    picture.sampleBits =
        info.bits_per_sample > 8 && info.bits_per_sample < 16 ? int(info.bits_per_sample) : 0;
    if (picture.sampleBits) {
        rewiden(picture.image, picture.sampleBits);
    }
    // Lossless pictures keep their own colour space; lossy ones are coded in XYB.
    picture.losslessSource = info.uses_original_profile != 0;
    picture.metadata = metadataFromBlocks(blocks);
    return result;
}

}  // namespace zentavo::decoders
