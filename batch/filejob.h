#pragma once

#include "batch/batchrun.h"
#include "batch/joboptions.h"
#include "batch/naming.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace zentavo {

// One file of a run as the planner settled it on the driving thread: everything a worker needs,
// so that workers never read options or ask anything.
struct PlannedFile {
    int index = 0;  // 1-based place in the list
    QString path;
    Operation operation = Operation::None;
    FlipDirection direction = FlipDirection::None;
    QString degrees;
    FormatClass formatClass = FormatClass::Bmp;
    QString outputPath;
    // For outputs written at a quality (JPEG, and the newer lossy formats): the quality mode and
    // the slider position when the file was planned.
    QualityMode qualityMode = QualityMode::None;
    int slider = 0;
    QString refusal;             // why the output must not be written, empty when it may
    bool stripMetadata = false;  // write pixels, colour profile and resolution only
    // With the tree kept: the results folder and the tree folder below it that the output goes
    // into, made when missing (the results folder itself never is).
    QString resultsFolder;
    QString treeFolder;
    ExistingOutput existing = ExistingOutput::Replace;  // when the output's name is taken
    bool resultExists = false;  // Skip found the output there when the file was planned
    bool keepDates = false;     // the output takes the input's times
};

// What a worker did with one planned file.
struct FileResult {
    int index = 0;
    FileOutcome outcome = FileOutcome::Written;
    bool listAsFailed = false;  // a flip run names it in the closing message
    QString reason;             // why it was not loaded or written, without the path
    int statement = 0;          // the statement it failed at, when not loaded or not written
    std::vector<FileReport> reports;
    int droppedPages = 0;
    bool reencoded = false;  // asked to go lossless, but its size made it a re-encoded output
};

// Statement numbers of the Start handler that a worker reports at. A flip that cannot load its
// file reports nothing: it is named at the end, and FlipLoad is where it failed.
namespace statement {
inline constexpr int FlipLoad = 124;
inline constexpr int FlipSaveBitmap = 142;
inline constexpr int FlipSaveJpeg = 164;
inline constexpr int FlipSaveGif = 170;
inline constexpr int FlipSavePng = 176;
inline constexpr int FlipSaveTiff = 182;
inline constexpr int RotateLoad = 210;
inline constexpr int RotateCalc = 212;
inline constexpr int RotateDraw = 224;
inline constexpr int RotateSaveBitmap = 230;
inline constexpr int RotateSaveJpeg = 252;
inline constexpr int RotateSaveGif = 258;
inline constexpr int RotateSavePng = 264;
inline constexpr int RotateSaveTiff = 270;
}  // namespace statement

// A report's description as one line that does not repeat the file's path: the CR LF and CR
// line breaks of the program's messages become spaces, and a leading "PATH " is dropped ("PATH
// cannot be loaded: ..." gives "cannot be loaded: ..."). Pure.
QString reasonWithoutPath(const QString& description, const QString& path);

// Runs one statement of the Start handler off the driving thread: what it throws becomes a
// report at that statement in reports, to be shown when the file is delivered. False when it
// threw.
bool runStatement(int number, std::vector<FileReport>& reports,
                  const std::function<void()>& statement);

// The statement that writes the output of a class in a run of an operation.
int writingStatement(FormatClass formatClass, Operation operation);

class AtomicFile;
class MemoryBudget;
class RunOrder;

// The memory one file needs while it is worked on, in bytes, judged from its header: the
// decoded picture, plus the turned copy in a rotate run. 64 MiB when the header tells nothing.
qint64 memoryNeededFor(const QString& path, Operation operation);

// Decodes, transforms and writes one planned file. Runs on a worker thread; never throws and
// never asks anything. Takes its turn in order and waits for room in budget (when given) before
// decoding; takes its JPEG quality and its right to the output name from order. When cancelled
// turns true before the output is committed, nothing is written and the outcome is Skipped.
// Always tells order that the file has ended, unless it hands its output on unfinished.
//
// Given unfinished, a JPEG output is left there written but unfinished (not synced, not under its
// name), and the caller must pass it to finishFileJob: the worker can then go on with the next
// file while another thread waits for the disk. The result is final only after that.
FileResult runFileJob(const PlannedFile& file, const std::atomic_bool& cancelled, RunOrder& order,
                      MemoryBudget* budget = nullptr,
                      std::unique_ptr<AtomicFile>* unfinished = nullptr);
// Commits the output runFileJob left unfinished and tells order that the file has ended: the
// file's final result. Never throws; any thread.
FileResult finishFileJob(const PlannedFile& file, FileResult result, AtomicFile& output,
                         RunOrder& order);

}  // namespace zentavo
