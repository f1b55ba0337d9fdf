#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/heif/heiflibrary.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/writerpixels.h"

#include <cstring>

namespace zentavo {

namespace {

void check(const heif_error& error, const char* step) {
    if (error.code == heif_error_Ok) {
        return;
    }
    const QString text = QString::fromUtf8(error.message);
    libraryMessage(MessageSource::Heif, true, text);
    throw WriteFailure{
        error.code == heif_error_Memory_allocation_error ? GdiplusStatus::OutOfMemory
                                                         : GdiplusStatus::GenericError,
        QStringLiteral("The HEIF encoder failed to %1: %2").arg(QLatin1String(step), text)};
}

heif_error appendBytes(heif_context*, const void* data, size_t size, void* userdata) {
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// The picture's pixels as libheif's interleaved RGB or RGBA at bits a sample.
HeifImage heifImageOf(const WriterSamples& samples) {
    const bool deep = samples.bits > 8;
    const heif_chroma chroma =
        deep ? (samples.alpha ? heif_chroma_interleaved_RRGGBBAA_LE
                              : heif_chroma_interleaved_RRGGBB_LE)
             : (samples.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* raw = nullptr;
    check(heif_image_create(samples.width, samples.height, heif_colorspace_RGB, chroma, &raw),
          "make the picture");
    HeifImage image(raw);
    check(heif_image_add_plane(raw, heif_channel_interleaved, samples.width, samples.height,
                               samples.bits),
          "make the picture");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    for (int y = 0; y < samples.height; ++y) {
        std::memcpy(plane + qint64(y) * stride, samples.row(y), size_t(samples.rowBytes));
    }
    return image;
}

void setColour(heif_image* image, const Picture& picture) {
    const QByteArray icc = iccProfileOf(picture);
    if (!icc.isEmpty()) {
        check(heif_image_set_raw_color_profile(image, "prof", icc.constData(), size_t(icc.size())),
              "keep the colour profile");
    }
    if (picture.codePoints.present) {
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        if (!nclx) {
            throw WriteFailure{GdiplusStatus::OutOfMemory, QStringLiteral("Out of memory")};
        }
        heif_nclx_color_profile_set_color_primaries(nclx, uint16_t(picture.codePoints.primaries));
        heif_nclx_color_profile_set_transfer_characteristics(nclx,
                                                             uint16_t(picture.codePoints.transfer));
        // Lossy HEVC codes colour differences, whatever matrix a lossless input had.
        const int matrix = picture.codePoints.matrix == 0 ? 6 : picture.codePoints.matrix;
        heif_nclx_color_profile_set_matrix_coefficients(nclx, uint16_t(matrix));
        nclx->full_range_flag = picture.codePoints.fullRange ? 1 : 0;
        const heif_error error = heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
        check(error, "keep the colour");
    }
}

}  // namespace

QByteArray encodeHeif(const Picture& picture, const EncoderQuality& quality) {
    requirePixels(picture);
    // x265 codes 8 or 10 bits here; a deeper picture keeps the 10 most significant.
    const WriterSamples samples =
        writerSamples(picture, picture.sampleBits > 8 || picture.image.depth() == 64 ? 10 : 8);
    const HeifImage image = heifImageOf(samples);
    setColour(image.get(), picture);

    const HeifContext context;
    heif_encoder* rawEncoder = nullptr;
    check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder),
          "start");
    const HeifEncoder encoder(rawEncoder);
    heif_encoder_set_logging_level(rawEncoder, 0);
    check(heif_encoder_set_lossy_quality(rawEncoder, heifQualityFor(quality)), "set the quality");
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->save_alpha_channel = samples.alpha ? 1 : 0;
    heif_image_handle* rawHandle = nullptr;
    const heif_error encoded =
        heif_context_encode_image(context.get(), image.get(), rawEncoder, options, &rawHandle);
    heif_encoding_options_free(options);
    const HeifHandle handle(rawHandle);
    check(encoded, "code the picture");

    const MetadataBlocks blocks =
        metadataBlocksFor(picture.metadata.get(), picture.image.size(), picture.axesSwapped);
    if (!blocks.exif.isEmpty()) {
        check(heif_context_add_exif_metadata(context.get(), rawHandle, blocks.exif.constData(),
                                             int(blocks.exif.size())),
              "keep the EXIF data");
    }
    if (!blocks.xmp.isEmpty()) {
        check(heif_context_add_XMP_metadata(context.get(), rawHandle, blocks.xmp.constData(),
                                            int(blocks.xmp.size())),
              "keep the XMP data");
    }
    QByteArray bytes;
    heif_writer writer{1, appendBytes};
    check(heif_context_write(context.get(), &writer, &bytes), "write the file");
    return bytes;
}

}  // namespace zentavo
