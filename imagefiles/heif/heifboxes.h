#pragma once

#include "imagefiles/picture/pixelmove.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

namespace zentavo::heif {

// The box structure of a HEIF file (ISO base media boxes: ftyp, meta with pitm, iloc, iinf,
// iref, iprp, and the media data), read and edited without a codec. Every length is checked
// against its container; nothing here decodes or changes coded image data.

// What turning a HEIF's primary image by its transform properties gave.
struct TransformEdit {
    QByteArray bytes;          // the edited file; empty when refused
    QString refusal;           // why the file was not edited, in a sentence; empty when it was
    int orientation = 1;       // the EXIF orientation (1 to 8) that shows the coded image as the
                               // new irot and imir properties do
    bool axesSwapped = false;  // the shown picture's rows are the stored picture's columns
};

// The file bytes with its primary image (and the thumbnails that belong to it) shown after
// move: the item's irot and imir properties are composed with move and written anew as one
// essential irot and one essential imir, properties that no other item uses stay as they were,
// and the item locations (iloc) of data behind the meta box are moved by as many bytes as the
// meta box grew. An EXIF orientation (IFD0) and an XMP tiff:Orientation in the file are set to
// agree with the new properties, in place. Every other byte is copied: the coded image data are
// identical. Refused, never guessed, for anything it does not fully understand: damaged or
// truncated boxes, image sequences (moov), a clean aperture after a turn, offsets it cannot
// move. Reentrant: any thread.
TransformEdit editPrimaryTransform(const QByteArray& bytes, PixelMove move);

// The move that shows the primary image: its irot and imir properties composed in order; none
// when the boxes cannot be read or a clean aperture (clap) is among its transforms.
std::optional<PixelMove> primaryTransform(const QByteArray& bytes);

// The stored size of the primary image (its ispe property, before its transforms); invalid when
// the boxes that say it are not all within bytes or are damaged.
QSize primaryStoredSize(const QByteArray& bytes);

}  // namespace zentavo::heif
