#pragma once

#include "comm/SerialPort.h"
#include "comm/SerialWake.h"
#include "comm/WakeLateness.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <thread>

namespace comm {

// A second pair of eyes on a port while its watcher blocks in the kernel's change wait.
// The kernel compares with the line counters it finds as the wait begins, so a line that
// moves in the instant between the watcher's last look and that snapshot does not end the
// wait. The lookout looks at the counters a few times shortly after the wait began and,
// if they moved, ends the wait. Then it sleeps until the next wait: nothing wakes it
// periodically while the lines stay still.
class SerialLookout
{
public:
    // The looks come this long after the wait began, then 4 and 16 times as long.
    static constexpr std::int64_t FirstLookNs = 200'000;
    static constexpr int Looks = 3;
    // After finding a line moved, the lookout lets the kernel's own wake (which may be on
    // its way) come first for this long, so that a change the wait did see is not taken
    // for one it missed.
    static constexpr std::int64_t GraceNs = 100'000;

    // How the looks during one wait went.
    struct Verdict
    {
        bool moved = false;     // a line had moved unseen; the lookout ended the wait
        bool quietLook = false; // a look found the lines as the last read left them
        std::int64_t quietNs = 0; // CLOCK_MONOTONIC of the last such look
    };

    // Ends the wait of the thread attached to `wake`. Starts a thread of its own, which
    // inherits the caller's scheduling and signal mask. `resting`, if given, tells whether
    // the lookout is done with the wait now watched (its looks made): a change from then
    // on can only end that wait by the kernel's own wake. `confirmed`, if given, tells
    // whether every look of that wait found the lines still, so that the kernel's snapshot
    // holds what the last read saw. `lateness`, if given, learns how late each look woke.
    explicit SerialLookout(comm::SerialWake &wake, std::atomic<bool> *resting = nullptr,
                           std::atomic<bool> *confirmed = nullptr,
                           comm::WakeLateness *lateness = nullptr);
    ~SerialLookout();
    SerialLookout(const SerialLookout &) = delete;
    SerialLookout &operator=(const SerialLookout &) = delete;

    // On the watching thread, right before it enters the change wait on `port`, which
    // must stay open until stop().
    void watch(comm::SerialPort &port);
    // On the watching thread once the wait has ended: no look touches the port after this.
    Verdict stop();

    // The lookout thread's kernel id, 0 until it runs.
    pid_t threadId() const { return m_tid.load(); }
    // Looks made so far.
    std::int64_t looks() const { return m_looks.load(); }

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    comm::SerialWake &m_wake;
    comm::SerialPort *m_port = nullptr;     // while a wait is watched
    std::uint64_t m_wait = 0;               // counts the waits watched
    std::int64_t m_since = 0;               // when the current wait began
    Verdict m_verdict;
    bool m_end = false;
    std::atomic<pid_t> m_tid{0};
    std::atomic<std::int64_t> m_looks{0};
    std::atomic<bool> *m_resting;
    std::atomic<bool> *m_confirmed;
    comm::WakeLateness *m_lateness;
    std::thread m_thread;
};

} // namespace comm
