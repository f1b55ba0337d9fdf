#pragma once

#include <QByteArray>

namespace zentavo {

// Codes a JPEG stream's entropy data again with arithmetic coding, sequential or progressive,
// keeping its coefficients, quantisation tables and every marker segment: the pixels stay
// exactly as they were. For streams that were arithmetic-coded before a lossless transform,
// which writes Huffman coding. Empty when the stream cannot be read or written. Never throws.
// Reentrant: any thread.
QByteArray withArithmeticCoding(const QByteArray& jpeg, bool progressive);

}  // namespace zentavo
