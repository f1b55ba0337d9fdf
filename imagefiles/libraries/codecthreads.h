#pragma once

namespace zentavo {

// Threads one file's encoder may run of its own (1 to 64). The engine runs one file per core
// and sets this when a run starts to the cores its workers leave idle: a run of one file, or
// one job on a machine of several cores, lends them to an encoder that can use them (libavif
// through aom). 1 until set. Any thread; the value is read as an encoder starts.
void setCodecThreads(int threads);
int codecThreads();

}  // namespace zentavo
