#pragma once

#include "imagefiles/files/finalname.h"

#include <QString>

namespace zentavo {

enum class Operation { None, Flip, Rotate };
enum class FlipDirection { None, Horizontal, Vertical };
// Lossless: JPEG outputs of JPEG inputs are flipped or turned on their compressed data; the
// others are encoded at the Smart-Detect quality.
enum class QualityMode { None, Fixed, SmartDetect, Lossless };

// The user's choices that a run reads, live: each call returns the state of its control at that
// moment, so a choice changed during a run reaches the files that read it afterwards. The window
// implements it over its controls, the command line over its options, tests directly.
// Called on the thread that drives the engine (the GUI thread in the window).
class JobOptions {
public:
    virtual ~JobOptions() = default;

    virtual Operation operation() const = 0;
    virtual FlipDirection flipDirection() const = 0;
    // The rotation text: "-90", "-180" or "-270" (clockwise turns are negative).
    virtual QString degrees() const = 0;
    virtual QualityMode qualityMode() const = 0;
    // The slider's position as the control holds it; fixedQuality() converts it.
    virtual int sliderValue() const = 0;
    virtual QString resultsFolder() const = 0;
    // True when outputs carry the pixels, colour profile and resolution only: no EXIF, XMP,
    // IPTC, comments or text. The window keeps everything.
    virtual bool stripMetadata() const { return false; }
    // True when an entry added from a folder is written under the results folder at its place
    // in that folder's tree (FileList::treeFolder), the sub-folders made as needed.
    virtual bool keepTree() const { return false; }
    // What happens when an output's name is taken when it is written.
    virtual ExistingOutput existingOutput() const { return ExistingOutput::Replace; }
    // True when each output takes its input's modification and access times.
    virtual bool keepDates() const { return false; }
};

// The slider position as a byte. Throws ZentavoError(Overflow) outside 0 to 255.
int fixedQuality(const JobOptions& options);

// A plain set of options, for the command line and tests.
struct FixedJobOptions : JobOptions {
    Operation op = Operation::Flip;
    FlipDirection direction = FlipDirection::Horizontal;
    QString rotation = QStringLiteral("-90");
    QualityMode quality = QualityMode::SmartDetect;
    int slider = 85;
    QString folder;
    bool strip = false;
    bool tree = false;
    ExistingOutput existing = ExistingOutput::Replace;
    bool dates = false;

    Operation operation() const override { return op; }
    FlipDirection flipDirection() const override { return direction; }
    QString degrees() const override { return rotation; }
    QualityMode qualityMode() const override { return quality; }
    int sliderValue() const override { return slider; }
    QString resultsFolder() const override { return folder; }
    bool stripMetadata() const override { return strip; }
    bool keepTree() const override { return tree; }
    ExistingOutput existingOutput() const override { return existing; }
    bool keepDates() const override { return dates; }
};

}  // namespace zentavo
