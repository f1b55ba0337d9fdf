#pragma once

#include "imagefiles/jpeg/libjpeg.h"
#include "imagefiles/picture/pixelpool.h"

#include <memory>
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

// Makes codec take its coefficient arrays from memory (which must outlive it), through libjpeg's
// memory manager hooks.
void useBlockMemory(j_common_ptr codec, BlockMemory& memory);

// libjpeg's request for a coefficient array, as the hook answers it: the array is realised with
// the others of its codec. Jumps to the codec's error exit when memory runs out.
jvirt_barray_ptr requestBlocks(j_common_ptr codec, int pool, boolean preZero,
                               JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION);

// Makes every row of array defined, for reading it directly: rows no scan reached are zero.
void defineAll(jvirt_barray_control& array);

}  // namespace zentavo
