#pragma once

// Our small layer over the libjpeg API itself, for the JPEG work TurboJPEG's functions cannot do
// without copies of their own: error handling for streams that must be whole, output straight
// into a QByteArray, and the scan limit for progressive streams.

#include <QByteArray>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace zentavo {

// A fatal error jumps to fatal. Every warning is heard, not only the first, and the first one
// that means gaps in the picture (see jpegDamage) is kept in damage; a fatal error's words are
// kept there too when no damage came before it.
struct JpegListener {
    jpeg_error_mgr manager;
    std::jmp_buf fatal;
    char damage[JMSG_LENGTH_MAX];
    bool damaged;
    bool failed;  // a fatal error ended the work
};

// Clears listener and returns the error manager to set as a codec's err.
jpeg_error_mgr* listenToJpeg(JpegListener& listener);

// Ends the codec's work as a fatal error in words of our own.
[[noreturn]] void failJpeg(JpegListener& listener, const char* words);

// Ends the codec's work as libjpeg's own out-of-memory error.
[[noreturn]] void outOfJpegMemory(j_common_ptr codec);

// An encoder's output written into bytes, which starts at the size expected and grows by
// doubling; bytes holds exactly the stream once the encoder has finished.
struct ByteArrayDestination {
    jpeg_destination_mgr manager;
    QByteArray* bytes;
};

void writeIntoByteArray(j_compress_ptr codec, ByteArrayDestination& destination, QByteArray* bytes);

// Refuses, as a fatal error, a progressive stream with more scans than any photograph has:
// each scan is a pass over the whole picture.
void limitScans(j_decompress_ptr codec, jpeg_progress_mgr& progress);

}  // namespace zentavo
