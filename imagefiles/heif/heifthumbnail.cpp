#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/heif/heiflibrary.h"
#include "imagefiles/picture/limits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zentavo::decoders {

namespace {

// Whether a thumbnail of width x height shows a picture of the primary's proportions (within
// 2 %): a thumbnail stored without the primary's quarter turn would not.
bool sameProportions(int width, int height, QSize primary) {
    const qint64 across = qint64(width) * primary.height();
    const qint64 down = qint64(height) * primary.width();
    return std::abs(across - down) * 50 <= down;
}

}  // namespace

std::optional<HeifThumbnail> decodeHeifThumbnail(const QByteArray& bytes, int longSide) {
    const HeifContext context;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                   size_t(bytes.size()), nullptr)
            .code != heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle* rawPrimary = nullptr;
    const heif_error error = heif_context_get_primary_image_handle(context.get(), &rawPrimary);
    const HeifHandle primary(rawPrimary);
    if (error.code != heif_error_Ok || heif_image_handle_has_alpha_channel(rawPrimary)) {
        return std::nullopt;
    }
    const QSize shown(heif_image_handle_get_width(rawPrimary),
                      heif_image_handle_get_height(rawPrimary));
    const int count = heif_image_handle_get_number_of_thumbnails(rawPrimary);
    if (count <= 0 || shown.isEmpty()) {
        return std::nullopt;
    }
    std::vector<heif_item_id> ids(size_t(count), 0);
    heif_image_handle_get_list_of_thumbnail_IDs(rawPrimary, ids.data(), count);
    // The smallest thumbnail that is long enough.
    HeifHandle chosen;
    QSize chosenSize;
    for (const heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(rawPrimary, id, &raw).code != heif_error_Ok) {
            continue;
        }
        HeifHandle thumbnail(raw);
        const QSize size(heif_image_handle_get_width(raw), heif_image_handle_get_height(raw));
        if (heif_image_handle_has_alpha_channel(raw) || size.isEmpty() ||
            std::max(size.width(), size.height()) < longSide ||
            !limits::decodedSizeAllowed(size.width(), size.height(), 4) ||
            !sameProportions(size.width(), size.height(), shown) ||
            (chosen && qint64(size.width()) * size.height() >=
                           qint64(chosenSize.width()) * chosenSize.height())) {
            continue;
        }
        chosen = std::move(thumbnail);
        chosenSize = size;
    }
    if (!chosen) {
        return std::nullopt;
    }
    heif_image* rawImage = nullptr;
    // Its own transforms applied, as the primary's are.
    const heif_error decoded = heif_decode_image(chosen.get(), &rawImage, heif_colorspace_RGB,
                                                 heif_chroma_interleaved_RGB, nullptr);
    const HeifImage image(rawImage);
    if (decoded.code != heif_error_Ok || !rawImage ||
        heif_image_get_width(rawImage, heif_channel_interleaved) != chosenSize.width() ||
        heif_image_get_height(rawImage, heif_channel_interleaved) != chosenSize.height()) {
        return std::nullopt;
    }
    HeifThumbnail result{QImage(chosenSize, QImage::Format_RGB888), shown};
    if (result.image.isNull()) {
        return std::nullopt;
    }
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
    for (int y = 0; y < chosenSize.height(); ++y) {
        std::memcpy(result.image.scanLine(y), plane + qint64(y) * stride,
                    size_t(chosenSize.width()) * 3);
    }
    return result;
}

}  // namespace zentavo::decoders
