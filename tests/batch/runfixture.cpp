#include "tests/batch/runfixture.h"

#include <turbojpeg.h>
#include <QFile>

namespace zentavo::test {

QImage patternImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x % 256, y % 256, 7));
        }
    }
    return image;
}

QByteArray writeJpeg(const QString& path, const QImage& image, int quality, qint64 length,
                     int subsampling) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                TJPF_RGB, &buffer, &size, subsampling, quality, TJFLAG_ACCURATEDCT);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    tjFree(buffer);
    tjDestroy(handle);
    if (length > bytes.size()) {
        bytes.append(QByteArray(length - bytes.size(), '\0'));
    }
    writeFile(path, bytes);
    return bytes;
}

QByteArray quantisationTables(const QByteArray& jpeg) {
    QByteArray tables;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        if (marker == 0xDB) {
            tables += jpeg.mid(at, length + 2);
        }
        if (marker == 0xDA) {
            break;
        }
        at += length + 2;
    }
    return tables;
}

QByteArray quantisationTablesFor(int quality) {
    const QImage image = patternImage(16, 16);
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, image.constBits(), 16, int(image.bytesPerLine()), 16, TJPF_RGB, &buffer,
                &size, TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    tjFree(buffer);
    tjDestroy(handle);
    return quantisationTables(bytes);
}

RunSummary runBatch(const JobOptions& options, RecordingFrontEnd& frontEnd,
                    const QStringList& paths, int jobs, bool imagingFailed) {
    FileList list;
    list.append(paths);
    return runBatchOnList(options, frontEnd, list, jobs, imagingFailed);
}

RunSummary runBatchOnList(const JobOptions& options, RecordingFrontEnd& frontEnd,
                          const FileList& list, int jobs, bool imagingFailed) {
    BatchRun run(options, frontEnd);
    run.setJobs(jobs);
    run.setImagingFailed(imagingFailed);
    RunSummary summary;
    QObject::connect(&run, &BatchRun::finished, [&](const RunSummary& s) { summary = s; });
    run.PushButton2_Click(list);
    run.waitForFinished();
    return summary;
}

}  // namespace zentavo::test
