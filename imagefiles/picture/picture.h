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
enum class PictureFormat { None, Jpeg, Gif, Png, Tiff, Bmp, Ico, Webp, Heif, Avif, Jxl };

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
    QList<QByteArray> comments;  // the comment extensions, in file order
    std::vector<GifFrame> frames;
};

// One frame of an animation kept as whole pictures (animated WebP): the canvas as it shows
// while the frame lasts, so that every frame moves as the first does.
struct AnimationFrame {
    QImage image;          // the canvas's size, 8-bit RGBA (Format_RGBA8888)
    int durationMs = 0;    // how long the frame shows, in milliseconds
};

// An animation besides GIF's: its frames, in order, and how often it plays.
struct Animation {
    int loopCount = 0;           // 0: forever
    QRgb background = 0;         // the canvas colour the file states (ARGB)
    std::vector<AnimationFrame> frames;
};

// The colour of a picture as coding-independent code points (ITU-T H.273), as HEIF and AVIF
// files state it in an nclx box. Kept so that an output of the same kind says the same.
struct CodePoints {
    bool present = false;
    int primaries = 2;        // 2: unspecified
    int transfer = 2;
    int matrix = 2;
    bool fullRange = true;
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
    std::shared_ptr<Animation> animation;  // every frame of an animated WebP; null otherwise
    bool losslessSource = false;          // the file's pixels were coded without loss (WebP
                                          // VP8L, lossless AVIF or JPEG XL): kept so
    int sampleBits = 0;                   // bits a sample the file held when image's samples
                                          // are wider (10 or 12 for a deep HEIF, AVIF or JPEG
                                          // XL kept as 16-bit samples); 0 otherwise
    CodePoints codePoints;                // the nclx colour of a HEIF or AVIF file

    bool isEmpty() const { return image.isNull(); }
    int width() const { return image.width(); }
    int height() const { return image.height(); }
    void clear() { *this = Picture(); }
};

}  // namespace zentavo
