#pragma once

#include "imagefiles/picture/picture.h"

#include <QPoint>
#include <QSize>
#include <QString>

namespace zentavo {

// Starts and ends the imaging layer. start() checks that every codec the program needs is
// present: a TurboJPEG decoder and encoder can be made, giflib answers, and Qt reads and writes
// PNG, BMP and TIFF. GUI thread (once at start-up and once at close).
class ImagingStartup {
public:
    // True when the codecs are all present; false otherwise (nothing is started then).
    bool start();
    // Ends what start() began; harmless when it did not succeed.
    void end();
    bool started() const { return m_started; }

private:
    bool m_started = false;
};

// One loaded picture, replaced by each load. Any thread, one object per thread.
class ImageObject {
public:
    // Loads path (the decoders of loadPicture). Throws ZentavoError with a reason a user
    // understands when the file cannot be loaded; the object is then empty.
    void load(const QString& path);
    // The pixel size of the loaded picture; 0 when none.
    int Width() const { return m_picture.width(); }
    int Height() const { return m_picture.height(); }
    // Releases the picture.
    void Dispose() { m_picture.clear(); }
    const Picture& picture() const { return m_picture; }

private:
    Picture m_picture;
};

// Makes surface an empty canvas of size pixels filled with the background (white), as a
// rotation prepares the working surface before drawing. Throws ZentavoError when the canvas is
// over the program's ceilings or the memory cannot be had.
void prepareCanvas(Picture& surface, QSize size);

// Draws image objects onto a bound surface. Any thread, one object per thread.
class GraphicsObject {
public:
    // Binds the surface (usually a canvas from prepareCanvas) that later draws change.
    void Bind(Picture& surface) {
        m_surface = &surface;
        m_canvasSize = surface.image.size();
    }
    // Binds surface as a canvas of canvasSize pixels that is made only if a draw needs its
    // background: an exact turn or mirror replaces the surface whole, so it needs none and a
    // turn holds two pictures at once, not three.
    void Bind(Picture& surface, QSize canvasSize) {
        m_surface = &surface;
        m_canvasSize = canvasSize;
    }
    // The two rendering modes of the draw; kept for callers, the draw below always resamples
    // smoothly where it resamples at all.
    void SetRenderingModes(int first, int second);
    // Draws the whole of image so that its upper-left, upper-right and lower-left corners land
    // on points[0], points[1] and points[2] (corner coordinates: a row of W pixels spans 0..W).
    // When the points describe an exact mirror or right-angle turn that fills the canvas, the
    // pixels move exactly and the surface becomes the turned picture with its format, alpha,
    // 16-bit samples, ICC profile and GIF frames; otherwise the picture is drawn with smooth
    // resampling over the canvas background and a GIF becomes a single picture. Throws
    // ZentavoError when nothing is bound, the image is empty, or memory cannot be had.
    void DrawImagePoints(const ImageObject& image, const QPoint points[3]);
    // Ends drawing to the bound surface.
    void Release() { m_surface = nullptr; }

    int firstRenderingMode() const { return m_firstMode; }
    int secondRenderingMode() const { return m_secondMode; }

private:
    Picture* m_surface = nullptr;
    QSize m_canvasSize;
    int m_firstMode = 0;
    int m_secondMode = 0;
};

}  // namespace zentavo
