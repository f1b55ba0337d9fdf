#include "imagefiles/jpegplanes.h"

#include "imagefiles/jpegmarkers.h"
#include "imagefiles/limits.h"
#include "imagefiles/metadata.h"
#include "imagefiles/pixelpool.h"
#include "imagefiles/tjhandle.h"

#include <turbojpeg.h>

#include <new>

namespace zentavo {

std::optional<std::pair<int, int>> chromaFootprint(int subsampling, int colorspace) {
    if (colorspace == TJCS_GRAY && subsampling == TJSAMP_GRAY) {
        return std::pair{1, 1};
    }
    if (colorspace != TJCS_YCbCr || subsampling < 0 || subsampling >= TJ_NUMSAMP ||
        subsampling == TJSAMP_GRAY) {
        return std::nullopt;
    }
    return std::pair{tjMCUWidth[subsampling] / 8, tjMCUHeight[subsampling] / 8};
}

int subsamplingAfter(int subsampling, PixelMove move) {
    if (!move.swapsSides()) {
        return subsampling;
    }
    switch (subsampling) {
        case TJSAMP_422:
            return TJSAMP_440;
        case TJSAMP_440:
            return TJSAMP_422;
        case TJSAMP_411:
            return -1;  // 4:1:4 has no TurboJPEG form
        default:
            return subsampling;
    }
}

bool planesMoveExactly(int width, int height, int subsampling, PixelMove move) {
    if (subsampling < 0 || subsampling >= TJ_NUMSAMP || subsamplingAfter(subsampling, move) < 0) {
        return false;
    }
    const int columns = tjMCUWidth[subsampling] / 8;
    const int rows = tjMCUHeight[subsampling] / 8;
    // A plane that does not end on a whole chroma sample is padded at its right or bottom; a
    // move that brings that edge to the front would shift the chroma against the luma.
    return !(move.reversesColumns() && width % columns != 0) &&
           !(move.reversesRows() && height % rows != 0);
}

std::optional<PlanarJpeg> decodeMovedJpegPlanes(const QByteArray& bytes, PixelMove operation) {
    TjDecompressor tj;
    if (!tj.handle) {
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0;
    int height = 0;
    int subsampling = -1;
    int colorspace = -1;
    if (tjDecompressHeader3(tj.handle, data, size, &width, &height, &subsampling, &colorspace) !=
            0 ||
        !chromaFootprint(subsampling, colorspace) ||
        !limits::decodedSizeAllowed(width, height, 3)) {
        return std::nullopt;
    }
    const JpegMarkers markers = scanJpegMarkers(bytes);
    const PixelMove move = PixelMove::forOrientation(markers.orientation).then(operation);
    if (!planesMoveExactly(width, height, subsampling, move)) {
        return std::nullopt;
    }

    try {
        PlanarJpeg planar;
        const int count = subsampling == TJSAMP_GRAY ? 1 : 3;
        unsigned char* targets[3] = {};
        int strides[3] = {};
        for (int i = 0; i < count; ++i) {
            QImage plane =
                pooledImage(tjPlaneWidth(i, width, subsampling),
                            tjPlaneHeight(i, height, subsampling), QImage::Format_Grayscale8);
            if (plane.isNull()) {
                return std::nullopt;
            }
            targets[i] = plane.bits();
            strides[i] = int(plane.bytesPerLine());
            planar.planes.push_back(std::move(plane));
        }
        if (tjDecompressToYUVPlanes(tj.handle, data, size, targets, width, strides, height,
                                    TJFLAG_LIMITSCANS | TJFLAG_ACCURATEDCT) != 0) {
            return std::nullopt;
        }
        for (QImage& plane : planar.planes) {
            moveImage(plane, move);
        }
        planar.width = move.swapsSides() ? height : width;
        planar.height = move.swapsSides() ? width : height;
        planar.subsampling = subsamplingAfter(subsampling, move);
        planar.info.format = PictureFormat::Jpeg;
        planar.info.jpegSubsampling = planar.subsampling;
        planar.info.iccProfile = markers.iccProfile;
        planar.info.orientation = markers.orientation;
        planar.info.metadata = readMetadata(bytes, PictureFormat::Jpeg);
        planar.info.axesSwapped = move.swapsSides();
        return planar;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace zentavo
