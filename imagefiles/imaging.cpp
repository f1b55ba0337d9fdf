#include "imagefiles/imaging.h"

#include "imagefiles/loadpicfile.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/transform.h"
#include "report/zentavoerror.h"

#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <gif_lib.h>
#include <turbojpeg.h>

#include <cstring>
#include <new>

namespace zentavo {

namespace {

// The smallest GIF header giflib accepts: signature and a 1 x 1 logical screen.
constexpr char ProbeGif[] = "GIF89a\x01\x00\x01\x00\x00\x00\x00";

int readProbe(GifFileType* file, GifByteType* buffer, int length) {
    auto* offset = static_cast<int*>(file->UserData);
    const int count = std::min<int>(length, int(sizeof ProbeGif) - 1 - *offset);
    std::memcpy(buffer, ProbeGif + *offset, size_t(std::max(count, 0)));
    *offset += std::max(count, 0);
    return std::max(count, 0);
}

bool giflibWorks() {
    int offset = 0;
    int error = 0;
    GifFileType* file = DGifOpen(&offset, readProbe, &error);
    if (!file) {
        return false;
    }
    DGifCloseFile(file, &error);
    return true;
}

bool turboJpegWorks() {
    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    const bool ok = decoder && encoder;
    if (decoder) {
        tjDestroy(decoder);
    }
    if (encoder) {
        tjDestroy(encoder);
    }
    return ok;
}

bool qtCodecsPresent() {
    const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    for (const char* format : {"png", "bmp", "tiff"}) {
        if (!readable.contains(format) || !writable.contains(format)) {
            return false;
        }
    }
    return true;
}

// How an exact draw moves pixels: an optional quarter turn clockwise, then an optional mirror.
struct ExactMove {
    int quarterTurns = 0;
    bool mirror = false;
    Mirror direction = Mirror::Horizontal;
};

// The exact move for three points, when the source's unit steps along x and y map to unit
// steps along the canvas axes and the picture covers the canvas exactly; nothing otherwise.
std::optional<ExactMove> exactMoveFor(QSize source, QSize canvas, const QPoint points[3]) {
    const int w = source.width();
    const int h = source.height();
    const QPoint ex = points[1] - points[0];
    const QPoint ey = points[2] - points[0];
    if (ex.x() % w != 0 || ex.y() % w != 0 || ey.x() % h != 0 || ey.y() % h != 0) {
        return std::nullopt;
    }
    const QPoint ux(ex.x() / w, ex.y() / w);
    const QPoint uy(ey.x() / h, ey.y() / h);
    if (ux.manhattanLength() != 1 || uy.manhattanLength() != 1 ||
        ux.x() * uy.x() + ux.y() * uy.y() != 0) {
        return std::nullopt;
    }
    const QPoint far = points[1] + ey;
    const int left = std::min({points[0].x(), points[1].x(), points[2].x(), far.x()});
    const int top = std::min({points[0].y(), points[1].y(), points[2].y(), far.y()});
    const int right = std::max({points[0].x(), points[1].x(), points[2].x(), far.x()});
    const int bottom = std::max({points[0].y(), points[1].y(), points[2].y(), far.y()});
    if (left != 0 || top != 0 || right != canvas.width() || bottom != canvas.height()) {
        return std::nullopt;
    }
    const auto is = [](QPoint p, int x, int y) { return p.x() == x && p.y() == y; };
    if (is(ux, 1, 0)) {
        return is(uy, 0, 1) ? ExactMove{} : ExactMove{0, true, Mirror::Vertical};
    }
    if (is(ux, -1, 0)) {
        return is(uy, 0, 1) ? ExactMove{0, true, Mirror::Horizontal} : ExactMove{2};
    }
    if (is(ux, 0, 1)) {  // x runs down the canvas: a clockwise quarter turn, or the transpose
        return is(uy, -1, 0) ? ExactMove{1} : ExactMove{1, true, Mirror::Horizontal};
    }
    return is(uy, 1, 0) ? ExactMove{3} : ExactMove{1, true, Mirror::Vertical};
}

}  // namespace

bool ImagingStartup::start() {
    m_started = turboJpegWorks() && giflibWorks() && qtCodecsPresent();
    return m_started;
}

void ImagingStartup::end() {
    m_started = false;
}

void ImageObject::load(const QString& path) {
    m_picture.clear();
    LoadResult result = loadPicture(path);
    if (!result.ok()) {
        const bool memory =
            result.error == LoadError::TooBig || result.error == LoadError::OutOfMemory;
        throw ZentavoError(memory ? ErrorNumber::OutOfMemory : ErrorNumber::Generic,
                           QStringLiteral("%1 cannot be loaded: %2").arg(path, result.reason));
    }
    m_picture = std::move(result.picture);
}

void prepareCanvas(Picture& surface, QSize size) {
    surface.clear();
    if (!limits::decodedSizeAllowed(size.width(), size.height(), 4)) {
        throw ZentavoError(ErrorNumber::OutOfMemory,
                           QStringLiteral("A canvas of %1 x %2 pixels cannot be made.")
                               .arg(size.width())
                               .arg(size.height()));
    }
    QImage canvas(size, QImage::Format_RGB32);
    if (canvas.isNull()) {
        throw ZentavoError(ErrorNumber::OutOfMemory, QStringLiteral("Out of memory"));
    }
    canvas.fill(Qt::white);
    surface.image = std::move(canvas);
}

void GraphicsObject::SetRenderingModes(int first, int second) {
    m_firstMode = first;
    m_secondMode = second;
}

void GraphicsObject::DrawImagePoints(const ImageObject& image, const QPoint points[3]) {
    if (!m_surface || m_canvasSize.isEmpty()) {
        throw ZentavoError(ErrorNumber::Generic, QStringLiteral("There is no canvas to draw on."));
    }
    const Picture& source = image.picture();
    if (source.isEmpty()) {
        throw ZentavoError(ErrorNumber::Generic, QStringLiteral("There is no picture to draw."));
    }
    try {
        if (const auto move = exactMoveFor(source.image.size(), m_canvasSize, points)) {
            Picture moved = source;
            turnPicture(moved, move->quarterTurns);
            if (move->mirror) {
                mirrorPicture(moved, move->direction);
            }
            *m_surface = std::move(moved);
            return;
        }
        if (m_surface->image.size() != m_canvasSize) {
            prepareCanvas(*m_surface, m_canvasSize);
        }
        const bool deep = source.image.depth() > 32;
        QImage canvas =
            m_surface->image.convertToFormat(deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
        if (canvas.isNull()) {
            throw std::bad_alloc();
        }
        const QPointF ux = QPointF(points[1] - points[0]) / source.width();
        const QPointF uy = QPointF(points[2] - points[0]) / source.height();
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(
            QTransform(ux.x(), ux.y(), uy.x(), uy.y(), points[0].x(), points[0].y()));
        painter.drawImage(QPointF(0, 0), source.image);
        painter.end();
        canvas.setColorSpace(source.image.colorSpace());
        Picture drawn;
        drawn.image = std::move(canvas);
        drawn.format = source.format;
        drawn.jpegSubsampling = source.jpegSubsampling;
        drawn.iccProfile = source.iccProfile;
        drawn.droppedPages = source.droppedPages;
        drawn.orientation = source.orientation;
        drawn.metadata = source.metadata;
        // A drawn turn of a quarter swaps the axes as an exact one does.
        drawn.axesSwapped = source.axesSwapped != (m_canvasSize.transposed() == source.image.size() &&
                                                   m_canvasSize != source.image.size());
        *m_surface = std::move(drawn);
    } catch (const std::bad_alloc&) {
        throw ZentavoError(ErrorNumber::OutOfMemory, QStringLiteral("Out of memory"));
    }
}

}  // namespace zentavo
