#include "shell/pointers.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace zentavo {

namespace {

constexpr int CursorResourceType = 2;
constexpr int DirectoryHeaderSize = 6;
constexpr int EntrySize = 16;

// The hot spot of the first picture of a cursor file: the directory entry keeps it where an icon
// keeps its planes and bit count.
QPoint cursorHotSpot(const QByteArray& bytes) {
    if (bytes.size() < DirectoryHeaderSize + EntrySize) {
        return {-1, -1};
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (qFromLittleEndian<quint16>(data + 2) != CursorResourceType) {
        return {-1, -1};
    }
    const uchar* entry = data + DirectoryHeaderSize;
    return {qFromLittleEndian<quint16>(entry + 4), qFromLittleEndian<quint16>(entry + 6)};
}

}  // namespace

std::optional<QCursor> loadPointerFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(DirectoryHeaderSize + EntrySize);
    file.seek(0);
    // Qt's icon reader knows cursor files only by their "cur" name, so say it whatever the file
    // is called.
    QImageReader reader(&file, path.endsWith(QLatin1String(".cur"), Qt::CaseInsensitive)
                                   ? QByteArray("cur")
                                   : QByteArray("ico"));
    const QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    const QPoint hotSpot = cursorHotSpot(bytes);
    const bool inside = QRect(QPoint(0, 0), image.size()).contains(hotSpot);
    return QCursor(QPixmap::fromImage(image), inside ? hotSpot.x() : -1, inside ? hotSpot.y() : -1);
}

}  // namespace zentavo
