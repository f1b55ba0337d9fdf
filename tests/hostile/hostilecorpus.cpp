#include "tests/hostile/hostilecorpus.h"

#include "tests/hostile/hostilebytes.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <turbojpeg.h>

namespace zentavo::test {

namespace {

constexpr int Width = 40;
constexpr int Height = 30;

CorpusFile entry(const QByteArray& name, const QByteArray& bytes, Verdict verdict,
                 QSize flippedSize = {}) {
    CorpusFile file;
    file.name = name;
    file.bytes = bytes;
    file.verdict = verdict;
    file.flippedSize = flippedSize;
    return file;
}

struct Builder {
    std::vector<CorpusFile> files;

    void written(const QByteArray& name, const QByteArray& bytes, QSize size = {Width, Height}) {
        files.push_back(entry(name, bytes, Verdict::Written, size));
    }
    void notLoaded(const QByteArray& name, const QByteArray& bytes) {
        files.push_back(entry(name, bytes, Verdict::NotLoaded));
    }
    void special(const QByteArray& name, CorpusFile::Kind kind, const QByteArray& target = {}) {
        CorpusFile file = entry(name, {}, Verdict::NotLoaded);
        file.kind = kind;
        file.linkTarget = target;
        files.push_back(file);
    }
    // The same picture at the degenerate sizes, in one format.
    void degenerate(const QByteArray& prefix, const QByteArray& extension,
                    QByteArray (*make)(int, int), bool strips = true) {
        std::vector<QSize> sizes{{1, 1}, {1, 300}, {300, 1}};
        if (strips) {
            sizes.push_back({40000, 1});
            sizes.push_back({1, 40000});
        }
        for (const QSize size : sizes) {
            written(prefix + '-' + QByteArray::number(size.width()) + 'x' +
                        QByteArray::number(size.height()) + '.' + extension,
                    make(size.width(), size.height()), size);
        }
    }
};

void jpegFiles(Builder& b) {
    const QImage picture = patternImage(Width, Height);
    const QByteArray jpeg = jpegOf(picture);
    const QByteArray progressive = jpegOf(picture, TJFLAG_PROGRESSIVE);
    b.written("jpeg-ok.jpg", jpeg);
    b.written("jpeg-progressive.jpg", progressive);
    b.written("jpeg-grey.jpg", jpegOf(picture, 0, true));
    b.written("jpeg-cmyk.jpg", jpegOf(picture, 0, false, true));
    const QByteArray arithmetic = arithmeticJpegOf(picture);
    if (!arithmetic.isEmpty()) {
        b.written("jpeg-arithmetic.jpg", arithmetic);
    }
    b.written("jpeg-junk-after-end.jpg", jpeg + "trailing junk that is no picture");
    b.notLoaded("jpeg-truncated.jpg", cutTo(jpeg, 0.6));
    b.notLoaded("jpeg-cut-in-header.jpg", jpeg.left(120));
    b.notLoaded("jpeg-early-end-marker.jpg", withEarlyEndMarker(jpeg));
    b.notLoaded("jpeg-bogus-huffman-table.jpg", withBogusHuffmanTable(jpeg));
    b.notLoaded("jpeg-claims-65500x65500.jpg", withJpegSize(jpeg, 65500, 65500));
    b.notLoaded("jpeg-claims-0-wide.jpg", withJpegSize(jpeg, 0, Height));
    b.notLoaded("jpeg-12-bit.jpg", twelveBitJpeg(jpeg));
    b.notLoaded("jpeg-progressive-600-scans.jpg", scanBombJpeg(progressive, 600));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QSize shown = orientation >= 5 ? QSize(Height, Width) : QSize(Width, Height);
        b.written("jpeg-exif-" + QByteArray::number(orientation) + ".jpg",
                  withExifEntry(jpeg, orientation), shown);
    }
    for (const int invalid : {0, 9, 65535}) {
        b.written("jpeg-exif-invalid-" + QByteArray::number(invalid) + ".jpg",
                  withExifEntry(jpeg, invalid));
    }
    b.written("jpeg-exif-offset-past-end.jpg", withBrokenExif(jpeg, true));
    b.written("jpeg-exif-65535-entries.jpg", withBrokenExif(jpeg, false));
    b.degenerate("jpeg", "jpg", [](int w, int h) { return jpegOf(patternImage(w, h)); });
}

void pngFiles(Builder& b) {
    const QByteArray png = pngOf(patternImage(Width, Height));
    b.written("png-ok.png", png);
    b.written("png-named-jpg.jpg", png);
    CorpusFile animated =
        entry("png-animated.png", withChunkBeforeData(png, animationControlChunk(3)),
              Verdict::Written, QSize(Width, Height));
    animated.partlyKept = true;
    b.files.push_back(animated);
    b.notLoaded("png-truncated.png", cutTo(png, 0.6));
    b.notLoaded("png-bad-crc.png", withBadPngCrc(png));
    b.notLoaded("png-claims-100000x100000.png", withPngSize(png, 100000, 100000));
    b.notLoaded("png-zeros-25000x25000.png", zeroPng(25000, 25000));
    b.written("png-ztxt-inflates-256mb.png",
              withChunkBeforeData(png, textBombChunk(qint64(256) << 20, false)));
    b.written("png-itxt-inflates-256mb.png",
              withChunkBeforeData(png, textBombChunk(qint64(256) << 20, true)));
    b.degenerate("png", "png", [](int w, int h) { return pngOf(patternImage(w, h)); });
}

void gifFiles(Builder& b) {
    const QByteArray gif = gifOf(Width, Height);
    b.written("gif-ok.gif", gif);
    b.notLoaded("gif-truncated.gif", cutTo(gif, 0.6));
    b.notLoaded("gif-screen-65535x65535.gif", withGifScreen(gif, 65535, 65535));
    b.notLoaded("gif-frame-offset-65000.gif", withGifFrameOffset(gif, 65000, 65000));
    b.notLoaded("gif-20000-frames.gif", manyFrameGif(20000));
    b.degenerate("gif", "gif", gifOf);
}

void bmpFiles(Builder& b) {
    const QByteArray bmp = bmpOf(patternImage(Width, Height));
    b.written("bmp-ok.bmp", bmp);
    b.written("bmp-rle8.bmp", rle8Bmp(Width, Height));
    b.notLoaded("bmp-truncated.bmp", cutTo(bmp, 0.6));
    b.notLoaded("bmp-rle8-cut.bmp", rle8Bmp(Width, Height, Height / 2));
    b.notLoaded("bmp-claims-100000x100000.bmp", withBmpSize(bmp, 100000, 100000));
    b.notLoaded("bmp-claims-30000x30000.bmp", withBmpSize(bmp, 30000, 30000));
    b.notLoaded("bmp-top-down-40000x40000.bmp", withBmpSize(bmp, 40000, -40000));
    b.notLoaded("bmp-7-bits.bmp", withBmpBits(bmp, 7));
    b.degenerate("bmp", "bmp", [](int w, int h) { return bmpOf(patternImage(w, h)); });
}

void tiffFiles(Builder& b) {
    const QByteArray tiff = tiffOf(Width, Height);
    b.written("tiff-ok.tif", tiff);
    b.written("tiff-tiled.tif", tiffOf(Width, Height, 1, true));
    CorpusFile pages =
        entry("tiff-3-pages.tif", tiffOf(Width, Height, 3), Verdict::Written, QSize(Width, Height));
    pages.partlyKept = true;
    b.files.push_back(pages);
    b.notLoaded("tiff-truncated.tif", cutTo(tiff, 0.6));
    b.notLoaded("tiff-strips-past-end.tif", withTiffDataPastEnd(tiff));
    b.notLoaded("tiff-tiles-past-end.tif", withTiffDataPastEnd(tiffOf(Width, Height, 1, true)));
    b.notLoaded("tiff-claims-100000x100000.tif", withTiffSize(tiff, 100000, 100000));
    b.degenerate(
        "tiff", "tif", [](int w, int h) { return tiffOf(w, h); }, false);
}

void otherFiles(Builder& b) {
    b.notLoaded("empty.jpg", {});
    b.notLoaded("text.jpg", "This is a note, not a picture.\n");
    QByteArray noise(4096, '\0');
    QRandomGenerator random(8);
    for (char& byte : noise) {
        byte = char(random.bounded(256));
    }
    b.notLoaded("noise.bmp", noise);
    b.special("fifo.jpg", CorpusFile::Kind::Fifo);
    b.special("dev-zero.jpg", CorpusFile::Kind::Link, "/dev/zero");
    b.special("dev-null.bmp", CorpusFile::Kind::Link, "/dev/null");
    b.special("dangling.jpg", CorpusFile::Kind::Link, "no-such-file.jpg");
    CorpusFile link = entry("link-to-ok.jpg", {}, Verdict::Written, QSize(Width, Height));
    link.kind = CorpusFile::Kind::Link;
    link.linkTarget = "jpeg-ok.jpg";
    b.files.push_back(link);
}

}  // namespace

std::vector<CorpusFile> hostileCorpus() {
    Builder b;
    jpegFiles(b);
    pngFiles(b);
    gifFiles(b);
    bmpFiles(b);
    tiffFiles(b);
    otherFiles(b);
    return b.files;
}

std::vector<CorpusFile> oddNameCorpus() {
    const QByteArray bmp = bmpOf(patternImage(4, 3));
    std::vector<CorpusFile> files;
    for (const char* name :
         {"with space.bmp", "accent-\xC3\xA9.bmp", "\xE6\xBC\xA2\xE5\xAD\x97.bmp",
          "emoji-\xF0\x9F\x98\x80.bmp", "-leading-dash.bmp", "back\\slash.bmp", "star*.bmp",
          "question?.bmp", "[bracket.bmp", "quote'\"$(x).bmp", "dots...bmp", ".hidden.bmp",
          "tab\there.bmp", "new\nline.bmp"}) {
        files.push_back(entry(name, bmp, Verdict::Written, QSize(4, 3)));
    }
    return files;
}

bool materialise(const QString& folder, const std::vector<CorpusFile>& corpus) {
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (const CorpusFile& file : corpus) {
        const QByteArray path = base + file.name;
        switch (file.kind) {
            case CorpusFile::Kind::Fifo:
                if (::mkfifo(path.constData(), 0644) != 0) {
                    return false;
                }
                break;
            case CorpusFile::Kind::Link:
                if (::symlink(file.linkTarget.constData(), path.constData()) != 0) {
                    return false;
                }
                break;
            case CorpusFile::Kind::Regular: {
                const int fd =
                    ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0) {
                    return false;
                }
                const bool ok = ::write(fd, file.bytes.constData(), size_t(file.bytes.size())) ==
                                ssize_t(file.bytes.size());
                ::close(fd);
                if (!ok) {
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

QByteArray flippedName(const QByteArray& name) {
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray base = dot >= 1 ? name.left(dot) : name;
    const QByteArray extension = dot >= 1 ? name.mid(dot + 1).toLower() : QByteArray();
    const bool own =
        extension == "jpg" || extension == "gif" || extension == "png" || extension == "tif";
    return base + "_flipped." + (own ? extension : QByteArray("bmp"));
}

}  // namespace zentavo::test
