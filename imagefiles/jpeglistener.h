#pragma once

// libjpeg's error handling for JPEG streams that must be whole, for the files that use the
// libjpeg API itself.

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

}  // namespace zentavo
