#include "imagefiles/jpeg/jpegcoefficients.h"

#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/pixelpool.h"

// after jpeglib.h, whose types it names
#include <jerror.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// libjpeg leaves this type to its memory manager. The arrays made here are reached only through
// the hooks below, which the library calls for every access.
struct jvirt_barray_control {
    j_common_ptr owner;
    JDIMENSION blocksPerRow;
    JDIMENSION rows;
    bool preZero;
    JBLOCKROW* rowPointers;  // null until the array is realised
    // Rows from here on hold nothing yet; a pre-zeroed array is zeroed as they are first reached,
    // so that the decoder writes into rows still in the cache.
    JDIMENSION firstUndefinedRow;
};

namespace zentavo {

namespace {

// The coefficient memory of one move, shared by its reader and its writer. libjpeg's own manager
// takes fresh memory for every file; this one takes the pixel pool's large buffers, already
// faulted in and backed by huge pages. The entropy coder touches every block of the picture, and
// on 4 KiB pages about a tenth of its time went to translation-buffer misses and page faults.
struct BlockMemory {
    struct Realised {
        j_common_ptr owner;
        PooledBuffer blocks;
        std::vector<JBLOCKROW> rows;
    };
    std::vector<std::unique_ptr<jvirt_barray_control>> arrays;
    std::vector<Realised> realised;
    // libjpeg's own methods, still used for everything but the block arrays
    void (*realizeOwn)(j_common_ptr) = nullptr;
    void (*freePoolOwn)(j_common_ptr, int) = nullptr;
    void (*selfDestructOwn)(j_common_ptr) = nullptr;

    void release(j_common_ptr owner) noexcept {
        std::erase_if(realised, [owner](const Realised& r) { return r.owner == owner; });
        std::erase_if(arrays, [owner](const auto& array) { return array->owner == owner; });
    }

    // Gives every unrealised array of owner its memory, all in one pooled buffer.
    bool realise(j_common_ptr owner) noexcept {
        try {
            qsizetype blocks = 0;
            qsizetype rows = 0;
            for (const auto& array : arrays) {
                if (array->owner == owner && !array->rowPointers) {
                    blocks += qsizetype(array->blocksPerRow) * array->rows;
                    rows += array->rows;
                }
            }
            if (rows == 0) {
                return true;
            }
            Realised made{owner, PooledBuffer(blocks * qsizetype(sizeof(JBLOCK))), {}};
            if (!made.blocks.data()) {
                return false;
            }
            made.rows.resize(size_t(rows));
            JBLOCKROW next = static_cast<JBLOCKROW>(made.blocks.data());
            JBLOCKROW* row = made.rows.data();
            for (const auto& array : arrays) {
                if (array->owner != owner || array->rowPointers) {
                    continue;
                }
                array->rowPointers = row;
                const qsizetype arrayBlocks = qsizetype(array->blocksPerRow) * array->rows;
                for (JDIMENSION r = 0; r < array->rows; ++r) {
                    *row++ = next + qsizetype(r) * array->blocksPerRow;
                }
                next += arrayBlocks;
            }
            realised.push_back(std::move(made));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
};

BlockMemory& memoryOf(j_common_ptr codec) {
    return *static_cast<BlockMemory*>(codec->client_data);
}

jvirt_barray_ptr requestBlocks(j_common_ptr codec, int pool, boolean preZero,
                               JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION) {
    if (pool != JPOOL_IMAGE) {
        ERREXIT1(codec, JERR_BAD_POOL_ID, pool);
    }
    jvirt_barray_control* made = nullptr;
    try {
        auto array = std::make_unique<jvirt_barray_control>(
            jvirt_barray_control{codec, blocksPerRow, rows, preZero != FALSE, nullptr, 0});
        made = array.get();
        memoryOf(codec).arrays.push_back(std::move(array));
    } catch (const std::bad_alloc&) {
        made = nullptr;
    }
    if (!made) {
        outOfJpegMemory(codec);  // outside the handler: the jump must not leave an exception behind
    }
    return made;
}

void realizeBlocks(j_common_ptr codec) {
    BlockMemory& memory = memoryOf(codec);
    memory.realizeOwn(codec);
    if (!memory.realise(codec)) {
        outOfJpegMemory(codec);
    }
}

void zeroRows(const jvirt_barray_control& array, JDIMENSION from, JDIMENSION to) {
    for (JDIMENSION r = from; r < to; ++r) {
        std::memset(array.rowPointers[r], 0, size_t(array.blocksPerRow) * sizeof(JBLOCK));
    }
}

// As libjpeg's own manager: a writer goes on from the defined rows, a reader may look ahead
// into a pre-zeroed array.
JBLOCKARRAY accessBlocks(j_common_ptr codec, jvirt_barray_ptr array, JDIMENSION startRow,
                         JDIMENSION rows, boolean writable) {
    if (!array->rowPointers || startRow > array->rows || rows > array->rows - startRow) {
        ERREXIT(codec, JERR_BAD_VIRTUAL_ACCESS);
    }
    const JDIMENSION end = startRow + rows;
    if (array->firstUndefinedRow < end) {
        if (array->firstUndefinedRow < startRow && writable) {
            ERREXIT(codec, JERR_BAD_VIRTUAL_ACCESS);  // a writer skipped rows
        }
        const JDIMENSION from = std::max(array->firstUndefinedRow, startRow);
        if (writable) {
            array->firstUndefinedRow = end;
        }
        if (array->preZero) {
            zeroRows(*array, from, end);
        } else if (!writable) {
            ERREXIT(codec, JERR_BAD_VIRTUAL_ACCESS);  // a reader looking at nothing
        }
    }
    return array->rowPointers + startRow;
}

// Makes every row of array defined, for reading it directly: rows no scan reached are zero.
void defineAll(jvirt_barray_control& array) {
    if (array.preZero) {
        zeroRows(array, array.firstUndefinedRow, array.rows);
    }
    array.firstUndefinedRow = array.rows;
}

void freeBlocks(j_common_ptr codec, int pool) {
    BlockMemory& memory = memoryOf(codec);
    if (pool == JPOOL_IMAGE) {
        memory.release(codec);
    }
    memory.freePoolOwn(codec, pool);
}

void destroyBlocks(j_common_ptr codec) {
    BlockMemory& memory = memoryOf(codec);
    memory.release(codec);
    memory.selfDestructOwn(codec);
}

void useBlockMemory(j_common_ptr codec, BlockMemory& memory) {
    codec->client_data = &memory;
    jpeg_memory_mgr* manager = codec->mem;
    memory.realizeOwn = manager->realize_virt_arrays;
    memory.freePoolOwn = manager->free_pool;
    memory.selfDestructOwn = manager->self_destruct;
    manager->request_virt_barray = requestBlocks;
    manager->realize_virt_arrays = realizeBlocks;
    manager->access_virt_barray = accessBlocks;
    manager->free_pool = freeBlocks;
    manager->self_destruct = destroyBlocks;
}

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

bool isSegment(const jpeg_saved_marker_ptr marker, int code, const char* signature) {
    const std::size_t length = std::strlen(signature) + 1;
    return marker->marker == code && marker->data_length >= length &&
           std::memcmp(marker->data, signature, length) == 0;
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
    JpegListener listener;
    BlockMoveVerdict verdict;
};

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
    for (int app = 0; app < 16; ++app) {
        jpeg_save_markers(&reader, JPEG_APP0 + app, 0xFFFF);
    }
    jpeg_save_markers(&reader, JPEG_COM, 0xFFFF);
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

    writeIntoByteArray(&writer, destination, job.output);
    jpeg_write_coefficients(&writer, targets);
    for (jpeg_saved_marker_ptr marker = reader.marker_list; marker; marker = marker->next) {
        // The writer makes its own JFIF and Adobe segments.
        if ((writer.write_JFIF_header && isSegment(marker, JPEG_APP0, "JFIF")) ||
            (writer.write_Adobe_marker && isSegment(marker, JPEG_APP0 + 14, "Adobe"))) {
            continue;
        }
        jpeg_write_marker(&writer, marker->marker, marker->data, marker->data_length);
    }
    jpeg_finish_compress(&writer);
    jpeg_destroy_compress(&writer);
    writerMade = false;
    jpeg_finish_decompress(&reader);
    jpeg_destroy_decompress(&reader);
    if (job.listener.damaged) {
        job.verdict = BlockMoveVerdict::Damaged;
    }
}

}  // namespace

MovedJpeg moveJpegBlocks(const QByteArray& jpeg, BlockMove move, int previewSide) {
    BlockMemory memory;
    MovedJpeg result;
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
            previewSide > 0 ? &result.preview : nullptr,
            previewSide,
            {},
            BlockMoveVerdict::Moved};
    run(job);
    result.verdict = job.verdict;
    if (result.verdict != BlockMoveVerdict::Moved) {
        result.jpeg = QByteArray();
        result.preview = QImage();
        result.words = QString::fromLatin1(job.listener.damage);
    }
    return result;
}

}  // namespace zentavo
