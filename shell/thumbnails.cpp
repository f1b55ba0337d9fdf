#include "shell/thumbnails.h"

#include "imagefiles/decoders.h"
#include "imagefiles/files/filebytes.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/reducedpicture.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <mutex>
#include <optional>

namespace zentavo {

namespace {

// Thumbnails kept, by the bytes of their pixels: some thousands, a few tens of megabytes.
constexpr qint64 CacheBytes = qint64(48) << 20;

// Pictures decoded whole one at a time above this many pixels (a 16-bit RGBA picture of this
// size takes 256 MB).
constexpr qint64 LargePicturePixels = qint64(32) << 20;

bool isJpegFile(const QString& path) {
    QByteArray head;
    QString reason;
    return readFileHead(path, 3, head, reason) == LoadError::None &&
           sniffFormat(head) == PictureFormat::Jpeg;
}

// The file's modification time in milliseconds; -1 when it cannot be read.
qint64 modificationTime(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

}  // namespace

QImage makeThumbnail(const QString& path, int side) {
    // A JPEG decodes at an eighth of its size, a HEIF from a phone through the thumbnail it
    // carries; other formats decode whole. Several workers each
    // decoding a scan of a hundred megapixels at once could take gigabytes: the large ones take
    // their turns.
    static std::mutex largeDecodes;
    std::unique_lock<std::mutex> turn(largeDecodes, std::defer_lock);
    if (!isJpegFile(path)) {
        const std::optional<QSize> size = readPictureSize(path);
        if (size && qint64(size->width()) * size->height() > LargePicturePixels) {
            turn.lock();
        }
    }
    ReducedPicture reduced = loadReducedPicture(path, side, EmbeddedThumbnail::Welcome);
    if (!reduced.loaded.ok()) {
        return {};
    }
    // Ready to paint as it is.
    return reduced.loaded.picture.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

Thumbnails::Thumbnails(QObject* parent) : QObject(parent), m_maker(&makeThumbnail) {
    m_cache.setMaxCost(CacheBytes);
    // One core stays with the window, which must keep scrolling smoothly.
    m_pool.setMaxThreadCount(qBound(1, QThread::idealThreadCount() - 1, 4));
    m_pool.setThreadPriority(QThread::LowPriority);
}

Thumbnails::~Thumbnails() {
    m_queue.clear();
    m_pool.waitForDone();
}

void Thumbnails::setDevicePixelRatio(qreal ratio) {
    if (ratio > 0 && !qFuzzyCompare(ratio, m_ratio)) {
        m_ratio = ratio;
        m_cache.clear();
    }
}

QImage Thumbnails::thumbnail(const QString& path, bool* gaveNone) const {
    const Entry* entry = m_cache.object(path);
    if (gaveNone) {
        *gaveNone = entry && entry->image.isNull();
    }
    return entry ? entry->image : QImage();
}

void Thumbnails::setWanted(const QStringList& paths) {
    m_queue.clear();
    QSet<QString> queued;
    for (const QString& path : paths) {
        const Entry* entry = m_cache.object(path);
        if ((entry && entry->checked) || m_underWay.contains(path) || queued.contains(path)) {
            continue;
        }
        queued.insert(path);
        m_queue << path;
    }
    startNext();
}

void Thumbnails::recheck() {
    for (const QString& path : m_cache.keys()) {
        m_cache.object(path)->checked = false;
    }
}

void Thumbnails::startNext() {
    while (!m_queue.isEmpty() && m_underWay.size() < m_pool.maxThreadCount()) {
        const QString path = m_queue.takeFirst();
        m_underWay.insert(path);
        const Entry* entry = m_cache.object(path);
        const qint64 known = entry ? entry->modified : -1;
        const int side = int(std::ceil(Side * m_ratio));
        const qreal ratio = m_ratio;
        // The destructor waits for the workers, so this outlives every one of them; a result
        // that arrives after it is gone is dropped with the object's posted events.
        Thumbnails* self = this;
        const Maker maker = m_maker;
        m_pool.start([self, path, known, side, ratio, maker] {
            // Worker thread: the file's time, and its picture unless that time is known.
            Made made;
            made.path = path;
            made.modified = modificationTime(path);
            made.unchanged = known != -1 && made.modified == known;
            if (!made.unchanged) {
                made.image = maker(path, side);
                made.image.setDevicePixelRatio(ratio);
            }
            QMetaObject::invokeMethod(
                self, [self, made] { self->arrived(made); }, Qt::QueuedConnection);
        });
    }
}

void Thumbnails::arrived(const Made& made) {
    m_underWay.remove(made.path);
    Entry* known = m_cache.object(made.path);
    if (made.unchanged && known) {
        known->checked = true;
    } else {
        auto* entry = new Entry{made.image, made.modified, true};
        m_cache.insert(made.path, entry, qMax<qint64>(made.image.sizeInBytes(), 64));
    }
    startNext();
    if (!m_updateDue) {
        // Pictures that come close together are shown with one repaint.
        m_updateDue = true;
        QTimer::singleShot(30, this, [this] {
            m_updateDue = false;
            emit updated();
        });
    }
}

}  // namespace zentavo
