#include "imagefiles/gif/gifcodec.h"

#include "imagefiles/files/cancellation.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace zentavo {

namespace {

template <typename T, void (*Destroy)(T*)>
struct LiqDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using LiqAttr = std::unique_ptr<liq_attr, LiqDeleter<liq_attr, liq_attr_destroy>>;
using LiqImage = std::unique_ptr<liq_image, LiqDeleter<liq_image, liq_image_destroy>>;
using LiqResult = std::unique_ptr<liq_result, LiqDeleter<liq_result, liq_result_destroy>>;

[[noreturn]] void quantiserFailed(liq_error error) {
    const GdiplusStatus status =
        error == LIQ_OUT_OF_MEMORY ? GdiplusStatus::OutOfMemory : GdiplusStatus::GenericError;
    throw WriteFailure{status,
                       QStringLiteral("The colour quantiser failed (error %1)").arg(int(error))};
}

// Quantising and remapping a large picture takes seconds; both stop at the quantiser's next
// progress report once the work is no longer wanted.
int keepQuantising(float, void*) {
    return workCancelled() ? 0 : 1;
}

}  // namespace

QByteArray encodeQuantisedGif(const QImage& image) {
    // GIF knows only fully transparent or opaque: fully transparent pixels stay transparent and
    // every other pixel is composed onto white, as the formats without alpha show it.
    QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    requireAllocated(rgba);
    const int width = rgba.width();
    const int height = rgba.height();
    const size_t pixelCount = size_t(width) * size_t(height);
    std::vector<uchar> pixels(pixelCount * 4);
    std::vector<uchar> importance(pixelCount, 255);
    std::vector<bool> transparent(pixelCount, false);
    bool anyTransparent = false;
    for (int y = 0; y < height; ++y) {
        const uchar* in = rgba.constScanLine(y);
        uchar* out = pixels.data() + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            const int alpha = in[3];
            const size_t at = size_t(y) * size_t(width) + size_t(x);
            if (alpha == 0) {
                transparent[at] = true;
                importance[at] = 0;
                anyTransparent = true;
                out[0] = out[1] = out[2] = out[3] = 255;
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                out[c] = uchar((in[c] * alpha + 255 * (255 - alpha) + 127) / 255);
            }
            out[3] = 255;
        }
    }
    rgba = QImage();
    if (std::find(transparent.begin(), transparent.end(), false) == transparent.end()) {
        QImage empty(width, height, QImage::Format_Indexed8);
        requireAllocated(empty);
        empty.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        empty.fill(0);
        return encodeIndexedGif(empty, 0);
    }

    LiqAttr attr(liq_attr_create());
    if (!attr) {
        quantiserFailed(LIQ_OUT_OF_MEMORY);
    }
    // One palette entry stays free for the transparent colour.
    liq_set_max_colors(attr.get(), anyTransparent ? 255 : 256);
    liq_attr_set_progress_callback(attr.get(), &keepQuantising, nullptr);
    LiqImage input(liq_image_create_rgba(attr.get(), pixels.data(), width, height, 0));
    if (!input) {
        quantiserFailed(LIQ_OUT_OF_MEMORY);
    }
    if (anyTransparent) {
        // Transparent pixels must not claim palette entries.
        liq_image_set_importance_map(input.get(), importance.data(), importance.size(),
                                     LIQ_COPY_PIXELS);
    }
    liq_result* rawResult = nullptr;
    const liq_error quantised = liq_image_quantize(input.get(), attr.get(), &rawResult);
    LiqResult result(rawResult);
    if (quantised != LIQ_OK) {
        quantiserFailed(quantised);
    }
    liq_set_dithering_level(result.get(), 1.0f);
    liq_result_set_progress_callback(result.get(), &keepQuantising, nullptr);

    QImage indices(width, height, QImage::Format_Indexed8);
    requireAllocated(indices);
    std::vector<uchar> remapped(pixelCount);
    const liq_error written =
        liq_write_remapped_image(result.get(), input.get(), remapped.data(), remapped.size());
    if (written != LIQ_OK) {
        quantiserFailed(written);
    }
    const liq_palette* palette = liq_get_palette(result.get());
    QList<QRgb> colors;
    for (unsigned i = 0; i < palette->count; ++i) {
        colors << qRgb(palette->entries[i].r, palette->entries[i].g, palette->entries[i].b);
    }
    int transparentIndex = -1;
    if (anyTransparent) {
        transparentIndex = int(colors.size());
        colors << qRgb(0, 0, 0);
    }
    indices.setColorTable(colors);
    for (int y = 0; y < height; ++y) {
        uchar* line = indices.scanLine(y);
        const size_t row = size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            line[x] =
                transparent[row + size_t(x)] ? uchar(transparentIndex) : remapped[row + size_t(x)];
        }
    }
    return encodeIndexedGif(indices, transparentIndex);
}

}  // namespace zentavo
