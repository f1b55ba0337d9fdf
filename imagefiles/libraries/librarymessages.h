#pragma once

#include <QString>
#include <QStringList>

namespace zentavo {

// The picture libraries whose messages the program takes in.
enum class MessageSource { Png, Tiff, Gif, Jpeg, Qt, Heif, Avif, Webp, Jxl };

// The one way in for every warning and error of the picture libraries (libspng, libtiff,
// giflib, libjpeg-turbo, libheif, libavif, libwebp, libjxl and Qt's image plugins). A message
// goes to the innermost LibraryMessages of the calling thread; with none it is dropped. Nothing is
// ever printed: a message that explains why a file was refused reaches the user as part of that
// file's reason. Reentrant: any thread.
void libraryMessage(MessageSource source, bool error, const QString& text);

// Collects the library messages of the calling thread while it lives, typically for the
// reading or writing of one file. Scopes nest; the innermost collects. Not to be shared
// between threads.
class LibraryMessages {
public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // The last error, or the last warning when there was no error, as "libtiff: text"; empty
    // when the libraries said nothing.
    QString last() const;

    // Every message in order, each as "library: text".
    const QStringList& messages() const { return m_messages; }

private:
    friend void libraryMessage(MessageSource, bool, const QString&);
    LibraryMessages* m_outer;
    QStringList m_messages;
    qsizetype m_lastError = -1;
};

// Sends the messages of Qt's image plugins, and whatever libtiff reports outside a file of
// ours, to libraryMessage; every other Qt message goes where it went before. Called once by
// each program's main() before any picture is read; calling it again does nothing.
void installLibraryMessageHandlers();

}  // namespace zentavo
