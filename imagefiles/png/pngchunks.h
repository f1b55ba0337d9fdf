#pragma once

#include "imagefiles/metadata/metadata.h"

#include <QByteArray>

#include <functional>
#include <vector>

namespace zentavo {

// What libspng 0.7.3 (Debian 12's) does not give of a PNG: it keeps only the first chunk it does
// not know, and it has no call for the animation control chunk or for leaving text out. The
// chunks are walked here instead, every length checked against the buffer and every checksum
// with zlib's crc32.

// Calls visit(type, data, whole chunk) for each chunk after the signature, in file order, until
// IEND, the end of the bytes, a length that runs past them, or visit returning false. A chunk
// whose checksum is wrong is passed with intact false (image data is passed as intact: libspng
// checks it).
void forEachPngChunk(const QByteArray& png,
                     const std::function<bool(QByteArrayView type, QByteArrayView data,
                                              QByteArrayView whole, bool intact)>& visit);

// The intact chunks of a PNG that the program keeps without reading them: cICP, mDCV and cLLI
// (colour facts that no flip or turn changes) and the ancillary chunks marked safe to copy that
// neither libspng nor the program knows, with where they stood.
std::vector<PngChunk> keptPngChunks(const QByteArray& png);

}  // namespace zentavo
