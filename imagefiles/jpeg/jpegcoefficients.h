#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace zentavo {

// A flip or right-angle turn as a move of a JPEG's coefficient blocks, said in the input's axes:
// the block at row r and column c of the output comes from row c and column r of the input when
// transpose is set (else from row r and column c), counted from the far end of the input's
// columns when mirrorColumns is set and of its rows when mirrorRows is set.
struct BlockMove {
    bool transpose = false;
    bool mirrorColumns = false;
    bool mirrorRows = false;
};

enum class BlockMoveVerdict {
    Moved,       // jpeg holds the result
    NotPerfect,  // an edge that moves does not fall on whole coding blocks; nothing was made
    Unreadable,  // the header cannot be read
    TooLarge,    // more coefficients than the program holds
    Failed,      // the decoder or encoder stopped with an error
    Damaged,     // the entropy data has gaps (cut off, bad codes); never copied into an output
};

struct MovedJpeg {
    BlockMoveVerdict verdict = BlockMoveVerdict::Failed;
    QByteArray jpeg;
    QString words;   // the library's words for Unreadable, Failed and Damaged
    QImage preview;  // when asked for: see moveJpegBlocks
};

// Moves the blocks of a JPEG stream losslessly: the coefficients are read, moved with their
// signs and transposed inside each block as the move needs, and written again with the input's
// quantisation tables (transposed with the blocks), sampling (swapped), colour space,
// progressive or sequential and arithmetic or Huffman coding, and every APPn and COM segment.
// A progressive input with more than 500 scans is refused as Failed. With a previewSide, a grey,
// YCbCr or RGB output whose eighth is at least that long also comes with its preview: the
// picture at an eighth of its size, one pixel a block, drawn from the DC coefficients as a
// decoder scaling by 1/8 draws it, without decoding the output again. Reentrant: any thread.
MovedJpeg moveJpegBlocks(const QByteArray& jpeg, BlockMove move, int previewSide = 0);

}  // namespace zentavo
