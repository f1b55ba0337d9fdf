#include "tests/imagefiles/writefixtures.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <cmath>
#include <map>

namespace zentavo::test {

namespace {

constexpr char ChildFolderVariable[] = "ZENTAVO_UNPRIVILEGED_FOLDER";

}  // namespace

QImage photoLike(int width, int height, unsigned seed) {
    QImage image(width, height, QImage::Format_RGB32);
    unsigned state = seed * 2654435761u + 1;
    auto noise = [&state] {
        state = state * 1664525u + 1013904223u;
        return int((state >> 24) % 9) - 4;  // -4 to 4
    };
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double v = double(y) / height;
            const double dx = u - 0.6;
            const double dy = v - 0.4;
            const double disc = std::exp(-(dx * dx + dy * dy) * 12.0);
            const int r = int(40 + 150 * u + 60 * disc) + noise();
            const int g = int(70 + 90 * v + 80 * disc * u) + noise();
            const int b = int(160 - 100 * v + 40 * std::sin(u * 6.0)) + noise();
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

double psnr(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]);
            const int dg = qGreen(p[col]) - qGreen(q[col]);
            const int db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

namespace {

// Calls visit(marker, segment payload) for each marker segment before the scan.
template <typename Visit>
void forEachSegment(const QByteArray& jpeg, Visit visit) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        visit(marker, jpeg.mid(at + 4, length - 2));
        if (marker == 0xDA) {
            return;
        }
        at += 2 + length;
    }
}

}  // namespace

std::vector<int> firstQuantTable(const QByteArray& jpeg) {
    std::vector<int> table;
    forEachSegment(jpeg, [&](int marker, const QByteArray& payload) {
        if (marker == 0xDB && table.empty() && payload.size() >= 65 && (payload[0] >> 4) == 0) {
            for (int i = 1; i <= 64; ++i) {
                table.push_back(uchar(payload[i]));
            }
        }
    });
    return table;
}

QByteArray jpegIccProfile(const QByteArray& jpeg) {
    std::map<int, QByteArray> chunks;
    int count = 0;
    forEachSegment(jpeg, [&](int marker, const QByteArray& payload) {
        if (marker == 0xE2 && payload.startsWith(QByteArray("ICC_PROFILE", 12))) {
            chunks[uchar(payload[12])] = payload.mid(14);
            count = uchar(payload[13]);
        }
    });
    QByteArray profile;
    for (int i = 1; i <= count; ++i) {
        if (!chunks.count(i)) {
            return {};
        }
        profile += chunks[i];
    }
    return int(chunks.size()) == count ? profile : QByteArray();
}

TiffContent readTiff(const QString& path) {
    TiffContent content;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff) {
        return content;
    }
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 0;
    uint16_t bits = 0;
    uint16_t photometric = 0;
    uint16_t compression = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0) {
        content.extraSample = extra[0];
    }
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &icc)) {
        content.icc = QByteArray(static_cast<const char*>(icc), iccSize);
    }
    content.width = int(width);
    content.height = int(height);
    content.samples = samples;
    content.bits = bits;
    content.photometric = photometric;
    content.compression = compression;
    std::vector<uchar> row(size_t(TIFFScanlineSize(tiff)));
    const size_t perRow = size_t(width) * samples;
    content.values.reserve(perRow * height);
    bool ok = true;
    for (uint32_t y = 0; y < height && ok; ++y) {
        ok = TIFFReadScanline(tiff, row.data(), y, 0) >= 0;
        for (size_t i = 0; i < perRow; ++i) {
            content.values.push_back(bits == 16 ? reinterpret_cast<const quint16*>(row.data())[i]
                                                : quint16(row[i]));
        }
    }
    TIFFClose(tiff);
    content.ok = ok;
    return content;
}

QString unprivilegedChildFolder() {
    return qEnvironmentVariable(ChildFolderVariable);
}

ChildRun rerunWithoutOverride(const QString& folder) {
    ChildRun run;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildFolderVariable), folder);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--bounding-set=-dac_override,-dac_read_search,-fowner"),
                 QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QString::fromLatin1(info->test_suite_name()),
                          QString::fromLatin1(info->name()))});
    if (!child.waitForStarted() || !child.waitForFinished(120000)) {
        run.output = child.errorString();
        return run;
    }
    run.output = QString::fromLocal8Bit(child.readAll());
    run.started = child.exitStatus() == QProcess::NormalExit;
    run.exitCode = child.exitCode();
    return run;
}

}  // namespace zentavo::test
