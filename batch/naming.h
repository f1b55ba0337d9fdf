#pragma once

#include "batch/joboptions.h"

#include <QChar>
#include <QDir>
#include <QString>

namespace zentavo {

// The platform's path separator: "/" here, "\" on Windows.
inline QChar platformSeparator() {
    return QDir::separator();
}

// The text after the last separator of path; the whole path when it holds none.
QString GetFileName(const QString& path, QChar separator = platformSeparator());

// The name without its last extension, when the last dot is not the first character.
QString StripExtension(const QString& name);

// The text after the last dot of the whole path (empty when it ends with the dot); the whole
// path when the last dot is its first character or there is none. Case is kept.
QString GetExtension(const QString& path);

// True when path names an existing folder. Never throws; every failure counts as missing.
bool FolderExists(const QString& path);

// Output classes: the lower-cased extension compared with jpg, gif, png, tif, and with the
// newer formats' webp, heic, heif, avif, jxl; all else is BMP.
enum class FormatClass { Jpeg, Gif, Png, Tiff, Bmp, Webp, Heic, Heif, Avif, Jxl };
FormatClass formatClassOf(const QString& path);

// Whether outputs of a class are written at a quality of the run's setting: JPEG, and the lossy
// newer formats (WebP, HEIC, HEIF, AVIF, JPEG XL).
bool takesQuality(FormatClass formatClass);

// The MIME type of a class written by the encoder registry ("image/gif", ...); empty for the
// others.
QString mimeTypeOf(FormatClass formatClass);

// OutputBase of one input: the base name, plus "_flipped" in a flip run.
QString outputBase(const QString& inputPath, Operation operation,
                   QChar separator = platformSeparator());

// The ending after OutputBase: ".jpg" or "_rotated.jpg", and so on.
QString outputEnding(FormatClass formatClass, Operation operation);

// The output path: folder + separator + OutputBase + ending, by plain concatenation.
QString outputPath(const QString& folder, const QString& inputPath, Operation operation,
                   QChar separator = platformSeparator());

// The output path of an entry that keeps its place in a tree: folder + separator + treeFolder +
// separator + OutputBase + ending ("out/DCIM/100CANON/IMG_0001_rotated.jpg"); with an empty
// treeFolder the same as outputPath() above.
QString outputPath(const QString& folder, const QString& treeFolder, const QString& inputPath,
                   Operation operation, QChar separator = platformSeparator());

}  // namespace zentavo
