#include "batch/filejob.h"

#include "batch/memorybudget.h"
#include "batch/planner.h"
#include "batch/rotation.h"
#include "batch/runorder.h"
#include "imagefiles/decoders.h"
#include "imagefiles/files/atomicfile.h"
#include "imagefiles/files/cancellation.h"
#include "imagefiles/files/filebytes.h"
#include "imagefiles/heif/heifcodec.h"
#include "imagefiles/imaging.h"
#include "imagefiles/jpeg/jpegplanes.h"
#include "imagefiles/jpeg/losslessjpeg.h"
#include "imagefiles/jpeg/savejpeg.h"
#include "imagefiles/loadpicfile.h"
#include "imagefiles/metadata/metadata.h"
#include "imagefiles/picture/gdiplusstatus.h"
#include "imagefiles/picture/limits.h"
#include "imagefiles/picture/transform.h"
#include "imagefiles/savewithencoder.h"
#include "report/errorreport.h"
#include "report/filenames.h"
#include "report/zentavoerror.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

namespace zentavo {

namespace {

const QString CannotSave = QStringLiteral("Cannot save the image.");

// The planned operation as one of the eight right-angle transforms; empty for a rotation text
// that is no multiple of 90 degrees.
std::optional<RightAngleTransform> rightAngleTransformOf(const PlannedFile& file) {
    if (file.operation == Operation::Flip) {
        switch (file.direction) {
            case FlipDirection::Horizontal:
                return RightAngleTransform::MirrorHorizontal;
            case FlipDirection::Vertical:
                return RightAngleTransform::MirrorVertical;
            case FlipDirection::None:
                return RightAngleTransform::None;
        }
        return std::nullopt;
    }
    constexpr RightAngleTransform Clockwise[] = {
        RightAngleTransform::None, RightAngleTransform::Turn90, RightAngleTransform::Turn180,
        RightAngleTransform::Turn270};
    const std::optional<int> turns = clockwiseQuarterTurns(file.degrees);
    if (!turns || *turns < 0 || *turns > 3) {
        return std::nullopt;
    }
    return Clockwise[*turns];
}

// Makes the tree folder of an output below the results folder, one level at a time; the
// results folder itself must exist. Empty when the folder is there, else why it is not.
QString makeTreeFolder(const PlannedFile& file) {
    if (file.treeFolder.isEmpty()) {
        return {};
    }
    QString folder = file.resultsFolder;
    for (const QString& part : file.treeFolder.split(platformSeparator(), Qt::SkipEmptyParts)) {
        folder += platformSeparator() + part;
        // Another process of a shared run may make the same folder at the same moment.
        if (::mkdir(encodeFileName(folder).constData(), 0777) != 0 && errno != EEXIST) {
            return QStringLiteral("Cannot make the folder %1: %2")
                .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return {};
}

// The input's access and modification times, read before the file is opened (reading it may
// move its access time); none when they cannot be read.
std::optional<FileTimes> timesOf(const QString& path) {
    struct stat info {};
    if (::stat(encodeFileName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileTimes{info.st_atim, info.st_mtim};
}

// The planned operation as a move of the picture.
PixelMove pixelMoveOf(const PlannedFile& file) {
    if (file.operation == Operation::Flip) {
        return file.direction == FlipDirection::None
                   ? PixelMove{}
                   : PixelMove::mirror(file.direction == FlipDirection::Horizontal
                                           ? Mirror::Horizontal
                                           : Mirror::Vertical);
    }
    return PixelMove::turn(clockwiseQuarterTurns(file.degrees).value_or(0));
}

bool isHeifClass(FormatClass formatClass) {
    return formatClass == FormatClass::Heic || formatClass == FormatClass::Heif ||
           formatClass == FormatClass::Avif;
}

// How a newer lossy format chooses its quality for picture: the slider in Fixed mode; about the
// input's bits a pixel in Smart-Detect mode and for files a lossless run re-encodes.
EncoderQuality encoderQualityFor(const PlannedFile& file, const Picture& picture) {
    switch (file.qualityMode) {
        case QualityMode::Fixed:
            return EncoderQuality::fixed(std::clamp(file.slider, 1, 100));
        case QualityMode::SmartDetect:
        case QualityMode::Lossless: {
            const qint64 frames =
                picture.animation ? qint64(picture.animation->frames.size()) : qint64(1);
            const qint64 pixels = qint64(picture.width()) * picture.height() * frames;
            const qint64 bytes = QFileInfo(file.path).size();
            if (pixels > 0 && bytes > 0) {
                return EncoderQuality::keepingBitsPerPixel(double(bytes) * 8 / double(pixels));
            }
            break;
        }
        case QualityMode::None:
            break;
    }
    return {};
}

struct Job {
    const PlannedFile& file;
    const std::atomic_bool& cancelled;
    RunOrder& order;
    FileResult result;

    void report(int number, const QString& description) {
        result.reports.push_back({number, description});
    }

    // Runs one statement; an exception becomes a report at that statement.
    bool step(int number, const std::function<void()>& statement) {
        return runStatement(number, result.reports, statement);
    }

    void notWritten(int number, const QString& reason) {
        result.outcome = FileOutcome::NotWritten;
        result.reason = reasonWithoutPath(reason, file.path);
        result.statement = number;
    }

    // The statement that failed last has said why.
    void notWrittenAsReported() {
        const FileReport& last = result.reports.back();
        notWritten(last.statement, last.description);
    }

    // The file has loaded: a JPEG file gives the run's quality its step now, so later files
    // need not wait for this one's transform.
    void loaded() {
        if (file.formatClass == FormatClass::Jpeg) {
            order.settleQuality(file.index, qualityStepFor(file, result.reports));
        }
    }

    // The refusal to write, the run's quality for a JPEG and a cancelled run, settled just
    // before writing. The quality (0 for other formats), or nothing when the output must not
    // be written; the outcome then says why.
    std::optional<int> mayWrite(int number) {
        if (!file.refusal.isEmpty()) {
            report(number, CannotSave + QLatin1Char(' ') + file.refusal);
            notWrittenAsReported();
            return std::nullopt;
        }
        int quality = 0;
        if (file.formatClass == FormatClass::Jpeg) {
            const std::optional<int> running = order.qualityFor(file.index);
            if (!running) {
                result.outcome = FileOutcome::Skipped;
                return std::nullopt;
            }
            // The encoder's scale is 1 to 100; a run that has not chosen a quality yet (no
            // quality mode selected) is brought into it.
            quality = std::clamp(*running, 1, 100);
        }
        // Keeping both, a name an earlier file of the run wrote is no refusal: the later file
        // takes the next free number.
        const std::optional<QString> taken =
            order.mayWrite(file.index, file.existing != ExistingOutput::KeepBoth);
        if (!taken) {
            result.outcome = FileOutcome::Skipped;
            return std::nullopt;
        }
        if (!taken->isEmpty()) {
            report(number, CannotSave + QLatin1Char(' ') + *taken);
            notWrittenAsReported();
            return std::nullopt;
        }
        if (cancelled.load()) {
            result.outcome = FileOutcome::Skipped;
            return std::nullopt;
        }
        if (const QString missing = makeTreeFolder(file); !missing.isEmpty()) {
            report(number, CannotSave + QLatin1Char(' ') + missing);
            notWrittenAsReported();
            return std::nullopt;
        }
        return quality;
    }

    // The JPEG writing statement; save is SaveJpeg with its out-of-memory flag.
    void writeJpeg(int number, const std::function<void(bool*)>& save) {
        bool outOfMemory = false;
        if (!step(number, [&] { save(&outOfMemory); })) {
            notWrittenAsReported();
        } else if (outOfMemory) {
            notWritten(number, QStringLiteral("Out of memory"));
        }
    }

    // The sync and naming of a JPEG output that writeJpeg left unfinished, with its failures.
    void commitJpeg(AtomicFile& output) {
        std::optional<QString> placed;
        writeJpeg(writingStatement(file.formatClass, file.operation),
                  [&](bool* outOfMemory) { placed = commitJpegFile(output, outOfMemory); });
        if (result.outcome == FileOutcome::Written && !placed) {
            // Written in vain: another run placed the output first.
            result.outcome = FileOutcome::ResultExists;
        }
    }

    // A JPEG written as a JPEG and moved exactly goes through its colour planes: each plane is
    // moved as it is stored, with no conversion to RGB and back and no chroma resampling, which
    // is faster and loses less. False when the planes cannot give the exact result (odd sizes,
    // CMYK, damaged data...): nothing was done then, and the RGB path takes the file.
    bool throughPlanes(PixelMove operation) {
        if (file.formatClass != FormatClass::Jpeg || !file.refusal.isEmpty()) {
            return false;
        }
        QByteArray bytes;
        QString reason;
        if (readRegularFile(file.path, limits::MaxInputFileBytes, bytes, reason) !=
            LoadError::None) {
            return false;
        }
        std::optional<PlanarJpeg> planar = decodeMovedJpegPlanes(bytes, operation);
        if (!planar) {
            return false;
        }
        bytes = QByteArray();
        if (file.stripMetadata) {
            planar->info.metadata = strippedMetadata(planar->info.metadata);
        }
        loaded();
        const int number = writingStatement(file.formatClass, file.operation);
        if (const std::optional<int> quality = mayWrite(number)) {
            writeJpeg(number, [&](bool* outOfMemory) {
                SaveJpeg(*planar, file.outputPath, *quality, outOfMemory);
            });
        }
        return true;
    }

    // A lossless run's road for a JPEG input: flipped or turned on its compressed data and
    // written as it comes out. False when the file takes the ordinary road instead: not a
    // lossless run, content that is not JPEG, a size that does not allow a lossless transform
    // (the file is then named as re-encoded), or a file the transform refused, which the
    // decoder then judges as in any run.
    bool turnLosslessly() {
        if (file.qualityMode != QualityMode::Lossless || file.formatClass != FormatClass::Jpeg) {
            return false;
        }
        const std::optional<RightAngleTransform> operation = rightAngleTransformOf(file);
        QByteArray bytes;
        QString unread;
        if (!operation ||
            readRegularFile(file.path, limits::MaxInputFileBytes, bytes, unread) !=
                LoadError::None ||
            sniffFormat(bytes) != PictureFormat::Jpeg) {
            return false;
        }
        // The metadata comes over made true of the output (the thumbnail, the resolution of a
        // quarter turn), or stripped.
        LosslessJpeg turned = turnJpegLosslessly(bytes, *operation, file.stripMetadata);
        if (turned.outcome == LosslessOutcome::NotPerfect) {
            result.reencoded = true;
            return false;
        }
        if (turned.outcome == LosslessOutcome::Refused) {
            return false;
        }
        bytes = QByteArray();
        // Its estimate still counts for the files after it that have to be re-encoded.
        loaded();
        const int number = writingStatement(file.formatClass, file.operation);
        if (turned.outcome == LosslessOutcome::MetadataFailed) {
            step(number, [&] {
                throw ZentavoError(ErrorNumber::CannotSave,
                                   CannotSave + QLatin1Char(' ') + turned.reason);
            });
            notWrittenAsReported();
            return true;
        }
        if (mayWrite(number)) {
            writeJpeg(number, [&](bool* outOfMemory) {
                saveJpegStream(turned.jpeg, file.outputPath, outOfMemory);
            });
        }
        return true;
    }

    // A lossless run's road for a HEIF or AVIF output of a HEIF or AVIF input: its primary
    // image's transform properties are edited and the coded image copied untouched. False
    // when the file takes the ordinary road instead (a refused file is then named as
    // re-encoded); outputs without metadata are made on that road too.
    bool turnHeifLosslessly() {
        if (file.qualityMode != QualityMode::Lossless || !isHeifClass(file.formatClass) ||
            file.stripMetadata) {
            return false;
        }
        QByteArray bytes;
        QString unread;
        if (readRegularFile(file.path, limits::MaxInputFileBytes, bytes, unread) !=
            LoadError::None) {
            return false;
        }
        const PictureFormat format = sniffFormat(bytes);
        if (format != PictureFormat::Heif && format != PictureFormat::Avif) {
            return false;
        }
        LosslessHeif turned = zentavo::turnHeifLosslessly(bytes, pixelMoveOf(file));
        if (turned.bytes.isEmpty()) {
            result.reencoded = true;
            return false;
        }
        bytes = QByteArray();
        const int number = writingStatement(file.formatClass, file.operation);
        if (mayWrite(number)) {
            try {
                writeFileAtomically(file.outputPath, turned.bytes);
            } catch (const WriteFailure& failure) {
                report(number, CannotSave + QLatin1Char(' ') + failure.reason);
                notWrittenAsReported();
            }
        }
        return true;
    }

    // The writing statements: the output in its own format, or the refusal to write it.
    void write(Picture& picture) {
        const int number = writingStatement(file.formatClass, file.operation);
        const std::optional<int> quality = mayWrite(number);
        if (!quality) {
            return;
        }
        if (file.stripMetadata) {
            picture.metadata = strippedMetadata(picture.metadata);
        }
        switch (file.formatClass) {
            case FormatClass::Bmp:
                try {
                    SaveBitmap(picture, file.outputPath);
                } catch (...) {
                    const QString reason = describeException(std::current_exception());
                    report(number, CannotSave + QLatin1Char(' ') + reason);
                    notWrittenAsReported();
                }
                return;
            case FormatClass::Jpeg:
                writeJpeg(number, [&](bool* outOfMemory) {
                    SaveJpeg(picture, file.outputPath, *quality, outOfMemory);
                });
                return;
            case FormatClass::Gif:
            case FormatClass::Png:
            case FormatClass::Tiff:
            case FormatClass::Webp:
            case FormatClass::Heic:
            case FormatClass::Heif:
            case FormatClass::Avif:
            case FormatClass::Jxl: {
                QString reason;
                if (!SaveWithEncoder(picture, file.outputPath, mimeTypeOf(file.formatClass),
                                     &reason, encoderQualityFor(file, picture))) {
                    report(number, CannotSave + QLatin1Char(' ') + reason);
                    notWrittenAsReported();
                }
                return;
            }
        }
    }

    void flip() {
        PixelMove operation;
        if (file.direction != FlipDirection::None) {
            operation =
                PixelMove::mirror(file.direction == FlipDirection::Horizontal ? Mirror::Horizontal
                                                                              : Mirror::Vertical);
        }
        if (turnLosslessly() || turnHeifLosslessly() || throughPlanes(operation)) {
            return;
        }
        LoadResult loaded = loadPicture(file.path);
        if (!loaded.ok()) {
            result.outcome = FileOutcome::NotLoaded;
            result.listAsFailed = true;
            result.reason = reasonWithoutPath(loaded.reason, file.path);
            result.statement = statement::FlipLoad;
            return;
        }
        Picture& picture = loaded.picture;
        result.droppedPages = picture.droppedPages;
        this->loaded();
        // A picture that could not be mirrored is not written as it came: the file leaves no
        // output, as a turn that could not be drawn leaves none.
        bool mirrored = true;
        if (file.direction == FlipDirection::Horizontal) {
            mirrored = step(132, [&] { mirrorPicture(picture, Mirror::Horizontal); });
        } else if (file.direction == FlipDirection::Vertical) {
            mirrored = step(140, [&] { mirrorPicture(picture, Mirror::Vertical); });
        }
        if (!mirrored) {
            notWrittenAsReported();
            return;
        }
        write(picture);
    }

    void rotate() {
        if (turnLosslessly() || turnHeifLosslessly()) {
            return;
        }
        if (const std::optional<int> turns = clockwiseQuarterTurns(file.degrees);
            turns && throughPlanes(PixelMove::turn(*turns))) {
            return;
        }
        ImageObject image;
        if (!step(statement::RotateLoad, [&] { image.load(file.path); })) {
            // The previous file's picture is never saved under this file's name.
            result.outcome = FileOutcome::NotLoaded;
            result.reason = reasonWithoutPath(result.reports.back().description, file.path);
            result.statement = statement::RotateLoad;
            return;
        }
        result.droppedPages = image.picture().droppedPages;
        loaded();
        RotationGeometry geometry;
        if (!step(statement::RotateCalc,
                  [&] { geometry = CalcRotation(file.degrees, image.Width(), image.Height()); })) {
            notWrittenAsReported();
            return;
        }
        Picture canvas;
        GraphicsObject graphics;
        const bool drawn = step(statement::RotateDraw, [&] {
            graphics.Bind(canvas, geometry.canvas);
            graphics.SetRenderingModes(4, 2);
            graphics.DrawImagePoints(image, geometry.points.data());
            graphics.Release();
        });
        image.Dispose();
        if (!drawn) {
            notWrittenAsReported();
            return;
        }
        write(canvas);
    }
};

}  // namespace

QString reasonWithoutPath(const QString& description, const QString& path) {
    QString reason = description;
    const QString lead = path + QLatin1Char(' ');
    if (!path.isEmpty() && reason.startsWith(lead)) {
        reason.remove(0, lead.size());
    }
    // The window's reports break lines with CR LF or CR; a lone LF belongs to a name.
    reason.replace(QLatin1String("\r\n"), QLatin1String(" "));
    reason.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return reason;
}

bool runStatement(int number, std::vector<FileReport>& reports,
                  const std::function<void()>& statement) {
    try {
        statement();
        return true;
    } catch (...) {
        reports.push_back({number, describeException(std::current_exception())});
        return false;
    }
}

int writingStatement(FormatClass formatClass, Operation operation) {
    const bool flip = operation == Operation::Flip;
    switch (formatClass) {
        case FormatClass::Jpeg:
            return flip ? statement::FlipSaveJpeg : statement::RotateSaveJpeg;
        case FormatClass::Gif:
            return flip ? statement::FlipSaveGif : statement::RotateSaveGif;
        case FormatClass::Png:
            return flip ? statement::FlipSavePng : statement::RotateSavePng;
        case FormatClass::Tiff:
            return flip ? statement::FlipSaveTiff : statement::RotateSaveTiff;
        // These extensions had their output written as the intermediate bitmap; their own
        // writers now take that place.
        case FormatClass::Bmp:
        case FormatClass::Webp:
        case FormatClass::Heic:
        case FormatClass::Heif:
        case FormatClass::Avif:
        case FormatClass::Jxl:
            break;
    }
    return flip ? statement::FlipSaveBitmap : statement::RotateSaveBitmap;
}

qint64 memoryNeededFor(const QString& path, Operation operation) {
    const std::optional<QSize> size = readPictureSize(path);
    if (!size) {
        return qint64(64) << 20;
    }
    // Four bytes a pixel covers the usual decoded formats; a turn holds the source and the
    // turned copy at once.
    const qint64 picture = qint64(size->width()) * size->height() * 4;
    return operation == Operation::Rotate ? picture * 2 : picture;
}

FileResult runFileJob(const PlannedFile& file, const std::atomic_bool& cancelled, RunOrder& order,
                      MemoryBudget* budget, std::unique_ptr<AtomicFile>* unfinished) {
    Job job{file, cancelled, order, {}};
    job.result.index = file.index;
    const CancellationScope scope(&cancelled);
    // However the file ends, later files stop waiting for it; a file whose output is handed on
    // unfinished ends when it is committed.
    struct Ended {
        RunOrder& order;
        const FileResult& result;
        bool handedOn = false;
        ~Ended() {
            if (!handedOn) {
                order.finished(result.index, result.outcome == FileOutcome::Written);
            }
        }
    } ended{order, job.result};
    if (cancelled.load()) {
        job.result.outcome = FileOutcome::Skipped;
        return job.result;
    }
    if (file.resultExists) {
        // No work, but a JPEG still gives the running quality its step from its header, as it
        // did in the run that wrote the output: a resumed run writes the later files as one
        // whole run would.
        if (file.formatClass == FormatClass::Jpeg) {
            order.settleQuality(file.index, qualityStepFor(file, job.result.reports));
        }
        job.result.outcome = FileOutcome::ResultExists;
        return job.result;
    }
    if (!order.waitForRoomTurn(file.index)) {
        job.result.outcome = FileOutcome::Skipped;
        return job.result;
    }
    CommitRules rules;
    rules.existing = file.existing;
    if (file.keepDates) {
        rules.times = timesOf(file.path);
    }
    rules.leaveUnfinished = unfinished && file.formatClass == FormatClass::Jpeg;
    CommitScope commits(rules);
    try {
        BudgetReservation room(budget, budget ? memoryNeededFor(file.path, file.operation) : 0);
        order.roomTaken(file.index);
        if (cancelled.load()) {
            job.result.outcome = FileOutcome::Skipped;
            return job.result;
        }
        if (file.operation == Operation::Flip) {
            job.flip();
        } else if (file.operation == Operation::Rotate) {
            job.rotate();
        }
    } catch (...) {
        // Anything the steps did not expect still ends as a report of this file, never as a
        // crash of the run.
        const int number = writingStatement(file.formatClass, file.operation);
        job.report(number, describeException(std::current_exception()));
        job.notWrittenAsReported();
    }
    if (std::unique_ptr<AtomicFile> output = commits.takeUnfinished();
        output && job.result.outcome == FileOutcome::Written) {
        *unfinished = std::move(output);
        ended.handedOn = true;
        return job.result;
    }
    if (job.result.outcome == FileOutcome::Written && commits.committed() && !commits.placedAt()) {
        // Written in vain: another run placed the output first.
        job.result.outcome = FileOutcome::ResultExists;
    }
    if (cancelled.load() && job.result.outcome != FileOutcome::Written &&
        job.result.outcome != FileOutcome::ResultExists) {
        // Work that gave up because it was no longer wanted is no failure of the file.
        job.result = FileResult();
        job.result.index = file.index;
        job.result.outcome = FileOutcome::Skipped;
    }
    return job.result;
}

FileResult finishFileJob(const PlannedFile& file, FileResult result, AtomicFile& output,
                         RunOrder& order) {
    const std::atomic_bool notCancelled{false};
    Job job{file, notCancelled, order, std::move(result)};
    job.commitJpeg(output);
    order.finished(job.result.index, job.result.outcome == FileOutcome::Written);
    return job.result;
}

}  // namespace zentavo
