#pragma once

#include <QString>

namespace zentavo {

// The status numbers that the writers report. Users quote them from the message "Cannot save the
// image. GDI+ Error:<n>", so they keep the numbers of the GDI+ Status enumeration.
enum class GdiplusStatus : int {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
};

// How the writers' own failures map onto those numbers, in one place:
//
//   failure                                                        status
//   the output or its temporary file cannot be created, written,
//   flushed, synced or renamed (missing folder, no permission,
//   disk full, read-only file system, name too long)               7  Win32Error
//   memory for the pixels or the encoded file cannot be had        3  OutOfMemory
//   the encoder rejects the picture or fails inside                1  GenericError
//   the picture is empty                                           2  InvalidParameter
//
// statusForErrno() applies the first two rows to an errno value.
GdiplusStatus statusForErrno(int errorNumber);

// A failed write: the status above and a sentence for people ("No such file or directory").
// Thrown inside imagefiles/ only; the public writers turn it into their own error model.
struct WriteFailure {
    GdiplusStatus status = GdiplusStatus::GenericError;
    QString reason;
};

}  // namespace zentavo
