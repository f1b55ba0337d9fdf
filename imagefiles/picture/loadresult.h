#pragma once

#include "imagefiles/picture/picture.h"

#include <QString>

namespace zentavo {

// Why a picture could not be loaded.
enum class LoadError {
    None,
    NotFound,     // no such file
    NotAFile,     // a folder, FIFO, device or other non-regular file
    Unreadable,   // the file exists but cannot be opened or read
    Unsupported,  // not a picture format the program reads
    Corrupt,      // a known format, but the data is damaged or cut off
    TooBig,       // over a ceiling of imagefiles/picture/limits.h
    OutOfMemory,  // the memory for the picture could not be had
};

// The outcome of loading one file: the picture, or the error and a reason a user understands.
struct LoadResult {
    Picture picture;
    LoadError error = LoadError::None;
    QString reason;

    bool ok() const { return error == LoadError::None; }
    static LoadResult failure(LoadError error, const QString& reason) {
        LoadResult result;
        result.error = error;
        result.reason = reason;
        return result;
    }
};

}  // namespace zentavo
