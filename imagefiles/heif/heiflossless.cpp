#include "imagefiles/heif/heifboxes.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/heif/heiflibrary.h"

#include <QSize>

#include <optional>

namespace zentavo {

namespace {

// The size the primary image of a HEIF file shows at, through libheif; none when libheif does
// not read the file.
std::optional<QSize> shownSize(const QByteArray& bytes) {
    const HeifContext context;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                   size_t(bytes.size()), nullptr)
            .code != heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok) {
        return std::nullopt;
    }
    const HeifHandle handle(raw);
    return QSize(heif_image_handle_get_width(raw), heif_image_handle_get_height(raw));
}

}  // namespace

LosslessHeif turnHeifLosslessly(const QByteArray& bytes, PixelMove move) {
    LosslessHeif result;
    const std::optional<QSize> before = shownSize(bytes);
    if (!before) {
        result.refusal = QStringLiteral("libheif does not read the file.");
        return result;
    }
    heif::TransformEdit edit = heif::editPrimaryTransform(bytes, move);
    if (edit.bytes.isEmpty()) {
        result.refusal = edit.refusal;
        return result;
    }
    const std::optional<QSize> after = shownSize(edit.bytes);
    if (!after || *after != (move.swapsSides() ? before->transposed() : *before)) {
        result.refusal = QStringLiteral("The edited file does not show the turned picture.");
        return result;
    }
    result.bytes = std::move(edit.bytes);
    result.orientation = edit.orientation;
    return result;
}

}  // namespace zentavo
