// Measures the Smart-Detect tables of the newer formats: each picture given on the command line
// is written by the program's own writers (WebP, HEIF, AVIF, JPEG XL) at each quality of the
// tables, and the median bits a pixel over all pictures is printed per format and quality, as
// the rows of the tables in imagefiles/<format>/<format>quality.cpp; and the JPEG writer's at
// the same qualities, for the HEIF writer's fixed qualities. tools/quality-tables.sh
// makes the corpus and runs it.
//
//   zentavo-quality-tables [--only webp|heif|avif|jxl|jpeg] PICTURE...

#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/jxl/jxlcodec.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/webp/webpcodec.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace zentavo;

namespace {

struct Writer {
    const char* name;
    const char* table;
    QByteArray (*encode)(const Picture&, const EncoderQuality&);
    std::vector<int> qualities;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList paths = app.arguments().mid(1);
    QString only;
    if (paths.size() >= 2 && paths.first() == QLatin1String("--only")) {
        only = paths.at(1);
        paths = paths.mid(2);
    }
    std::vector<Picture> pictures;
    for (const QString& path : paths) {
        LoadResult loaded = loadPicture(path);
        if (!loaded.ok()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(loaded.reason));
            return 1;
        }
        loaded.picture.metadata.reset();
        pictures.push_back(std::move(loaded.picture));
    }
    if (pictures.empty()) {
        std::fprintf(stderr, "usage: zentavo-quality-tables PICTURE...\n");
        return 2;
    }
    // libheif's scale spends its bits between 40 and 60: finer steps there.
    const std::vector<int> steps = {20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95};
    const Writer writers[] = {
        {"webp", "WebpBits", encodeWebp, steps},
        {"heif", "HeifBits", encodeHeif, {20, 30, 35, 40, 42, 44, 46, 48, 50, 53, 56, 60, 70}},
        {"avif", "AvifBits", encodeAvif, steps},
        {"jxl", "JxlBits", encodeJxl, steps},
        // The JPEG writer's own bits, which the HEIF writer's fixed qualities are set against.
        {"jpeg", "JpegBits",
         [](const Picture& picture, const EncoderQuality& quality) {
             return encodeJpeg(picture, quality.jpegQuality);
         },
         steps}};
    for (const Writer& writer : writers) {
        if (!only.isEmpty() && only != QLatin1String(writer.name)) {
            continue;
        }
        std::printf("constexpr QualityBits %s[] = {\n", writer.table);
        for (const int quality : writer.qualities) {
            std::vector<double> bits;
            for (const Picture& picture : pictures) {
                const QByteArray file = writer.encode(picture, EncoderQuality::native(quality));
                bits.push_back(double(file.size()) * 8 /
                               (double(picture.width()) * picture.height()));
            }
            std::printf("    {%d, %.3f},\n", quality, median(bits));
            std::fflush(stdout);
        }
        std::printf("};\n");
    }
    return 0;
}
