#pragma once

#include <sys/types.h>

namespace comm {

// Asks the desktop's RealtimeKit service (over the system bus) to give thread `tid` of
// this process real-time scheduling. Does not wait for the answer; without a
// QCoreApplication, a system bus or the service, nothing happens. Asks at most once.
void requestRealtimeKit(pid_t tid);

} // namespace comm
