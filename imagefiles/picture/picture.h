#pragma once

#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>

#include <memory>
#include <vector>

namespace zentavo {

struct PictureMetadata;  // imagefiles/metadata/metadata.h

// The file format a picture was decoded from, found from the content, not the name.
enum class PictureFormat { None, Jpeg, Gif, Png, Tiff, Bmp, Ico };

// One frame of a GIF file, kept as palette indices so that a flip or a right-angle turn moves
// indices and the file can be written back without loss.
struct GifFrame {
    QImage indices;             // Format_Indexed8, the frame's own size; colour table = its palette
    int left = 0;               // offset on the logical screen, in pixels
    int top = 0;
    int delayCentiseconds = 0;  // from the graphic control extension
    int disposal = 0;           // 0 to 3, as in the graphic control extension
    int transparentIndex = -1;  // -1 when the frame has no transparent colour
    bool userInput = false;
    bool localPalette = false;  // the palette is the frame's own, not the global one
    bool interlaced = false;
};

// Everything of a GIF file besides the pixels that a lossless rewrite needs.
struct GifAnimation {
    int screenWidth = 0;
    int screenHeight = 0;
    QList<QRgb> globalPalette;  // empty when the file has none
    int backgroundIndex = 0;
    int loopCount = -1;         // -1: no looping extension; 0: forever
    std::vector<GifFrame> frames;
};

// A decoded picture in memory: the working surface of the program.
//
// image holds the pixels in the format that keeps what the file held: alpha, 16-bit samples and
// the ICC profile (as image.colorSpace()). For a GIF it is the first frame composed on the
// logical screen, and gif keeps every frame as indices; the transforms change both.
struct Picture {
    QImage image;
    PictureFormat format = PictureFormat::None;
    int jpegSubsampling = -1;             // TurboJPEG's TJSAMP of a JPEG input, -1 otherwise
    std::shared_ptr<GifAnimation> gif;    // set for GIF inputs only
    QByteArray iccProfile;                // the embedded ICC profile, empty when none
    int droppedPages = 0;                 // pages after the first of a multi-page file, not kept
    int orientation = 1;                  // the file's EXIF orientation (1 to 8), already
                                          // applied to image; 1 when the file had none
    std::shared_ptr<const PictureMetadata> metadata;  // what the file holds besides pixels;
                                                      // null when nothing
    QImage cmyk;              // a CMYK file's ink samples, moved with image (colour/cmyk.h); null
                              // for other files
    QByteArray cmykProfile;   // the CMYK file's profile, written only with cmyk
    bool axesSwapped = false;             // the image's rows are the file's columns: an odd
                                          // number of quarter turns since loading

    bool isEmpty() const { return image.isNull(); }
    int width() const { return image.width(); }
    int height() const { return image.height(); }
    void clear() { *this = Picture(); }
};

}  // namespace zentavo
