#pragma once

#include "imagefiles/jpeg/jpegplanes.h"
#include "imagefiles/picture/picture.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zentavo {

class AtomicFile;

// Writes picture to fileName as a baseline JPEG at quality 1 to 100 (TurboJPEG with the
// accurate DCT, so the file matches what other libjpeg-based tools write at that quality).
// The chroma subsampling of a JPEG input is kept; other pictures get 4:2:0, grey ones a grey
// JPEG. Alpha is composed onto white, 16-bit samples are reduced to 8, an ICC profile read
// with the picture is written as APP2 "ICC_PROFILE" markers, and the picture's metadata goes in
// made true of it (metadata/metadata.h, jpegMetadataFor). A CMYK picture is written as an Adobe
// CMYK JPEG with its CMYK profile.
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

// The JPEG bytes SaveJpeg would write, metadata included. Throws WriteFailure. Reentrant.
QByteArray encodeJpeg(const Picture& picture, int quality);

// The same from a JPEG's colour planes (see PlanarJpeg): encoded from the planes with their
// subsampling, with the profile and metadata of planar.info and the file's trailer. Same
// failures as for a picture.
void SaveJpeg(const PlanarJpeg& planar, const QString& fileName, int quality,
              bool* status = nullptr);
QByteArray encodeJpeg(const PlanarJpeg& planar, int quality);

// Writes a finished JPEG stream to fileName the way SaveJpeg writes its files: under a
// temporary name, renamed over fileName at the end, and with the same failures
// (ZentavoError(CannotSave, "Cannot save the image. GDI+ Error:<n>"); out of memory with status
// given only sets *status). Reentrant.
void saveJpegStream(const QByteArray& jpeg, const QString& fileName, bool* status = nullptr);

// Commits a JPEG that one of the writers above left unfinished (CommitRules::leaveUnfinished),
// with their failures. Where the file went, as AtomicFile::commit() says; nothing when it was
// dropped or when out of memory was reported through status.
std::optional<QString> commitJpegFile(AtomicFile& file, bool* status = nullptr);

}  // namespace zentavo
