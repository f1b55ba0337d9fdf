#include "imagefiles/decoders.h"

#include "imagefiles/bmp/bmpcodec.h"
#include "imagefiles/gif/gifcodec.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/png/pngcodec.h"
#include "imagefiles/qtreader/qtreader.h"
#include "imagefiles/tiff/tiffcodec.h"
#include "imagefiles/webp/webpcodec.h"

namespace zentavo {

std::span<const PictureDecoder> pictureDecoders() {
    using namespace decoders;
    static const PictureDecoder registry[] = {
        {PictureFormat::Jpeg, looksLikeJpeg, decodeJpeg, jpegHeaderSize},
        {PictureFormat::Gif, looksLikeGif, decodeGif, nullptr},
        {PictureFormat::Png, looksLikePng, decodePng, pngHeaderSize},
        {PictureFormat::Tiff, looksLikeTiff, decodeTiff, nullptr},
        {PictureFormat::Bmp, looksLikeBmp, decodeBmp, nullptr},
        {PictureFormat::Ico, looksLikeIcon, decodeIcon, nullptr},
        {PictureFormat::Webp, looksLikeWebp, decodeWebp, webpHeaderSize},
        {PictureFormat::Heif, looksLikeHeif, decodeHeif, heifHeaderSize},
        {PictureFormat::Avif, looksLikeAvif, decodeHeif, heifHeaderSize},
        {PictureFormat::Jxl, looksLikeJxl, decodeJxl, jxlHeaderSize},
    };
    return registry;
}

const PictureDecoder* recognisedDecoder(const QByteArray& bytes) {
    for (const PictureDecoder& decoder : pictureDecoders()) {
        if (decoder.recognises(bytes)) {
            return &decoder;
        }
    }
    return nullptr;
}

PictureFormat sniffFormat(const QByteArray& bytes) {
    const PictureDecoder* decoder = recognisedDecoder(bytes);
    return decoder ? decoder->format : PictureFormat::None;
}

}  // namespace zentavo
