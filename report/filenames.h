#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zentavo {

// A file name on Linux is a string of bytes; the program holds names and paths as text. Valid
// UTF-8 becomes its text. A byte that is not part of valid UTF-8 (a name from an old camera, an
// archive unpacked from another system) becomes the lone code unit U+DC00 + byte, which no
// valid text contains, so encodeFileName() gives back the very bytes and every file the system
// lists can be opened by the path the program holds. Pure, any thread.
QString decodeFileName(QByteArrayView bytes);

// The bytes of a path held as text: UTF-8, with each code unit U+DC80 to U+DCFF made from a
// byte by decodeFileName() turned back into that byte. Any other unpaired surrogate (text from
// elsewhere) becomes the replacement character. Pure, any thread.
QByteArray encodeFileName(QStringView path);

// The length of the valid UTF-8 sequence of two to four bytes that begins at bytes[i] (of size),
// with its code point in code; 0 when the bytes there begin none (a stray continuation byte, a
// cut or overlong sequence, an encoded surrogate or a value past Unicode). Pure.
int validUtf8Sequence(const unsigned char* bytes, qsizetype size, qsizetype i, char32_t& code);

// True when path holds a byte that is not valid UTF-8 (see decodeFileName). Pure.
bool hasUndecodedBytes(QStringView path);

// A path as a person reads it in the window: each byte that is not valid UTF-8 shown as the
// replacement character. Text without such bytes comes back unchanged. Pure.
QString readableFileName(const QString& path);

}  // namespace zentavo
