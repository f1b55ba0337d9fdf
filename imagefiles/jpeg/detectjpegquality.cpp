#include "imagefiles/jpeg/detectjpegquality.h"

#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <sys/stat.h>
#include <cmath>
#include <limits>

namespace zentavo {

int DetectJpegQuality(double width, double height, qint64 fileLength) {
    const double v = 101.0 - (height * width * 3.0) / double(fileLength);
    // nearbyint rounds ties to even in the default rounding mode, as the 16-bit conversion did.
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<qint16>::min() && r <= std::numeric_limits<qint16>::max())) {
        throw ZentavoError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    }
    const int rounded = int(r);
    return rounded > 0 ? std::min(rounded, 100) : 1;
}

int DetectJpegQuality(const Picture& picture, const QString& path) {
    struct stat info {};
    if (::stat(encodeFileName(path).constData(), &info) != 0) {
        throw ZentavoError(ErrorNumber::Generic, QStringLiteral("File not found: ") + path);
    }
    return DetectJpegQuality(picture.width(), picture.height(), qint64(info.st_size));
}

}  // namespace zentavo
