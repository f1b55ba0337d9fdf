#include "imagefiles/jpeg/libjpegdecode.h"

#include "imagefiles/jpeg/libjpeg.h"

#include <turbojpeg.h>

namespace zentavo {

namespace {

int turboColourspace(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_GRAYSCALE:
            return TJCS_GRAY;
        case JCS_RGB:
            return TJCS_RGB;
        case JCS_CMYK:
            return TJCS_CMYK;
        case JCS_YCCK:
            return TJCS_YCCK;
        default:
            return TJCS_YCbCr;
    }
}

J_COLOR_SPACE outputSpace(int pixelFormat) {
    switch (pixelFormat) {
        case TJPF_GRAY:
            return JCS_GRAYSCALE;
        case TJPF_CMYK:
            return JCS_CMYK;
        default:
            return JCS_RGB;
    }
}

// The work of one call, kept in plain memory: a fatal error jumps back over this frame.
struct Decode {
    JpegListener listener;
    const QByteArray* jpeg;
    JpegFrame frame;
    bool readPixels;
    J_COLOR_SPACE space;
    unsigned char* target;
    int pitch;
    int height;
};

void run(Decode& job) {
    jpeg_decompress_struct reader;
    jpeg_progress_mgr progress{};
    reader.err = listenToJpeg(job.listener);
    if (setjmp(job.listener.fatal)) {
        jpeg_destroy_decompress(&reader);
        return;
    }
    jpeg_create_decompress(&reader);
    limitScans(&reader, progress);
    jpeg_mem_src(&reader, reinterpret_cast<const unsigned char*>(job.jpeg->constData()),
                 static_cast<unsigned long>(job.jpeg->size()));
    jpeg_read_header(&reader, TRUE);
    job.frame = {int(reader.image_width), int(reader.image_height), -1,
                 turboColourspace(reader.jpeg_color_space)};
    if (job.readPixels) {
        reader.out_color_space = job.space;
        reader.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&reader);
        if (int(reader.output_height) != job.height) {
            failJpeg(job.listener, "The frame header changed between two readings");
        }
        while (reader.output_scanline < reader.output_height) {
            JSAMPROW row = job.target + qsizetype(reader.output_scanline) * job.pitch;
            jpeg_read_scanlines(&reader, &row, 1);
        }
        jpeg_finish_decompress(&reader);
    }
    jpeg_destroy_decompress(&reader);
}

}  // namespace

std::optional<JpegFrame> readFrameWithLibjpeg(const QByteArray& jpeg) {
    Decode job{};
    job.jpeg = &jpeg;
    run(job);
    if (job.listener.failed || job.frame.width <= 0 || job.frame.height <= 0) {
        return std::nullopt;
    }
    return job.frame;
}

QString decodeWithLibjpeg(const QByteArray& jpeg, int pixelFormat, unsigned char* target,
                          int pitch, int height) {
    Decode job{};
    job.jpeg = &jpeg;
    job.readPixels = true;
    job.space = outputSpace(pixelFormat);
    job.target = target;
    job.pitch = pitch;
    job.height = height;
    run(job);
    return job.listener.damaged || job.listener.failed ? QString::fromLocal8Bit(job.listener.damage)
                                                       : QString();
}

}  // namespace zentavo
