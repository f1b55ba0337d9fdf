#include "imagefiles/libraries/librarymessages.h"

#include <QtGlobal>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace zentavo {

namespace {

thread_local LibraryMessages* innermost = nullptr;

QtMessageHandler previousQtHandler = nullptr;

const char* sourceName(MessageSource source) {
    switch (source) {
        case MessageSource::Png:
            return "libspng";
        case MessageSource::Tiff:
            return "libtiff";
        case MessageSource::Gif:
            return "giflib";
        case MessageSource::Jpeg:
            return "libjpeg-turbo";
        case MessageSource::Heif:
            return "libheif";
        case MessageSource::Avif:
            return "libavif";
        case MessageSource::Webp:
            return "libwebp";
        case MessageSource::Jxl:
            return "libjxl";
        case MessageSource::Qt:
            break;
    }
    return "Qt";
}

// Qt's image plugins log under these categories, and relay libpng's and libtiff's messages
// under them too.
bool fromImagePlugin(const char* category) {
    if (!category) {
        return false;
    }
    const QLatin1String name(category);
    return name.startsWith(QLatin1String("qt.gui.imageio")) ||
           name.startsWith(QLatin1String("qt.imageformats"));
}

void routeQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // While a file is read or written on this thread, whatever Qt says comes from that work.
    if (type != QtFatalMsg && (fromImagePlugin(context.category) || innermost)) {
        libraryMessage(MessageSource::Qt, type == QtCriticalMsg, text);
        return;
    }
    if (previousQtHandler) {
        previousQtHandler(type, context, text);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
}

QString formatted(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    QString message = QString::fromLocal8Bit(text);
    if (module && *module) {
        message = QString::fromLocal8Bit(module) + QStringLiteral(": ") + message;
    }
    return message;
}

void tiffError(thandle_t, const char* module, const char* format, va_list args) {
    libraryMessage(MessageSource::Tiff, true, formatted(module, format, args));
}

void tiffWarning(thandle_t, const char* module, const char* format, va_list args) {
    libraryMessage(MessageSource::Tiff, false, formatted(module, format, args));
}

}  // namespace

void libraryMessage(MessageSource source, bool error, const QString& text) {
    LibraryMessages* scope = innermost;
    if (!scope) {
        return;
    }
    if (error) {
        scope->m_lastError = scope->m_messages.size();
    }
    scope->m_messages.append(QLatin1String(sourceName(source)) + QStringLiteral(": ") +
                             text.trimmed());
}

LibraryMessages::LibraryMessages() : m_outer(innermost) {
    innermost = this;
}

LibraryMessages::~LibraryMessages() {
    innermost = m_outer;
}

QString LibraryMessages::last() const {
    if (m_lastError >= 0) {
        return m_messages.at(m_lastError);
    }
    return m_messages.isEmpty() ? QString() : m_messages.last();
}

void installLibraryMessageHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        previousQtHandler = qInstallMessageHandler(routeQtMessage);
        // libtiff's process-wide handlers print on standard error; our files carry their own
        // handlers, and these catch what is reported without one.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandlerExt(tiffError);
        TIFFSetWarningHandlerExt(tiffWarning);
    });
}

}  // namespace zentavo
