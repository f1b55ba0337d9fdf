// Fuzz target: NormalizeSlashes with either separator, against a plain reading of the rule.

#include "filelist/pathroutines.h"
#include "fuzz/fuzzcheck.h"

#include <cstdint>

using namespace zentavo;

namespace {

// A leading run of separators becomes one "/" (two "\"); after it, each pair of separators met
// from left to right becomes one.
QString expected(const QString& path, QChar sep) {
    QString out;
    qsizetype i = 0;
    while (i < path.size() && path[i] == sep) {
        ++i;
    }
    if (i > 0) {
        out = QString(sep == QChar(u'\\') ? 2 : 1, sep);
    }
    while (i < path.size()) {
        out += path[i];
        i += (path[i] == sep && i + 1 < path.size() && path[i + 1] == sep) ? 2 : 1;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Separators made frequent: bytes 0 and 1 stand for "/" and "\".
    QString path = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    path.replace(QChar(u'\0'), QChar(u'/')).replace(QChar(u'\1'), QChar(u'\\'));
    for (const QChar sep : {QChar(u'/'), QChar(u'\\')}) {
        const QString result = NormalizeSlashes(path, sep);
        fuzz::check(result == expected(path, sep), "NormalizeSlashes follows the rule");
    }
    return 0;
}
