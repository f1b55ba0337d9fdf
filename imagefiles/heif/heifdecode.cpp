#include "imagefiles/heif/heifboxes.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/heif/heiflibrary.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelmove.h"
#include "imagefiles/picture/pixelpool.h"

#include <QColorSpace>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace zentavo::decoders {

namespace {

enum class BrandKind { None, Heif, Avif };

// The brands of a file-type box: the major brand and the compatible ones.
BrandKind brandKind(const QByteArray& bytes) {
    if (bytes.size() < 16 || QByteArrayView(bytes).sliced(4, 4) != "ftyp") {
        return BrandKind::None;
    }
    const qint64 size = std::min<qint64>(qFromBigEndian<quint32>(bytes.constData()), bytes.size());
    std::vector<QByteArrayView> brands{QByteArrayView(bytes).sliced(8, 4)};
    for (qint64 at = 16; at + 4 <= size; at += 4) {
        brands.push_back(QByteArrayView(bytes).sliced(at, 4));
    }
    const auto has = [&](std::initializer_list<const char*> names) {
        for (const QByteArrayView brand : brands) {
            for (const char* name : names) {
                if (brand == name) {
                    return true;
                }
            }
        }
        return false;
    };
    const QByteArrayView major = brands.front();
    if (major == "avif" || major == "avis") {
        return BrandKind::Avif;
    }
    if (has({"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"})) {
        return BrandKind::Heif;
    }
    if (has({"avif", "avis"})) {
        return BrandKind::Avif;
    }
    return has({"mif1", "msf1"}) ? BrandKind::Heif : BrandKind::None;
}

// Sample values of bits bits spread over 16 bits by repeating their high bits, so that white
// stays white and the writer's shift gives the same values back.
quint16 widen(quint16 value, int bits) {
    return quint16((value << (16 - bits)) | (value >> (2 * bits - 16)));
}

// The EXIF and XMP blocks of the primary image.
MetadataBlocks readBlocks(const heif_image_handle* handle) {
    MetadataBlocks blocks;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    if (count <= 0) {
        return blocks;
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        if (size == 0 || size > size_t(64) << 20) {
            continue;
        }
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_metadata(handle, id, data.data()).code != heif_error_Ok) {
            continue;
        }
        const QByteArray type = heif_image_handle_get_metadata_type(handle, id);
        const QByteArray content = heif_image_handle_get_metadata_content_type(handle, id);
        if (type == "Exif" && data.size() > 4) {
            // Four bytes give where the TIFF header starts after them.
            const quint32 skip = qFromBigEndian<quint32>(data.constData());
            if (skip < quint32(data.size() - 4)) {
                blocks.exif = data.mid(4 + skip);
            }
        } else if (type == "mime" && content.startsWith("application/rdf+xml")) {
            blocks.xmp = data;
        }
    }
    return blocks;
}

void readColour(const heif_image_handle* handle, Picture& picture) {
    const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0 && iccSize < size_t(16) << 20) {
        QByteArray icc(qsizetype(iccSize), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) {
            picture.iccProfile = icc;
            const QColorSpace space = QColorSpace::fromIccProfile(icc);
            if (space.isValid()) {
                picture.image.setColorSpace(space);
            }
        }
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
        picture.codePoints.present = true;
        picture.codePoints.primaries = nclx->color_primaries;
        picture.codePoints.transfer = nclx->transfer_characteristics;
        picture.codePoints.matrix = nclx->matrix_coefficients;
        picture.codePoints.fullRange = nclx->full_range_flag != 0;
        heif_nclx_color_profile_free(nclx);
    }
}

// The decoded interleaved samples into picture.image.
void copyPixels(const heif_image* image, int bits, bool alpha, QImage& target) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int width = target.width();
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < target.height(); ++y) {
        const uint8_t* in = plane + qint64(y) * stride;
        if (bits <= 8) {
            std::memcpy(target.scanLine(y), in, size_t(width) * size_t(channels));
            continue;
        }
        auto* out = reinterpret_cast<quint16*>(target.scanLine(y));
        const auto* samples = reinterpret_cast<const quint16*>(in);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                out[4 * x + c] = widen(samples[channels * x + c], bits);
            }
            out[4 * x + 3] = alpha ? widen(samples[channels * x + 3], bits) : 0xFFFF;
        }
    }
}

LoadResult failure(LoadError error, const char* what, const heif_error& cause) {
    const QString text = QString::fromUtf8(cause.message);
    libraryMessage(MessageSource::Heif, true, text);
    return LoadResult::failure(error, QStringLiteral("%1 (%2).").arg(QLatin1String(what), text));
}

}  // namespace

bool looksLikeHeif(const QByteArray& bytes) {
    return brandKind(bytes) == BrandKind::Heif;
}

bool looksLikeAvif(const QByteArray& bytes) {
    return brandKind(bytes) == BrandKind::Avif;
}

QSize heifHeaderSize(const QByteArray& bytes) {
    return heif::primaryStoredSize(bytes);
}

LoadResult decodeHeif(const QByteArray& bytes) {
    const bool avif = brandKind(bytes) == BrandKind::Avif;
    const char* damagedText =
        avif ? "The AVIF file is damaged or incomplete" : "The HEIF file is damaged or incomplete";
    const HeifContext context;
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                                  size_t(bytes.size()), nullptr);
    if (error.code != heif_error_Ok) {
        return failure(error.code == heif_error_Memory_allocation_error ? LoadError::OutOfMemory
                                                                        : LoadError::Corrupt,
                       damagedText, error);
    }
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const HeifHandle handle(rawHandle);
    if (error.code != heif_error_Ok) {
        return failure(LoadError::Corrupt, damagedText, error);
    }
    const int width = heif_image_handle_get_width(rawHandle);
    const int height = heif_image_handle_get_height(rawHandle);
    const int storedWidth = heif_image_handle_get_ispe_width(rawHandle);
    const int storedHeight = heif_image_handle_get_ispe_height(rawHandle);
    const int bits = std::max(8, heif_image_handle_get_luma_bits_per_pixel(rawHandle));
    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    const int bytesPerPixel = bits > 8 ? 8 : 4;
    if (!limits::decodedSizeAllowed(width, height, bytesPerPixel) ||
        !limits::decodedSizeAllowed(std::max(storedWidth, 1), std::max(storedHeight, 1),
                                    bytesPerPixel)) {
        return LoadResult::failure(
            LoadError::TooBig,
            QStringLiteral("The picture is %1 x %2 pixels, more than the program can hold.")
                .arg(std::max(width, storedWidth))
                .arg(std::max(height, storedHeight)));
    }
    if (bits > 16) {
        return LoadResult::failure(LoadError::Unsupported,
                                   QStringLiteral("The picture has %1-bit samples.").arg(bits));
    }
    const heif_chroma chroma =
        bits > 8 ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                 : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    // libheif 1.15 turns and mirrors the colour of a picture with alpha but not its alpha: such
    // a picture is decoded as stored and moved here, alpha with it.
    std::optional<PixelMove> ownMove;
    if (alpha) {
        ownMove = heif::primaryTransform(bytes);
        if (ownMove && *ownMove == PixelMove{}) {
            ownMove.reset();
        }
    }
    heif_decoding_options* options = heif_decoding_options_alloc();
    options->ignore_transformations = ownMove ? 1 : 0;
    heif_image* rawImage = nullptr;
    error = heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB, chroma, options);
    heif_decoding_options_free(options);
    const HeifImage image(rawImage);
    if (error.code != heif_error_Ok || !rawImage) {
        return failure(error.code == heif_error_Memory_allocation_error ? LoadError::OutOfMemory
                                                                        : LoadError::Corrupt,
                       damagedText, error);
    }
    for (int i = 0;; ++i) {
        heif_error warning{};
        if (heif_image_get_decoding_warnings(rawImage, i, &warning, 1) != 1) {
            break;
        }
        libraryMessage(MessageSource::Heif, false, QString::fromUtf8(warning.message));
    }
    const int decodedWidth = heif_image_get_width(rawImage, heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(rawImage, heif_channel_interleaved);
    const QSize expected = ownMove ? QSize(storedWidth, storedHeight) : QSize(width, height);
    if (decodedWidth != expected.width() || decodedHeight != expected.height()) {
        return LoadResult::failure(LoadError::Corrupt,
                                   QStringLiteral("%1 (the decoded size is not the stated one).")
                                       .arg(QLatin1String(damagedText)));
    }

    LoadResult result;
    Picture& picture = result.picture;
    const QImage::Format format = bits > 8
                                      ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                      : (alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    picture.image = pooledImage(decodedWidth, decodedHeight, format);
    if (picture.image.isNull()) {
        throw std::bad_alloc();
    }
    copyPixels(rawImage, bits, alpha, picture.image);
    if (ownMove) {
        moveImage(picture.image, *ownMove);
    }
    picture.format = avif ? PictureFormat::Avif : PictureFormat::Heif;
    picture.sampleBits = bits > 8 ? bits : 0;
    readColour(rawHandle, picture);
    // Lossless AV1 and HEVC pictures code their red, green and blue as they are.
    picture.losslessSource = picture.codePoints.present && picture.codePoints.matrix == 0;
    picture.metadata = metadataFromBlocks(readBlocks(rawHandle));
    picture.droppedPages =
        std::max(0, heif_context_get_number_of_top_level_images(context.get()) - 1);
    return result;
}

}  // namespace zentavo::decoders
