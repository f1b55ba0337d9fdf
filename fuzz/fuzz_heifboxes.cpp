// Fuzz target: the HEIF box editor on any bytes, with one of the eight moves. A refusal gives a
// reason and no bytes; an edit keeps the primary image's stored size, and can be undone by the
// inverse move, which leaves the orientation the file had.

#include "fuzz/fuzzcheck.h"
#include "imagefiles/heif/heifboxes.h"

#include <cstddef>
#include <cstdint>

using namespace zentavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte chooses the move; the rest is the file.
    const PixelMove move{data[0] & 3, (data[0] & 4) != 0};
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const heif::TransformEdit edited = heif::editPrimaryTransform(bytes, move);
    if (edited.bytes.isEmpty()) {
        fuzz::check(!edited.refusal.isEmpty(), "a refused edit gives a reason");
        return 0;
    }
    fuzz::check(edited.refusal.isEmpty(), "an edit that was made is not refused");
    fuzz::check(edited.orientation >= 1 && edited.orientation <= 8, "the orientation is 1 to 8");
    fuzz::check(heif::primaryStoredSize(edited.bytes) == heif::primaryStoredSize(bytes),
                "the stored size stays");
    // Offsets close to 4 GB may leave room for one edit and not another: only edits that were
    // made are compared.
    const heif::TransformEdit unchanged = heif::editPrimaryTransform(bytes, PixelMove{});
    if (unchanged.bytes.isEmpty()) {
        fuzz::check(!unchanged.refusal.isEmpty(), "a refused edit gives a reason");
        return 0;
    }
    // The move that undoes move: its inverse among the eight.
    PixelMove inverse;
    for (int turns = 0; turns < 4; ++turns) {
        for (const bool mirrored : {false, true}) {
            if (move.then(PixelMove{turns, mirrored}) == PixelMove{}) {
                inverse = PixelMove{turns, mirrored};
            }
        }
    }
    const heif::TransformEdit undone = heif::editPrimaryTransform(edited.bytes, inverse);
    if (undone.bytes.isEmpty()) {
        fuzz::check(undone.refusal.startsWith(QLatin1String("An item's place")),
                    "an edited file can be edited again unless its offsets run out");
        return 0;
    }
    fuzz::check(undone.orientation == unchanged.orientation, "the inverse move undoes the move");
    return 0;
}
