#pragma once

#include <functional>
#include <thread>

namespace platform {

// The signal dispositions the program runs with, set before anything is written: beyond a
// file-size limit (ulimit -f) a write then fails with EFBIG, which the export reports as
// "Disk full" and a settings save as its own error, instead of SIGXFSZ ending the program
// and the runs with it.
void setProgramSignalDispositions();

// Starts a thread with every signal blocked, so that no process signal and no wake reaches
// it before it is ready; the caller's own mask is left as it was.
std::thread startWithSignalsBlocked(std::function<void()> body);

} // namespace platform
