#pragma once

#include "imagefiles/picture/loadresult.h"

#include <QByteArray>
#include <QString>

namespace zentavo {

// Reads a whole regular file of at most maxBytes into bytes. A FIFO, device or folder is refused
// from fstat without reading or blocking (the file is opened non-blocking). Returns
// LoadError::None or the error, with reason set to a sentence a user understands. Reentrant.
LoadError readRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& reason);

// Reads at most maxBytes from the start of a regular file (for header probes). Same rules.
LoadError readFileHead(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& reason);

}  // namespace zentavo
