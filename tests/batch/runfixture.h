#pragma once

#include "batch/batchrun.h"
#include "filelist/filelist.h"
#include "tests/testsupport.h"

#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace zentavo::test {

// A front end that records everything a run shows.
class RecordingFrontEnd : public RunFrontEnd {
public:
    void setBusy(bool busy) override { busyChanges.push_back(busy); }
    void setProgressValue(int value) override {
        progress.push_back(value);
        if (onProgress) {
            onProgress(value);
        }
    }
    void setProgressText(const QString& text) override { progressTexts << text; }
    Dialogs& dialogs() override { return scripted; }
    QString applicationTitle() const override { return QStringLiteral("Zentavo"); }

    ScriptedDialogs scripted;
    std::vector<bool> busyChanges;
    std::vector<int> progress;
    QStringList progressTexts;
    std::function<void(int)> onProgress;
};

// A picture with a known asymmetric pattern: pixel (x, y) has red x, green y, blue 7.
QImage patternImage(int width, int height);

// Writes a JPEG through TurboJPEG at quality, padded with bytes after the end marker to
// exactly length bytes when length is larger; returns the file's bytes. subsampling is a
// TJSAMP value (4:2:0 by default).
QByteArray writeJpeg(const QString& path, const QImage& image, int quality, qint64 length = 0,
                     int subsampling = 2);

// The quantisation table segments (DQT) of a JPEG stream, to compare qualities.
QByteArray quantisationTables(const QByteArray& jpeg);

// The DQT segments TurboJPEG writes for quality.
QByteArray quantisationTablesFor(int quality);

// Runs the engine over paths and waits for its end.
RunSummary runBatch(const JobOptions& options, RecordingFrontEnd& frontEnd,
                    const QStringList& paths, int jobs = 2, bool imagingFailed = false);
// The same over a list as it stands (entries with their tree folders).
RunSummary runBatchOnList(const JobOptions& options, RecordingFrontEnd& frontEnd,
                          const FileList& list, int jobs = 2, bool imagingFailed = false);

}  // namespace zentavo::test
