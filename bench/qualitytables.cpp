// Measures the Smart-Detect tables of the newer formats: each picture given on the command line
// is written by the program's own writers (WebP, HEIF, AVIF, JPEG XL) at each quality of the
// tables, and the median bits a pixel over all pictures is printed per format and quality, as
// the rows of the tables in imagefiles/<format>/<format>quality.cpp. tools/quality-tables.sh
// makes the corpus and runs it.
//
//   zentavo-quality-tables PICTURE...

#include "imagefiles/heif/heifcodec.h"
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

constexpr int Qualities[] = {20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95};

struct Writer {
    const char* table;
    QByteArray (*encode)(const Picture&, const EncoderQuality&);
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<Picture> pictures;
    for (const QString& path : app.arguments().mid(1)) {
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
    const Writer writers[] = {{"WebpBits", encodeWebp},
                              {"HeifBits", encodeHeif},
                              {"AvifBits", encodeAvif},
                              {"JxlBits", encodeJxl}};
    for (const Writer& writer : writers) {
        std::printf("constexpr QualityBits %s[] = {\n", writer.table);
        for (const int quality : Qualities) {
            std::vector<double> bits;
            for (const Picture& picture : pictures) {
                const QByteArray file = writer.encode(picture, EncoderQuality::fixed(quality));
                bits.push_back(double(file.size()) * 8 / (double(picture.width()) * picture.height()));
            }
            std::printf("    {%d, %.3f},\n", quality, median(bits));
            std::fflush(stdout);
        }
        std::printf("};\n");
    }
    return 0;
}
