#pragma once

#include "imagefiles/jpeg/jpegplanes.h"
#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QString>

namespace zentavo {

// Writes picture to fileName as a baseline JPEG at quality 1 to 100 (TurboJPEG with the
// accurate DCT, so the file matches what other libjpeg-based tools write at that quality).
// The chroma subsampling of a JPEG input is kept; other pictures get 4:2:0, grey ones a grey
// JPEG. Alpha is composed onto white, 16-bit samples are reduced to 8, and an ICC profile read
// with the picture is written as APP2 "ICC_PROFILE" markers.
//
// The file is written under a temporary name and renamed over fileName at the end, so an
// existing file of that name is replaced whole or left untouched (see AtomicFile).
//
// Failure raises ZentavoError(ErrorNumber::CannotSave, "Cannot save the image. GDI+ Error:<n>")
// with n from the table in gdiplusstatus.h: 7 when the file cannot be created or written,
// 3 out of memory, 1 encoder failure, 2 an empty picture or a quality outside 1 to 100.
// Out of memory with status given is silent: *status becomes true (it is never cleared).
// Reentrant: any thread, one call per file.
void SaveJpeg(const Picture& picture, const QString& fileName, int quality, bool* status = nullptr);

// The JPEG bytes SaveJpeg would write. Throws WriteFailure. Reentrant.
QByteArray encodeJpeg(const Picture& picture, int quality);

// The same from a JPEG's colour planes (see PlanarJpeg): encoded from the planes with their
// subsampling, with the profile of planar.info. Same failures as for a picture.
void SaveJpeg(const PlanarJpeg& planar, const QString& fileName, int quality,
              bool* status = nullptr);
QByteArray encodeJpeg(const PlanarJpeg& planar, int quality);

// Writes a finished JPEG stream to fileName the way SaveJpeg writes its files: under a
// temporary name, renamed over fileName at the end, and with the same failures
// (ZentavoError(CannotSave, "Cannot save the image. GDI+ Error:<n>"); out of memory with status
// given only sets *status). Reentrant.
void saveJpegStream(const QByteArray& jpeg, const QString& fileName, bool* status = nullptr);

// Inserts an ICC profile into a JPEG stream as APP2 markers (65519 bytes a marker at most), after
// the JFIF header when there is one. Returns jpeg unchanged when profile is empty. Throws
// WriteFailure(InvalidParameter) for a profile too large for 255 markers.
QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& profile);

}  // namespace zentavo
