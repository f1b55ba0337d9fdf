#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>

namespace zentavo {

// The small pictures the list shows before its paths. Made on a pool of their own, off the GUI
// thread, only for the entries the list has in view, nearest the top first; kept by path with
// the file's modification time, so that a file changed on disk is made again and an unchanged
// one never is. Its public side lives on the GUI thread.
class Thumbnails : public QObject {
    Q_OBJECT
public:
    // The side of the square a thumbnail fits in, in device-independent pixels.
    static constexpr int Side = 40;

    explicit Thumbnails(QObject* parent = nullptr);
    // Drops what is waiting and waits for the pictures under way.
    ~Thumbnails() override;

    // The pixels per device-independent pixel of the screen the list is on; thumbnails made
    // after the change are made for it.
    void setDevicePixelRatio(qreal ratio);

    // The thumbnail of path as last made (device pixel ratio set); null when none is made yet
    // or the file gives none, and then gaveNone (when given) tells which.
    QImage thumbnail(const QString& path, bool* gaveNone = nullptr) const;

    // The paths in view, top first: the thumbnails they lack (or that may be out of date) are
    // made in that order. What was asked for before and is no longer in view is dropped,
    // unless it is under way already.
    void setWanted(const QStringList& paths);
    // Files may have changed since their thumbnails were made (the window was away): each one
    // is checked against its file's modification time when next in view, and made again when
    // that differs.
    void recheck();

    // Paths waiting or under way; none once the wanted ones are all made.
    int pending() const { return int(m_queue.size() + m_underWay.size()); }

    // How a thumbnail is made from a file: its longer side at most side pixels, upright. Tests
    // put in one they can count; runs on a worker thread.
    using Maker = std::function<QImage(const QString& path, int side)>;
    void setMaker(Maker maker) { m_maker = std::move(maker); }

signals:
    // Thumbnails arrived; several arriving close together are told once.
    void updated();

private:
    struct Entry {
        QImage image;  // null when the file gives no picture
        qint64 modified = -1;
        bool checked = true;  // made or checked since the last recheck()
    };
    struct Made {
        QString path;
        qint64 modified = -1;
        bool unchanged = false;  // the file's time was the one known: the picture still holds
        QImage image;
    };

    void startNext();
    void arrived(const Made& made);

    QThreadPool m_pool;
    Maker m_maker;
    qreal m_ratio = 1.0;
    QCache<QString, Entry> m_cache;
    QStringList m_queue;
    QSet<QString> m_underWay;
    bool m_updateDue = false;
};

// A thumbnail of the picture file at path: reduced (loadReducedPicture), upright, its longer
// side at most side pixels; null when the file cannot be loaded. Any thread.
QImage makeThumbnail(const QString& path, int side);

}  // namespace zentavo
