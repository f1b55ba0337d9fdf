#include "imagefiles/jpegarithmetic.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace zentavo {

namespace {

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// libjpeg ends a fatal error by calling this; the jump leaves the library at once.
[[noreturn]] void onFatalError(j_common_ptr codec) {
    std::longjmp(reinterpret_cast<ErrorExit*>(codec->err)->jump, 1);
}

// Warnings stay quiet and are counted in num_warnings; the stream was checked before.
void onMessage(j_common_ptr, int) {}

bool isSegment(const jpeg_saved_marker_ptr marker, int code, const char* signature) {
    const std::size_t length = std::strlen(signature) + 1;
    return marker->marker == code && marker->data_length >= length &&
           std::memcmp(marker->data, signature, length) == 0;
}

// Plain data only between setjmp and longjmp: no destructor may be skipped.
bool recode(const unsigned char* data, unsigned long size, bool progressive, unsigned char** output,
            unsigned long* outputSize) {
    ErrorExit errors;
    jpeg_decompress_struct input;
    jpeg_compress_struct writer;
    input.err = jpeg_std_error(&errors.manager);
    writer.err = &errors.manager;
    errors.manager.error_exit = onFatalError;
    errors.manager.emit_message = onMessage;
    volatile bool created = false;
    if (setjmp(errors.jump)) {
        if (created) {
            jpeg_destroy_compress(&writer);
            jpeg_destroy_decompress(&input);
        }
        return false;
    }
    jpeg_create_decompress(&input);
    jpeg_create_compress(&writer);
    created = true;
    jpeg_mem_src(&input, data, size);
    for (int app = 0; app < 16; ++app) {
        jpeg_save_markers(&input, JPEG_APP0 + app, 0xFFFF);
    }
    jpeg_save_markers(&input, JPEG_COM, 0xFFFF);
    jpeg_read_header(&input, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&input);
    jpeg_copy_critical_parameters(&input, &writer);
    writer.arith_code = TRUE;
    writer.optimize_coding = FALSE;
    if (progressive) {
        jpeg_simple_progression(&writer);
    }
    jpeg_mem_dest(&writer, output, outputSize);
    jpeg_write_coefficients(&writer, coefficients);
    for (jpeg_saved_marker_ptr marker = input.marker_list; marker; marker = marker->next) {
        // The writer makes its own JFIF and Adobe segments.
        if ((writer.write_JFIF_header && isSegment(marker, JPEG_APP0, "JFIF")) ||
            (writer.write_Adobe_marker && isSegment(marker, JPEG_APP0 + 14, "Adobe"))) {
            continue;
        }
        jpeg_write_marker(&writer, marker->marker, marker->data, marker->data_length);
    }
    jpeg_finish_compress(&writer);
    jpeg_finish_decompress(&input);
    const bool clean = input.err->num_warnings == 0;
    jpeg_destroy_compress(&writer);
    jpeg_destroy_decompress(&input);
    return clean;
}

}  // namespace

QByteArray withArithmeticCoding(const QByteArray& jpeg, bool progressive) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool done = recode(reinterpret_cast<const unsigned char*>(jpeg.constData()),
                             static_cast<unsigned long>(jpeg.size()), progressive, &buffer, &size);
    QByteArray result;
    if (done && buffer && size > 0) {
        result = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    }
    std::free(buffer);
    return result;
}

}  // namespace zentavo
