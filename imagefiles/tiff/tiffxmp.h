#pragma once

#include <QByteArray>

namespace zentavo {

// tiff with xmp (an XMP packet, as it is) in its first directory, which libtiff writes again at
// the end; tiff unchanged when xmp is empty. exiv2, which writes the rest of a TIFF's metadata,
// writes a packet only from its own parse of it: serialised anew, without rdf:about, in its own
// layout. Throws WriteFailure. Reentrant.
QByteArray withXmpPacket(QByteArray tiff, const QByteArray& xmp);

}  // namespace zentavo
