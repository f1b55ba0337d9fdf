#include "imagefiles/jpeg/jpegcoefficients.h"

#include "imagefiles/jpeg/jpegblockmemory.h"
#include "imagefiles/jpeg/jpegmarkers.h"
#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"

// after jpeglib.h, whose types it names
#include <jerror.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace zentavo {

namespace {

// Which coefficients of an output block change sign: all ones where they do, zero elsewhere.
// Mirroring the input's columns negates its odd horizontal frequencies, its rows the odd
// vertical ones; a transposed block has the two swapped.
std::array<JCOEF, DCTSIZE2> signMasks(BlockMove move) {
    std::array<JCOEF, DCTSIZE2> masks{};
    for (int i = 0; i < DCTSIZE; ++i) {
        for (int j = 0; j < DCTSIZE; ++j) {
            const int inputRow = move.transpose ? j : i;
            const int inputColumn = move.transpose ? i : j;
            const bool negate = (move.mirrorColumns && inputColumn % 2 == 1) !=
                                (move.mirrorRows && inputRow % 2 == 1);
            masks[size_t(i * DCTSIZE + j)] = negate ? JCOEF(-1) : JCOEF(0);
        }
    }
    return masks;
}

// x when mask is 0, -x when it is all ones.
inline JCOEF withSign(JCOEF x, JCOEF mask) {
    return JCOEF((x ^ mask) - mask);
}

// The moves that keep the axes pair each block with its mirror image and swap the two, in place.
void moveInPlace(const jvirt_barray_control& blocks, JDIMENSION width, JDIMENSION height,
                 BlockMove move, const std::array<JCOEF, DCTSIZE2>& masks) {
    const auto partnerOf = [](bool mirror, JDIMENSION at, JDIMENSION extent) {
        return mirror && at < extent ? extent - 1 - at : at;
    };
    // Through local copies, which the compiler knows apart and moves a vector at a time.
    JBLOCK first;
    JBLOCK second;
    for (JDIMENSION r = 0; r < blocks.rows; ++r) {
        const JDIMENSION pr = partnerOf(move.mirrorRows, r, height);
        if (pr < r) {
            continue;  // swapped with its partner row already
        }
        JBLOCKROW row = blocks.rowPointers[r];
        JBLOCKROW partnerRow = blocks.rowPointers[pr];
        for (JDIMENSION c = 0; c < blocks.blocksPerRow; ++c) {
            const JDIMENSION pc = partnerOf(move.mirrorColumns, c, width);
            if (pr == r && pc < c) {
                continue;
            }
            std::memcpy(first, row[c], sizeof(JBLOCK));
            std::memcpy(second, partnerRow[pc], sizeof(JBLOCK));
            for (int k = 0; k < DCTSIZE2; ++k) {
                const JCOEF mask = masks[size_t(k)];
                const JCOEF a = first[k];
                first[k] = withSign(second[k], mask);
                second[k] = withSign(a, mask);
            }
            std::memcpy(partnerRow[pc], second, sizeof(JBLOCK));
            std::memcpy(row[c], first, sizeof(JBLOCK));  // last: the same block when unpaired
        }
    }
}

void moveTransposed(const jvirt_barray_control& source, const jvirt_barray_control& target,
                    JDIMENSION width, JDIMENSION height, BlockMove move,
                    const std::array<JCOEF, DCTSIZE2>& masks) {
    for (JDIMENSION r = 0; r < target.rows; ++r) {
        const JDIMENSION sourceColumn = move.mirrorColumns && r < width ? width - 1 - r : r;
        JBLOCKROW out = target.rowPointers[r];
        for (JDIMENSION c = 0; c < target.blocksPerRow; ++c) {
            const JDIMENSION sourceRow = move.mirrorRows && c < height ? height - 1 - c : c;
            const JCOEF* in = source.rowPointers[sourceRow][sourceColumn];
            JCOEF* block = out[c];
            for (int i = 0; i < DCTSIZE; ++i) {
                for (int j = 0; j < DCTSIZE; ++j) {
                    block[i * DCTSIZE + j] =
                        withSign(in[j * DCTSIZE + i], masks[size_t(i * DCTSIZE + j)]);
                }
            }
        }
    }
}

// True when every edge that moves falls on whole coding units: a mirrored axis must hold a
// whole number of them, or the partial one would come to the front.
bool isPerfect(const jpeg_decompress_struct& reader, BlockMove move) {
    const bool single = reader.num_components == 1;
    const JDIMENSION unitWidth = DCTSIZE * JDIMENSION(single ? 1 : reader.max_h_samp_factor);
    const JDIMENSION unitHeight = DCTSIZE * JDIMENSION(single ? 1 : reader.max_v_samp_factor);
    return !(move.mirrorColumns && reader.image_width % unitWidth != 0) &&
           !(move.mirrorRows && reader.image_height % unitHeight != 0);
}

// The writer's parameters for the moved blocks: a transposed picture swaps its sides, the
// sampling factors and each quantisation table.
void transposeParameters(jpeg_compress_struct& writer) {
    std::swap(writer.image_width, writer.image_height);
    for (int ci = 0; ci < writer.num_components; ++ci) {
        std::swap(writer.comp_info[ci].h_samp_factor, writer.comp_info[ci].v_samp_factor);
    }
    for (JQUANT_TBL* table : writer.quant_tbl_ptrs) {
        if (!table) {
            continue;
        }
        for (int i = 0; i < DCTSIZE; ++i) {
            for (int j = i + 1; j < DCTSIZE; ++j) {
                std::swap(table->quantval[i * DCTSIZE + j], table->quantval[j * DCTSIZE + i]);
            }
        }
    }
}

int clampSample(int value) {
    return std::clamp(value, 0, 255);
}

// See moveJpegBlocks. blocks are the moved arrays, laid out as the output.
QImage dcPreview(const jpeg_decompress_struct& reader, const jpeg_compress_struct& writer,
                 const jvirt_barray_ptr* blocks) {
    const int components = reader.num_components;
    const bool grey = components == 1;
    const bool ycc = components == 3 && reader.jpeg_color_space == JCS_YCbCr;
    const bool rgb = components == 3 && reader.jpeg_color_space == JCS_RGB;
    if (!grey && !ycc && !rgb) {
        return {};
    }
    int maxH = 1;
    int maxV = 1;
    std::array<int, 3> dcQuant{};
    for (int ci = 0; ci < components; ++ci) {
        const JQUANT_TBL* table = reader.comp_info[ci].quant_table;
        if (!table) {
            return {};  // a component no scan carried
        }
        dcQuant[size_t(ci)] = table->quantval[0];
        maxH = std::max(maxH, writer.comp_info[ci].h_samp_factor);
        maxV = std::max(maxV, writer.comp_info[ci].v_samp_factor);
    }
    const int width = int((writer.image_width + DCTSIZE - 1) / DCTSIZE);
    const int height = int((writer.image_height + DCTSIZE - 1) / DCTSIZE);
    QImage preview(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (preview.isNull()) {
        return {};
    }
    std::array<int, 3> sample{};
    for (int y = 0; y < height; ++y) {
        uchar* line = preview.scanLine(y);
        for (int x = 0; x < width; ++x) {
            for (int ci = 0; ci < components; ++ci) {
                const jpeg_component_info& component = writer.comp_info[ci];
                const jvirt_barray_control& array = *blocks[ci];
                const JDIMENSION bx =
                    std::min<JDIMENSION>(JDIMENSION(grey ? x : x * component.h_samp_factor / maxH),
                                         array.blocksPerRow - 1);
                const JDIMENSION by = std::min<JDIMENSION>(
                    JDIMENSION(grey ? y : y * component.v_samp_factor / maxV), array.rows - 1);
                const int dc = array.rowPointers[by][bx][0] * dcQuant[size_t(ci)];
                // The 1 x 1 inverse DCT: the block's mean, rounded as libjpeg rounds it.
                sample[size_t(ci)] = clampSample(((dc + 4) >> 3) + 128);
            }
            if (grey) {
                line[x] = uchar(sample[0]);
                continue;
            }
            int r = sample[0];
            int g = sample[1];
            int b = sample[2];
            if (ycc) {
                // YCbCr to RGB in 16.16 fixed point, as JPEG defines it.
                const int cb = sample[1] - 128;
                const int cr = sample[2] - 128;
                r = clampSample(sample[0] + ((91881 * cr + 32768) >> 16));
                g = clampSample(sample[0] - ((22554 * cb + 46802 * cr - 32768) >> 16));
                b = clampSample(sample[0] + ((116130 * cb + 32768) >> 16));
            }
            line[3 * x] = uchar(r);
            line[3 * x + 1] = uchar(g);
            line[3 * x + 2] = uchar(b);
        }
    }
    return preview;
}

enum class Step { Started, HeaderRead, CoefficientsRead };

struct Job {
    const unsigned char* data;
    unsigned long size;
    BlockMove move;
    BlockMemory* memory;
    QByteArray* output;
    QImage* preview;  // null when none is asked for
    int previewSide;
    const JpegSegmentsFor* segmentsFor;
    JpegMetadataOutput* segments;
    QString* metadataFailure;  // set when segmentsFor threw
    QByteArray* iccProfile;    // the input's profile, for the output
    JpegListener listener;
    BlockMoveVerdict verdict;
};

// The input's ICC profile, copied out of libjpeg's memory; false when memory runs out.
bool readProfile(Job& job, j_decompress_ptr reader) {
    JOCTET* profile = nullptr;
    unsigned int size = 0;
    jpeg_read_icc_profile(reader, &profile, &size);
    bool copied = true;
    try {
        *job.iccProfile = profile
                              ? QByteArray(reinterpret_cast<const char*>(profile), qsizetype(size))
                              : QByteArray();
    } catch (const std::bad_alloc&) {
        *job.metadataFailure = QStringLiteral("Not enough memory to write the metadata");
        copied = false;
    }
    std::free(profile);
    return copied;
}

// The segments of the output, asked for outside libjpeg's jumps: a failure is kept in words.
bool askSegments(Job& job, QSize size) {
    try {
        *job.segments = (*job.segmentsFor)(size, job.preview ? *job.preview : QImage());
        return true;
    } catch (const WriteFailure& failure) {
        *job.metadataFailure = failure.reason;
    } catch (const std::bad_alloc&) {
        *job.metadataFailure = QStringLiteral("Not enough memory to write the metadata");
    }
    return false;
}

// Plain data and C calls only between setjmp and the end: the jump skips destructors.
void run(Job& job) {
    jpeg_decompress_struct reader;
    jpeg_compress_struct writer;
    jpeg_progress_mgr progress{};
    ByteArrayDestination destination{};
    jvirt_barray_ptr targets[MAX_COMPONENTS] = {};
    volatile Step step = Step::Started;
    volatile bool writerMade = false;
    reader.err = listenToJpeg(job.listener);
    writer.err = &job.listener.manager;
    if (setjmp(job.listener.fatal)) {
        if (writerMade) {
            jpeg_destroy_compress(&writer);
        }
        jpeg_destroy_decompress(&reader);
        job.verdict = step == Step::Started ? BlockMoveVerdict::Unreadable
                      : job.listener.failed ? BlockMoveVerdict::Failed
                                            : BlockMoveVerdict::Damaged;
        return;
    }
    jpeg_create_decompress(&reader);
    useBlockMemory(reinterpret_cast<j_common_ptr>(&reader), *job.memory);
    limitScans(&reader, progress);
    jpeg_mem_src(&reader, job.data, job.size);
    // The ICC profile is written again from its segments; the rest comes from segmentsFor.
    jpeg_save_markers(&reader, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&reader, TRUE);
    step = Step::HeaderRead;
    // The coefficients of the whole picture are held, two bytes a sample.
    if (!limits::decodedSizeAllowed(reader.image_width, reader.image_height,
                                    2 * reader.num_components)) {
        job.verdict = BlockMoveVerdict::TooLarge;
    } else if (!isPerfect(reader, job.move)) {
        job.verdict = BlockMoveVerdict::NotPerfect;
    }
    if (job.verdict != BlockMoveVerdict::Moved) {
        jpeg_destroy_decompress(&reader);
        return;
    }
    jvirt_barray_ptr* sources = jpeg_read_coefficients(&reader);
    step = Step::CoefficientsRead;
    if (job.listener.damaged) {
        std::longjmp(job.listener.fatal, 1);
    }

    jpeg_create_compress(&writer);
    writerMade = true;
    useBlockMemory(reinterpret_cast<j_common_ptr>(&writer), *job.memory);
    jpeg_copy_critical_parameters(&reader, &writer);
    if (job.move.transpose) {
        transposeParameters(writer);
    }
    writer.arith_code = reader.arith_code;
    if (reader.progressive_mode) {
        jpeg_simple_progression(&writer);
    }

    const std::array<JCOEF, DCTSIZE2> masks = signMasks(job.move);
    for (int ci = 0; ci < reader.num_components; ++ci) {
        defineAll(*sources[ci]);
    }
    for (int ci = 0; ci < reader.num_components; ++ci) {
        const jpeg_component_info& component = reader.comp_info[ci];
        if (!job.move.transpose) {
            targets[ci] = sources[ci];
            moveInPlace(*sources[ci], component.width_in_blocks, component.height_in_blocks,
                        job.move, masks);
            continue;
        }
        targets[ci] = requestBlocks(reinterpret_cast<j_common_ptr>(&writer), JPOOL_IMAGE, FALSE,
                                    sources[ci]->rows, sources[ci]->blocksPerRow, 1);
    }
    if (job.move.transpose) {
        if (!job.memory->realise(reinterpret_cast<j_common_ptr>(&writer))) {
            outOfJpegMemory(reinterpret_cast<j_common_ptr>(&writer));
        }
        for (int ci = 0; ci < reader.num_components; ++ci) {
            moveTransposed(*sources[ci], *targets[ci], reader.comp_info[ci].width_in_blocks,
                           reader.comp_info[ci].height_in_blocks, job.move, masks);
            targets[ci]->firstUndefinedRow = targets[ci]->rows;
        }
    }

    if (job.preview &&
        (std::max(writer.image_width, writer.image_height) + DCTSIZE - 1) / DCTSIZE >=
            JDIMENSION(job.previewSide)) {
        *job.preview = dcPreview(reader, writer, targets);
    }

    if (!readProfile(job, &reader) ||
        !askSegments(job, QSize(int(writer.image_width), int(writer.image_height)))) {
        jpeg_destroy_compress(&writer);
        jpeg_destroy_decompress(&reader);
        job.verdict = BlockMoveVerdict::Failed;
        return;
    }
    setJfifDensity(&writer, job.segments->density);
    writeIntoByteArray(&writer, destination, job.output);
    jpeg_write_coefficients(&writer, targets);
    writeJpegSegments(&writer, *job.segments, *job.iccProfile);
    jpeg_finish_compress(&writer);
    jpeg_destroy_compress(&writer);
    writerMade = false;
    jpeg_finish_decompress(&reader);
    if (job.segments->keepTrailer) {
        job.output->append(unreadJpegBytes(&reader));
    }
    jpeg_destroy_decompress(&reader);
    if (job.listener.damaged) {
        job.verdict = BlockMoveVerdict::Damaged;
    }
}

}  // namespace

MovedJpeg moveJpegBlocks(const QByteArray& jpeg, BlockMove move, int previewSide,
                         const JpegSegmentsFor& segmentsFor) {
    BlockMemory memory;
    MovedJpeg result;
    QImage preview;
    JpegMetadataOutput segments;
    QString metadataFailure;
    QByteArray iccProfile;
    try {
        // About the input's length; the writer grows it when a table or a scan takes more.
        result.jpeg = QByteArray(jpeg.size() + (qsizetype(64) << 10), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        result.words = QStringLiteral("out of memory");
        return result;
    }
    Job job{reinterpret_cast<const unsigned char*>(jpeg.constData()),
            static_cast<unsigned long>(jpeg.size()),
            move,
            &memory,
            &result.jpeg,
            previewSide > 0 ? &preview : nullptr,
            previewSide,
            &segmentsFor,
            &segments,
            &metadataFailure,
            &iccProfile,
            {},
            BlockMoveVerdict::Moved};
    run(job);
    result.verdict = job.verdict;
    if (result.verdict != BlockMoveVerdict::Moved) {
        result.jpeg = QByteArray();
        result.metadataFailed = !metadataFailure.isEmpty();
        result.words =
            result.metadataFailed ? metadataFailure : QString::fromLatin1(job.listener.damage);
    }
    return result;
}

}  // namespace zentavo
