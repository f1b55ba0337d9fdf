#pragma once

#include "imagefiles/picture/picture.h"
#include "imagefiles/picture/pixelmove.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace zentavo {

// A JPEG's pixels as the colour planes it stores: Y, Cb and Cr (Y alone for a grey JPEG), the
// chroma planes subsampled. A flip or a right-angle turn commutes with the conversion to RGB,
// so moving the planes and encoding them again gives the moved picture without converting its
// colours or resampling its chroma either way.
struct PlanarJpeg {
    int width = 0;  // the picture's size in pixels
    int height = 0;
    int subsampling = -1;        // TurboJPEG's TJSAMP of the planes
    std::vector<QImage> planes;  // Format_Grayscale8, each of the size TurboJPEG gives the plane
                                 // (rounded up to whole chroma samples)
    Picture info;                // everything of the file but the pixels (format, the ICC
                                 // profile, the orientation, already applied to the planes);
                                 // its image stays null
};

// The sampling of a JPEG that the planes can be moved in, as (columns, rows) of the picture a
// chroma sample covers: 4:2:0 gives 2 x 2. Empty for layouts without such planes (CMYK, RGB,
// unknown sampling).
std::optional<std::pair<int, int>> chromaFootprint(int subsampling, int colorspace);

// Whether moving the planes of a width x height JPEG of this subsampling by move gives exactly
// the moved picture: every edge the move brings to the top or the left must be a whole row or
// column of chroma samples (4:2:0 mirrored horizontally needs an even width, turned clockwise
// an even height), and a turned layout must be one the encoder writes (4:2:2 turns into 4:4:0;
// 4:1:1 has no turned form).
bool planesMoveExactly(int width, int height, int subsampling, PixelMove move);

// The subsampling of the planes after move: 4:2:2 and 4:4:0 swap when the sides swap.
int subsamplingAfter(int subsampling, PixelMove move);

// Decodes a JPEG to its planes and moves them by its EXIF orientation followed by operation.
// Nothing when the result would not be exact or the file is anything but a plain 8-bit YCbCr or
// grey JPEG that decodes without a single warning (damaged data, CMYK, 12-bit, over the
// program's ceilings, out of memory): the caller then takes the RGB path, which decides and
// reports. The header and markers are read first, so a file that does not qualify is not
// decoded. Reentrant; any thread.
std::optional<PlanarJpeg> decodeMovedJpegPlanes(const QByteArray& bytes, PixelMove operation);

// Encodes planes as they are, at quality (1 to 100), with the accurate DCT: the stream
// TurboJPEG's tjCompressFromYUVPlanes makes of them, without its copies. The planes must be valid
// (a plane per component, each at least its padded size). An empty result, and the encoder's
// words in *failure, when it fails. Reentrant; any thread.
QByteArray compressPlanes(const PlanarJpeg& planar, int quality, QString* failure);

}  // namespace zentavo
