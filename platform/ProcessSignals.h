#pragma once

namespace platform {

// The signal dispositions the program runs with, set before anything is written: beyond a
// file-size limit (ulimit -f) a write then fails with EFBIG, which the export reports as
// "Disk full" and a settings save as its own error, instead of SIGXFSZ ending the program
// and the runs with it.
void setProgramSignalDispositions();

} // namespace platform
