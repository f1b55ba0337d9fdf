#pragma once

#include "imagefiles/picture/loadresult.h"
#include "imagefiles/picture/picture.h"

#include <QSize>
#include <QString>

#include <optional>

namespace zentavo {

class Dialogs;

// Loads a picture file, choosing the decoder by the file's content (JPEG, GIF, PNG, BMP, ICO,
// CUR, TIFF, WebP, HEIF, AVIF, JPEG XL), applies the orientation a JPEG, TIFF, PNG or WebP
// states (a HEIF's and a JPEG XL's own transforms are applied by their decoders) and keeps
// the file's metadata with the picture (imagefiles/metadata/metadata.h). Only regular files are
// read; damaged data is a failure, never a picture with gaps. Reentrant: any thread, one call per
// file.
LoadResult loadPicture(const QString& path);

// The same from bytes already in memory (at most limits::MaxInputFileBytes). Reentrant.
LoadResult loadPictureFromBytes(const QByteArray& bytes);

// The pixel size of a picture read from its header alone, without decoding (JPEG: the frame
// header through TurboJPEG), as stored in the file, before any EXIF orientation. Empty when the
// header cannot be read. Reentrant.
std::optional<QSize> readPictureSize(const QString& path);

// Loads path into surface, which is emptied first so that a failure never leaves the previous
// picture. Returns true when surface holds a picture afterwards. On failure appends "\r\n" and
// path to failedList; when the picture is too big for memory (or over the program's ceilings),
// shows "Picture <path> is too big." through dialogs (when showTooBig) and sets tooBig (never
// clears it). Never throws. Any thread when dialogs is null; the GUI thread otherwise.
bool LoadPicFile(Picture& surface, const QString& path, QString* failedList = nullptr,
                 bool showTooBig = false, bool* tooBig = nullptr, Dialogs* dialogs = nullptr,
                 const QString& appTitle = {});

}  // namespace zentavo
