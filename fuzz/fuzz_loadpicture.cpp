// Fuzz target: one picture file from bytes. When it loads, it is mirrored or turned and written in
// every format in memory; the bitmap and PNG written must load again at the same size.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/bmp/bmpcodec.h"
#include "imagefiles/decoders.h"
#include "imagefiles/files/filebytes.h"
#include "imagefiles/gif/gifcodec.h"
#include "imagefiles/jpeg/jpegcodec.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/libraries/librarymessages.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/png/pngcodec.h"
#include "imagefiles/tiff/tiffcodec.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>

#include <cstdint>
#include <new>

using namespace zentavo;

namespace {

// Pictures larger than this are within the ceilings but too slow to decode at fuzzing speed;
// their refusals by the ceilings are cheap and still run.
constexpr qint64 MaxFuzzPixels = qint64(2) << 20;

bool tooSlow(const QByteArray& bytes) {
    QSize size;
    const PictureFormat format = sniffFormat(bytes);
    if (format == PictureFormat::Jpeg) {
        size = decoders::jpegHeaderSize(bytes);
    } else if (format == PictureFormat::Png) {
        size = decoders::pngHeaderSize(bytes);
    } else if (format == PictureFormat::Gif && bytes.size() >= 10) {
        // The logical screen, which the first frame is composed on.
        const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
        size = QSize(data[6] | data[7] << 8, data[8] | data[9] << 8);
    } else {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        size = QImageReader(&buffer).size();
    }
    return size.isValid() && qint64(size.width()) * size.height() > MaxFuzzPixels;
}

void writeEveryFormat(const Picture& picture) {
    using Encoder = QByteArray (*)(const Picture&);
    for (const Encoder encode :
         {Encoder(encodeBmp), Encoder(encodePng), Encoder(encodeTiff), Encoder(encodeGif),
          Encoder([](const Picture& p) { return encodeJpeg(p, 75); })}) {
        try {
            const QByteArray file = encode(picture);
            fuzz::check(!file.isEmpty(), "an encoder that did not fail wrote bytes");
            if (encode == Encoder(encodeBmp) || encode == Encoder(encodePng)) {
                const LoadResult again = loadPictureFromBytes(file);
                fuzz::check(again.ok(), "a written bitmap or PNG loads again");
                fuzz::check(again.picture.image.size() == picture.image.size(),
                            "a written bitmap or PNG keeps the size");
            }
        } catch (const WriteFailure&) {
        } catch (const std::bad_alloc&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image plugins (TIFF) are found through the application object.
    static QCoreApplication app(*argc, *argv);
    // As in the programs: what the libraries say about a file stays off the terminal.
    installLibraryMessageHandlers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    LibraryMessages quiet;
    if (tooSlow(bytes)) {
        return 0;
    }
    LoadResult loaded = loadPictureFromBytes(bytes);
    if (!loaded.ok()) {
        fuzz::check(loaded.picture.isEmpty(), "a failed load leaves no picture");
        fuzz::check(!loaded.reason.isEmpty(), "a failed load gives a reason");
        return 0;
    }
    Picture& picture = loaded.picture;
    fuzz::check(!picture.isEmpty(), "a loaded picture has pixels");
    // A header the size probe could not read may still give a large picture.
    if (qint64(picture.width()) * picture.height() > MaxFuzzPixels) {
        return 0;
    }
    const QSize before = picture.image.size();
    try {
        switch (size % 4) {
            case 0:
                mirrorPicture(picture, Mirror::Horizontal);
                fuzz::check(picture.image.size() == before, "a mirror keeps the size");
                break;
            case 1:
                mirrorPicture(picture, Mirror::Vertical);
                fuzz::check(picture.image.size() == before, "a mirror keeps the size");
                break;
            default:
                turnPicture(picture, int(size % 4) == 2 ? 1 : 3);
                fuzz::check(picture.image.size() == before.transposed(),
                            "a quarter turn swaps the sides");
                break;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    writeEveryFormat(picture);
    return 0;
}
