#include "imagefiles/jpeg/jpegrows.h"

#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/libjpeg.h"

#include <turbojpeg.h>

#include <vector>

namespace zentavo {

namespace {

struct RowWriting {
    const QImage* pixels;
    int pixelFormat;
    int subsampling;
    int quality;
    const JpegStreamParts* parts;
    QByteArray* output;
    JpegListener listener;
    bool done;
};

J_COLOR_SPACE colourSpaceOf(int pixelFormat) {
    switch (pixelFormat) {
        case TJPF_RGB:
            return JCS_EXT_RGB;
        case TJPF_BGRX:
            return JCS_EXT_BGRX;
        case TJPF_XRGB:
            return JCS_EXT_XRGB;
        case TJPF_GRAY:
            return JCS_GRAYSCALE;
        default:
            return JCS_CMYK;
    }
}

// Plain data and C calls only between setjmp and the end: the jump skips destructors.
void writeRows(RowWriting& job) {
    const QImage& pixels = *job.pixels;
    jpeg_compress_struct writer;
    ByteArrayDestination destination{};
    writer.err = listenToJpeg(job.listener);
    job.done = false;
    if (setjmp(job.listener.fatal)) {
        jpeg_destroy_compress(&writer);
        return;
    }
    jpeg_create_compress(&writer);
    writer.image_width = JDIMENSION(pixels.width());
    writer.image_height = JDIMENSION(pixels.height());
    writer.in_color_space = colourSpaceOf(job.pixelFormat);
    writer.input_components = tjPixelSize[job.pixelFormat];
    jpeg_set_defaults(&writer);
    jpeg_set_quality(&writer, job.quality, TRUE);
    writer.dct_method = JDCT_ISLOW;
    // The colour spaces TurboJPEG's encoder stores, with its sampling factors.
    jpeg_set_colorspace(&writer, job.subsampling == TJSAMP_GRAY ? JCS_GRAYSCALE
                                 : job.pixelFormat == TJPF_CMYK ? JCS_YCCK
                                                                : JCS_YCbCr);
    writer.comp_info[0].h_samp_factor = tjMCUWidth[job.subsampling] / 8;
    writer.comp_info[0].v_samp_factor = tjMCUHeight[job.subsampling] / 8;
    for (int ci = 1; ci < writer.num_components; ++ci) {
        const bool key = ci == 3;  // the black of YCCK is sampled as the luma is
        writer.comp_info[ci].h_samp_factor = key ? writer.comp_info[0].h_samp_factor : 1;
        writer.comp_info[ci].v_samp_factor = key ? writer.comp_info[0].v_samp_factor : 1;
    }
    setJfifDensity(&writer, job.parts->metadata.density);
    writeIntoByteArray(&writer, destination, job.output);
    jpeg_start_compress(&writer, TRUE);
    writeJpegSegments(&writer, job.parts->metadata, job.parts->iccProfile);
    while (writer.next_scanline < writer.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.constScanLine(int(writer.next_scanline)));
        jpeg_write_scanlines(&writer, &row, 1);
    }
    jpeg_finish_compress(&writer);
    jpeg_destroy_compress(&writer);
    job.done = true;
}

}  // namespace

QByteArray compressRows(const QImage& pixels, int pixelFormat, int subsampling, int quality,
                        const JpegStreamParts& parts, QString* failure) {
    QByteArray output;
    try {
        output = QByteArray(pixels.sizeInBytes() / 8 + 65536, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        *failure = QStringLiteral("out of memory");
        return {};
    }
    RowWriting writing{&pixels, pixelFormat, subsampling, quality, &parts, &output, {}, false};
    writeRows(writing);
    if (!writing.done) {
        *failure = QString::fromLatin1(writing.listener.damage);
        return {};
    }
    if (parts.metadata.keepTrailer) {
        output += parts.trailer;
    }
    return output;
}

}  // namespace zentavo
