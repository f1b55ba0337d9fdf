#include "imagefiles/jpeg/jpegblockmemory.h"

// after jpeglib.h, whose types it names
#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace zentavo {

namespace {

BlockMemory& memoryOf(j_common_ptr codec) {
    return *static_cast<BlockMemory*>(codec->client_data);
}

}  // namespace

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

namespace {

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

}  // namespace

void defineAll(jvirt_barray_control& array) {
    if (array.preZero) {
        zeroRows(array, array.firstUndefinedRow, array.rows);
    }
    array.firstUndefinedRow = array.rows;
}

namespace {

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

}  // namespace

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

}  // namespace zentavo
