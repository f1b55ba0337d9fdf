#include "imagefiles/jxl/jxlmessages.h"

#include "imagefiles/libraries/librarymessages.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace zentavo {

namespace {

thread_local JxlMessages* innermost = nullptr;

}  // namespace

// One line libjxl printed: "./lib/jxl/dec_ans.cc:179: JXL_FAILURE: Invalid histogram count."
void takeJxlMessage(const char* text) {
    QString message = QString::fromLocal8Bit(text).trimmed();
    const qsizetype failure = message.indexOf(QLatin1String("JXL_FAILURE: "));
    if (failure >= 0) {
        message = message.mid(failure + 13);
    } else if (message.startsWith(QLatin1String("./lib/jxl/"))) {
        // "file:line: text": the text is what a person reads.
        const qsizetype colon = message.indexOf(QLatin1String(": "));
        if (colon > 0) {
            message = message.mid(colon + 2);
        }
    }
    if (message.endsWith(QLatin1Char('.'))) {
        message.chop(1);
    }
    if (innermost->m_first.isEmpty() && failure >= 0) {
        innermost->m_first = message;
    }
    libraryMessage(MessageSource::Jxl, failure >= 0, message);
}

JxlMessages::JxlMessages() : m_outer(innermost) {
    innermost = this;
}

JxlMessages::~JxlMessages() {
    innermost = m_outer;
}

}  // namespace zentavo

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZENTAVO_NO_STDERR_HOOK
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZENTAVO_NO_STDERR_HOOK
#endif

#ifndef ZENTAVO_NO_STDERR_HOOK
// libjxl prints through glibc's checked vfprintf. The programs' own definition comes first for
// the shared libraries too: on a thread inside a JxlMessages, what goes to standard error is
// taken; everything else goes on to glibc's.
extern "C" int __vfprintf_chk(FILE* stream, int flag, const char* format, va_list args) {
    if (stream == stderr && zentavo::innermost) {
        char text[1024];
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(text, sizeof text, format, copy);
        va_end(copy);
        zentavo::takeJxlMessage(text);
        return length;
    }
    using Real = int (*)(FILE*, int, const char*, va_list);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
    return real ? real(stream, flag, format, args) : -1;
}
#endif
