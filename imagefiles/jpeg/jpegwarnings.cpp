#include "imagefiles/jpeg/jpegwarnings.h"

#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/libraries/librarymessages.h"

#include <array>

// after jpeglib.h, whose types it names
#include <jerror.h>

namespace zentavo {

namespace {

// The same warnings by their texts, for decoders that report only a text.
constexpr std::array HarmlessTexts = {
    "extraneous bytes before marker",
    "JFIF revision",
    "Adobe color transform",
    "Adobe APP14",
    "thumbnail image",
    "Invalid SOS parameters for sequential JPEG",
    "bad ICC marker",
};

bool harmlessCode(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM ||
           code == JWRN_NOT_SEQUENTIAL || code == JWRN_BOGUS_ICC;
}

void onError(j_common_ptr info) {
    JpegListener* listener = reinterpret_cast<JpegListener*>(info->err);
    if (!listener->damaged) {
        (*info->err->format_message)(info, listener->damage);
        listener->damaged = true;
        libraryMessage(MessageSource::Jpeg, true, QString::fromLatin1(listener->damage));
    }
    listener->failed = true;
    std::longjmp(listener->fatal, 1);
}

// Every message passes here; the library's own handler formats only the first warning.
void onMessage(j_common_ptr info, int level) {
    JpegListener* listener = reinterpret_cast<JpegListener*>(info->err);
    if (level >= 0) {
        return;  // trace messages
    }
    ++info->err->num_warnings;
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    libraryMessage(MessageSource::Jpeg, false, QString::fromLatin1(text));
    if (!listener->damaged && !harmlessCode(info->err->msg_code)) {
        if (!harmlessJpegWarning(QString::fromLatin1(text))) {
            std::snprintf(listener->damage, sizeof listener->damage, "%s", text);
            listener->damaged = true;
        }
    }
}

void onOutput(j_common_ptr) {}

// Only plain locals between setjmp and longjmp: the jump skips destructors.
bool readWhole(const unsigned char* data, unsigned long size, JpegListener& listener) {
    jpeg_decompress_struct info;
    info.err = listenToJpeg(listener);
    if (setjmp(listener.fatal)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    jpeg_read_coefficients(&info);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

jpeg_error_mgr* listenToJpeg(JpegListener& listener) {
    jpeg_std_error(&listener.manager);
    listener.manager.error_exit = onError;
    listener.manager.emit_message = onMessage;
    listener.manager.output_message = onOutput;
    listener.damage[0] = '\0';
    listener.damaged = false;
    listener.failed = false;
    return &listener.manager;
}

void failJpeg(JpegListener& listener, const char* words) {
    if (!listener.damaged) {
        std::snprintf(listener.damage, sizeof listener.damage, "%s", words);
        listener.damaged = true;
    }
    listener.failed = true;
    std::longjmp(listener.fatal, 1);
}

bool harmlessJpegWarning(const QString& warning) {
    for (const char* text : HarmlessTexts) {
        if (warning.contains(QLatin1String(text), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString jpegDamage(const QByteArray& jpeg) {
    JpegListener listener;
    readWhole(reinterpret_cast<const unsigned char*>(jpeg.constData()),
              static_cast<unsigned long>(jpeg.size()), listener);
    return listener.damaged ? QString::fromLatin1(listener.damage) : QString();
}

std::optional<JpegFrame> readJpegFrame(tjhandle handle, const QByteArray& jpeg, QString* why) {
    JpegFrame frame;
    if (tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                            static_cast<unsigned long>(jpeg.size()), &frame.width, &frame.height,
                            &frame.subsampling, &frame.colorspace) != 0) {
        const QString words = QString::fromLocal8Bit(tjGetErrorStr2(handle));
        if (tjGetErrorCode(handle) == TJERR_FATAL || !harmlessJpegWarning(words)) {
            *why = words;
            return std::nullopt;
        }
    }
    return frame;
}

}  // namespace zentavo
