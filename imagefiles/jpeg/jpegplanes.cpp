#include "imagefiles/jpeg/jpegplanes.h"

#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/libraries/tjhandle.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace zentavo {

namespace {

// Most rows of samples a component gives in one row of coding units: 4 x 8.
constexpr int MaxUnitRows = MAX_SAMP_FACTOR * DCTSIZE;

// TurboJPEG's plane functions pass every row through a buffer of their own when a plane does not
// end on whole blocks (the chroma of a 3000-row 4:2:0 picture has 1500 rows, 187.5 blocks). The
// reading and writing here go straight between libjpeg and the planes instead.

struct PlaneReading {
    const unsigned char* data;
    unsigned long size;
    int count;                       // planes
    PixelMove move;                  // applied band by band as the planes are read
    std::array<QSize, 3> sizes;      // the planes' own sizes, before the move
    std::array<QImage, 3>* buffers;  // whole blocks and coding units: the planes, or a band
    std::array<QImage, 3>* moved;    // the moved planes, unless the move is none
    JpegListener listener;
    bool done;
};

// Two rows of coding units a band: 16 or 32 rows of every plane, whole 16 x 16 blocks for the
// transposing moves.
constexpr int BandUnits = 2;

// Moves rows firstRow on of a plane, held in buffer from its top, into the moved plane.
void moveBand(const QImage& buffer, int rows, int firstRow, QSize plane, PixelMove move,
              QImage& moved) {
    const QImage band(buffer.constBits(), plane.width(), rows, buffer.bytesPerLine(),
                      QImage::Format_Grayscale8);
    moveBandOfBytes(band, firstRow, plane.height(), move, moved);
}

// Plain data and C calls only between setjmp and the end: the jump skips destructors.
void readPlanes(PlaneReading& job) {
    jpeg_decompress_struct reader;
    jpeg_progress_mgr progress{};
    reader.err = listenToJpeg(job.listener);
    job.done = false;
    if (setjmp(job.listener.fatal)) {
        jpeg_destroy_decompress(&reader);
        return;
    }
    jpeg_create_decompress(&reader);
    limitScans(&reader, progress);
    jpeg_mem_src(&reader, job.data, job.size);
    jpeg_read_header(&reader, TRUE);
    if (reader.num_components != job.count) {
        jpeg_destroy_decompress(&reader);
        return;
    }
    reader.raw_data_out = TRUE;
    reader.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&reader);
    // The identity reads straight into the planes; a move reads a band at a time and moves it
    // on while it is in the cache, so the unmoved planes are never held whole.
    const bool moving = job.move != PixelMove{};
    const int units = moving ? BandUnits : int(reader.total_iMCU_rows);
    uchar* bases[3] = {};
    qsizetype strides[3] = {};
    int unitRows[3] = {};
    for (int ci = 0; ci < job.count; ++ci) {
        const jpeg_component_info& component = reader.comp_info[ci];
        unitRows[ci] = component.v_samp_factor * DCTSIZE;
        const int width = int(component.width_in_blocks) * DCTSIZE;
        (*job.buffers)[size_t(ci)] =
            moving ? QImage(width, units * unitRows[ci], QImage::Format_Grayscale8)
                   : pooledImage(width, units * unitRows[ci], QImage::Format_Grayscale8);
        if (moving) {
            const QSize size = job.sizes[size_t(ci)];
            (*job.moved)[size_t(ci)] =
                job.move.swapsSides()
                    ? pooledImage(size.height(), size.width(), QImage::Format_Grayscale8)
                    : pooledImage(size.width(), size.height(), QImage::Format_Grayscale8);
        }
        QImage& buffer = (*job.buffers)[size_t(ci)];
        if (buffer.isNull() || (moving && (*job.moved)[size_t(ci)].isNull()) ||
            unitRows[ci] > MaxUnitRows || buffer.width() < job.sizes[size_t(ci)].width()) {
            jpeg_destroy_decompress(&reader);
            return;
        }
        bases[ci] = buffer.bits();
        strides[ci] = buffer.bytesPerLine();
    }
    JSAMPROW rows[3][MaxUnitRows];
    JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
    for (JDIMENSION unit = 0; reader.output_scanline < reader.output_height; ++unit) {
        const int inBand = int(unit) % units;
        for (int ci = 0; ci < job.count; ++ci) {
            for (int k = 0; k < unitRows[ci]; ++k) {
                rows[ci][k] = bases[ci] + (qsizetype(inBand) * unitRows[ci] + k) * strides[ci];
            }
        }
        jpeg_read_raw_data(&reader, planes, JDIMENSION(reader.max_v_samp_factor * DCTSIZE));
        if (!moving || (inBand + 1 < units && reader.output_scanline < reader.output_height)) {
            continue;
        }
        for (int ci = 0; ci < job.count; ++ci) {
            const int firstRow = (int(unit) - inBand) * unitRows[ci];
            const int bandRows =
                std::min((inBand + 1) * unitRows[ci], job.sizes[size_t(ci)].height() - firstRow);
            if (bandRows > 0) {
                moveBand((*job.buffers)[size_t(ci)], bandRows, firstRow, job.sizes[size_t(ci)],
                         job.move, (*job.moved)[size_t(ci)]);
            }
        }
    }
    jpeg_finish_decompress(&reader);
    job.done = reader.err->num_warnings == 0;
    jpeg_destroy_decompress(&reader);
}

// A width x height view of the top left of buffer that keeps buffer alive. The view is the
// only one to write to it: buffer itself goes with the decoding.
QImage viewOf(const QImage& buffer, int width, int height) {
    QImage* owner = new QImage(buffer);
    // constBits: bits() would copy the picture, which owner shares with buffer for now.
    return QImage(
        const_cast<uchar*>(owner->constBits()), width, height, owner->bytesPerLine(),
        QImage::Format_Grayscale8, [](void* kept) { delete static_cast<QImage*>(kept); }, owner);
}

struct PlaneWriting {
    const PlanarJpeg* planar;
    int quality;
    QByteArray* output;
    std::array<std::vector<uchar>, 3>* padded;  // rows of planes that need edge samples added
    JpegListener listener;
    bool done;
};

// Plain data and C calls only between setjmp and the end: the jump skips destructors.
void writePlanes(PlaneWriting& job) {
    const PlanarJpeg& planar = *job.planar;
    const int count = int(planar.planes.size());
    jpeg_compress_struct writer;
    ByteArrayDestination destination{};
    writer.err = listenToJpeg(job.listener);
    job.done = false;
    if (setjmp(job.listener.fatal)) {
        jpeg_destroy_compress(&writer);
        return;
    }
    jpeg_create_compress(&writer);
    writer.image_width = JDIMENSION(planar.width);
    writer.image_height = JDIMENSION(planar.height);
    writer.input_components = count;
    writer.in_color_space = count == 1 ? JCS_GRAYSCALE : JCS_YCbCr;
    jpeg_set_defaults(&writer);
    jpeg_set_quality(&writer, job.quality, TRUE);
    writer.dct_method = JDCT_ISLOW;
    jpeg_set_colorspace(&writer, writer.in_color_space);
    writer.comp_info[0].h_samp_factor = tjMCUWidth[planar.subsampling] / 8;
    writer.comp_info[0].v_samp_factor = tjMCUHeight[planar.subsampling] / 8;
    for (int ci = 1; ci < count; ++ci) {
        writer.comp_info[ci].h_samp_factor = 1;
        writer.comp_info[ci].v_samp_factor = 1;
    }
    writer.raw_data_in = TRUE;
    writeIntoByteArray(&writer, destination, job.output);
    jpeg_start_compress(&writer, TRUE);

    const uchar* bases[3] = {};
    qsizetype strides[3] = {};
    int widths[3] = {};   // the plane's samples in a row
    int heights[3] = {};  // and its rows
    int blockWidths[3] = {};
    int unitRows[3] = {};
    for (int ci = 0; ci < count; ++ci) {
        const QImage& plane = planar.planes[size_t(ci)];
        bases[ci] = plane.constBits();
        strides[ci] = plane.bytesPerLine();
        widths[ci] = tjPlaneWidth(ci, planar.width, planar.subsampling);
        heights[ci] = tjPlaneHeight(ci, planar.height, planar.subsampling);
        blockWidths[ci] = int(writer.comp_info[ci].width_in_blocks) * DCTSIZE;
        unitRows[ci] = writer.comp_info[ci].v_samp_factor * DCTSIZE;
        if (unitRows[ci] > MaxUnitRows ||
            (blockWidths[ci] > widths[ci] &&
             (*job.padded)[size_t(ci)].size() < size_t(blockWidths[ci]) * size_t(unitRows[ci]))) {
            outOfJpegMemory(reinterpret_cast<j_common_ptr>(&writer));
        }
    }
    JSAMPROW rows[3][MaxUnitRows];
    JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
    for (JDIMENSION unit = 0; writer.next_scanline < writer.image_height; ++unit) {
        for (int ci = 0; ci < count; ++ci) {
            for (int k = 0; k < unitRows[ci]; ++k) {
                // Rows past the plane's end repeat its last row, as TurboJPEG's encoder does.
                const int y = std::min(int(unit) * unitRows[ci] + k, heights[ci] - 1);
                const uchar* row = bases[ci] + qsizetype(y) * strides[ci];
                if (blockWidths[ci] == widths[ci]) {
                    rows[ci][k] = const_cast<JSAMPROW>(row);
                    continue;
                }
                // A row that ends inside a block is carried on with its last sample.
                uchar* copy = (*job.padded)[size_t(ci)].data() + qsizetype(k) * blockWidths[ci];
                std::memcpy(copy, row, size_t(widths[ci]));
                std::memset(copy + widths[ci], row[widths[ci] - 1],
                            size_t(blockWidths[ci] - widths[ci]));
                rows[ci][k] = copy;
            }
        }
        jpeg_write_raw_data(&writer, planes, JDIMENSION(writer.max_v_samp_factor * DCTSIZE));
    }
    jpeg_finish_compress(&writer);
    jpeg_destroy_compress(&writer);
    job.done = true;
}

}  // namespace

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
        std::array<QSize, 3> sizes;
        for (int i = 0; i < count; ++i) {
            sizes[size_t(i)] =
                QSize(tjPlaneWidth(i, width, subsampling), tjPlaneHeight(i, height, subsampling));
        }
        std::array<QImage, 3> buffers;
        std::array<QImage, 3> moved;
        PlaneReading reading{data, size, count, move, sizes, &buffers, &moved, {}, false};
        readPlanes(reading);
        if (!reading.done) {
            return std::nullopt;
        }
        for (int i = 0; i < count; ++i) {
            const QImage& buffer = buffers[size_t(i)];
            const QSize plane = sizes[size_t(i)];
            if (move != PixelMove{}) {
                planar.planes.push_back(std::move(moved[size_t(i)]));
            } else if (buffer.width() >= plane.width() && buffer.height() >= plane.height()) {
                planar.planes.push_back(viewOf(buffer, plane.width(), plane.height()));
            } else {
                return std::nullopt;
            }
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

QByteArray compressPlanes(const PlanarJpeg& planar, int quality, QString* failure) {
    QByteArray output;
    std::array<std::vector<uchar>, 3> padded;
    qsizetype samples = 0;
    for (const QImage& plane : planar.planes) {
        samples += qsizetype(plane.width()) * plane.height();
    }
    try {
        output = QByteArray(samples / 4 + 65536, Qt::Uninitialized);
        for (size_t i = 0; i < planar.planes.size() && i < padded.size(); ++i) {
            // A row of blocks and coding units, for planes whose rows end inside a block.
            const int width = planar.planes[i].width();
            padded[i].resize(size_t(width + DCTSIZE * MAX_SAMP_FACTOR) * MaxUnitRows);
        }
    } catch (const std::bad_alloc&) {
        *failure = QStringLiteral("out of memory");
        return {};
    }
    PlaneWriting writing{&planar, quality, &output, &padded, {}, false};
    writePlanes(writing);
    if (!writing.done) {
        *failure = QString::fromLatin1(writing.listener.damage);
        return {};
    }
    return output;
}

}  // namespace zentavo
