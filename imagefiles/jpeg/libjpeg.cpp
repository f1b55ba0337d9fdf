#include "imagefiles/jpeg/libjpeg.h"

// after jpeglib.h, whose types it names
#include <jerror.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace zentavo {

namespace {

constexpr int MaxScans = 500;

void startOutput(j_compress_ptr codec) {
    ByteArrayDestination* destination = reinterpret_cast<ByteArrayDestination*>(codec->dest);
    destination->manager.next_output_byte = reinterpret_cast<JOCTET*>(destination->bytes->data());
    destination->manager.free_in_buffer = size_t(destination->bytes->size());
}

boolean growOutput(j_compress_ptr codec) {
    ByteArrayDestination* destination = reinterpret_cast<ByteArrayDestination*>(codec->dest);
    const qsizetype full = destination->bytes->size();  // the library fills it to the end
    bool grown = true;
    try {
        destination->bytes->resize(std::max<qsizetype>(full * 2, 4096));
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) {
        outOfJpegMemory(reinterpret_cast<j_common_ptr>(codec));
    }
    destination->manager.next_output_byte =
        reinterpret_cast<JOCTET*>(destination->bytes->data()) + full;
    destination->manager.free_in_buffer = size_t(destination->bytes->size() - full);
    return TRUE;
}

void endOutput(j_compress_ptr codec) {
    ByteArrayDestination* destination = reinterpret_cast<ByteArrayDestination*>(codec->dest);
    destination->bytes->resize(destination->bytes->size() -
                               qsizetype(destination->manager.free_in_buffer));
}

void checkScans(j_common_ptr codec) {
    if (codec->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(codec)->input_scan_number > MaxScans) {
        failJpeg(*reinterpret_cast<JpegListener*>(codec->err),
                 "Progressive JPEG image has more than 500 scans");
    }
}

}  // namespace

void outOfJpegMemory(j_common_ptr codec) {
    codec->err->msg_code = JERR_OUT_OF_MEMORY;
    codec->err->msg_parm.i[0] = 0;
    (*codec->err->error_exit)(codec);
    std::abort();  // error_exit never returns
}

void writeIntoByteArray(j_compress_ptr codec, ByteArrayDestination& destination,
                        QByteArray* bytes) {
    destination.manager.init_destination = startOutput;
    destination.manager.empty_output_buffer = growOutput;
    destination.manager.term_destination = endOutput;
    destination.bytes = bytes;
    codec->dest = &destination.manager;
}

void limitScans(j_decompress_ptr codec, jpeg_progress_mgr& progress) {
    progress.progress_monitor = checkScans;
    codec->progress = &progress;
}

}  // namespace zentavo
