#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QSize>

#include <span>

namespace zentavo {

// One file format the loader reads: how its files are recognised and how they are decoded.
// Each format's folder provides the functions; the registry lists them. All are reentrant.
struct PictureDecoder {
    PictureFormat format;
    // Whether bytes (the whole file, or at least its first bytes) start as this format's do.
    bool (*recognises)(const QByteArray& bytes);
    // Decodes a whole file in memory. Checks the header against picture/limits.h before
    // allocating pixels and reports damaged data as LoadError::Corrupt.
    LoadResult (*decode)(const QByteArray& bytes);
    // The stored pixel size from the header alone (before any orientation), invalid when
    // unreadable; null for formats whose size Qt's image reader probes.
    QSize (*headerSize)(const QByteArray& bytes);
};

// The registry: every format the loader reads, in the order their signatures are tried.
std::span<const PictureDecoder> pictureDecoders();

// The decoder whose format's signature bytes start with, from the content, not from any name;
// null when no format the program reads matches.
const PictureDecoder* recognisedDecoder(const QByteArray& bytes);

// The picture format of bytes, from their first bytes; PictureFormat::None when no format the
// program reads matches.
PictureFormat sniffFormat(const QByteArray& bytes);

}  // namespace zentavo
