#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <time.h>
#include <type_traits>

namespace comm {

// Lets any thread cut short a blocking call of the thread that watches a serial port,
// at any moment: the kernel's modem-line wait cannot be ended any other way. A wake that
// comes before the call has started ends it as soon as it starts, so none is lost.
//
// The wake is a real-time signal that had no handler when the first wake was made, sent
// to the attached thread only; the previous disposition comes back when the last wake is
// destroyed. The waiting thread keeps every signal blocked outside run() and sleep().
// A per-thread timer raises the same signal, so that a blocked call can also be bounded.
class SerialWake
{
public:
    // Throws std::runtime_error when every real-time signal is taken by someone else.
    SerialWake();
    ~SerialWake();
    SerialWake(const SerialWake &) = delete;
    SerialWake &operator=(const SerialWake &) = delete;

    // On the waiting thread, before it first looks at what a wake may announce.
    void attach();
    // On the waiting thread as it ends; later wakes do nothing, none is left pending.
    void detach();

    // From any thread.
    void wake();

    // On the attached thread: the next run() or sleep() ends at the latest `ns` from now
    // (0 disarms). An expiry outside run() ends the next one at once, like a wake.
    void bound(std::int64_t ns);

    // On the attached thread: runs call(); false when a wake cut it short. The call must
    // hold no lock and own nothing that needs cleaning up while it blocks. A blocking
    // system call in it may also just return EINTR.
    template <typename F> bool run(F &call)
    {
        // A wake leaves the call by a long jump, past every destructor on its way: a
        // callable that owns something (a string, a std::function, a lock) would leak it
        // or leave it locked. Capture pointers and references only.
        static_assert(std::is_trivially_destructible_v<F>,
                      "SerialWake::run: the call must own nothing (trivially destructible)");
        return runRaw([](void *f) { (*static_cast<F *>(f))(); }, &call);
    }

    // On the attached thread: blocks until a wake comes (or has come since the last run).
    void sleep();

    // The attached thread's id, 0 when none.
    pid_t threadId() const { return m_tid.load(); }

    // The signal in use while any wake exists, 0 otherwise.
    static int signalNumber();

private:
    bool runRaw(void (*call)(void *), void *arg);

    std::mutex m_mutex;
    std::atomic<pid_t> m_tid{0};
    timer_t m_timer{};
    bool m_hasTimer = false;
};

} // namespace comm
