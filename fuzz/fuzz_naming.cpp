// Fuzz target: the naming rules (GetFileName, StripExtension, GetExtension, output paths) on
// any folder and path text.

#include "batch/naming.h"
#include "fuzz/fuzzcheck.h"

#include <cstdint>

using namespace zentavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A zero byte splits the input into folder and path.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = bytes.indexOf('\0');
    const QString folder = split < 0 ? QString() : QString::fromUtf8(bytes.left(split));
    const QString path = QString::fromUtf8(split < 0 ? bytes : bytes.mid(split + 1));
    for (const QChar sep : {QChar(u'/'), QChar(u'\\')}) {
        const QString name = GetFileName(path, sep);
        fuzz::check(path.endsWith(name), "the file name ends the path");
        fuzz::check(!name.contains(sep), "the file name holds no separator");
        const QString base = StripExtension(name);
        fuzz::check(name.startsWith(base), "the base name begins the file name");
        fuzz::check(base.size() == name.size() || name[base.size()] == QChar(u'.'),
                    "only an extension after a dot is taken off");
        for (const Operation operation : {Operation::Flip, Operation::Rotate}) {
            const QString output = outputPath(folder, path, operation, sep);
            const QString ending = outputEnding(formatClassOf(path), operation);
            fuzz::check(output.startsWith(folder + sep), "the output lies in the folder");
            fuzz::check(output.endsWith(ending), "the output has the ending of its class");
        }
    }
    const QString extension = GetExtension(path);
    fuzz::check(path.endsWith(extension), "the extension ends the path");
    return 0;
}
