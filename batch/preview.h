#pragma once

#include "batch/joboptions.h"
#include "imagefiles/picture/picture.h"

namespace zentavo {

// The picture as a run with options would write it, made from before (a picture as loaded,
// upright, usually reduced for the screen) by the run's own moves: the mirror of a flip, the
// canvas and draw of a turn. options are read once, at the call: the operation, the flip
// direction and the rotation text. With no operation chosen it is before unchanged. Throws
// ZentavoError as the run's statements throw (a turn too large for a canvas, memory). Any
// thread; for a picture of screen size it takes a millisecond or two.
Picture previewAfter(const Picture& before, const JobOptions& options);

}  // namespace zentavo
