#pragma once

#include "imagefiles/picture/picture.h"
#include "imagefiles/reducedpicture.h"

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

namespace zentavo {

class JobOptions;

// The selected entry of the list before and after the chosen operation, side by side (one above
// the other in a place taller than wide). The file is decoded off the GUI thread at a reduced
// scale, as big as the panel shows it; the after picture is made from it by the run's own moves
// and follows the options as they change. A file that cannot be loaded shows why instead.
// Choosing another entry cancels the decode still pending for the last. GUI thread.
class PreviewPanel : public QWidget {
    Q_OBJECT
public:
    // options are read when the after picture is made; they must outlive the panel.
    explicit PreviewPanel(const JobOptions& options, QWidget* parent = nullptr);
    // Cancels what is pending and waits for the decode under way.
    ~PreviewPanel() override;

    // Shows the file at path (the empty text: no entry, the panel says how to get one).
    // Nothing is done while the panel is hidden; it loads the entry when it is shown.
    void showEntry(const QString& path);
    // The operation, direction or rotation changed: the after picture is made again.
    void optionsChanged();

    QString entry() const { return m_path; }
    // A decode for the entry is pending.
    bool isLoading() const { return m_loading; }
    // The pictures shown, as made (before the last scaling to the panel); null while loading,
    // with no entry, or when the file cannot be loaded.
    QImage beforeImage() const { return m_before.image; }
    QImage afterImage() const { return m_after; }
    // Why the entry's file cannot be loaded (or its after picture made); empty otherwise.
    QString reason() const { return m_reason; }
    // The captions above the pictures: the file's size and, when its orientation tag turned it,
    // how; the operation as the options stand.
    QString beforeCaption() const;
    QString afterCaption() const;

    // How the panel decodes a file (loadReducedPicture by default). Runs on the panel's worker
    // thread; cancelled is set once the entry is no longer wanted. Tests put in one they can
    // hold back.
    using Loader = std::function<ReducedPicture(const QString& path, int longSide,
                                                const std::atomic_bool& cancelled)>;
    void setLoader(Loader loader) { m_loader = std::move(loader); }

signals:
    // The entry's pictures, or the reason it has none, are now shown.
    void shown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Box {
        QRect caption;
        QRect well;
    };
    // The before and after boxes in the panel as it stands.
    std::pair<Box, Box> boxes() const;
    // The longer side, in device pixels, a picture needs to fill a well of the panel.
    int wantedLongSide() const;
    void load();
    void loaded(quint64 request, const ReducedPicture& reduced);
    void makeAfter();
    void paintBox(QPainter& painter, const Box& box, const QString& caption, const QImage& image,
                  QPixmap& scaled, const QString& note) const;


    const JobOptions& m_options;
    Loader m_loader;
    QThreadPool m_pool;
    QTimer m_reloadTimer;  // a larger panel wants a larger picture: loaded once resizing rests
    QString m_path;
    quint64 m_request = 0;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    bool m_loading = false;
    int m_loadedLongSide = 0;
    Picture m_before;
    QSize m_fullSize;
    QImage m_after;
    QString m_reason;
    mutable QPixmap m_beforeShown;  // the pictures scaled to their wells, made when painted
    mutable QPixmap m_afterShown;
};

// What a file's orientation tag (1 to 8) does to show the picture upright, in words ("turned
// 90° clockwise"); empty for 1 and unknown values.
QString orientationWords(int orientation);

}  // namespace zentavo
