#pragma once

#include <atomic>
#include <sys/types.h>

namespace platform {

// Lets any thread cut short a blocking call of the thread that watches a serial port,
// at any moment: the kernel's modem-line wait cannot be ended any other way. A wake that
// comes before the call has started ends it as soon as it starts, so none is lost.
//
// The waiting thread keeps every signal blocked outside run(); a wake is a signal to that
// thread whose handler jumps out of run().
class SerialWake
{
public:
    SerialWake();

    // On the waiting thread, before it first looks at what a wake may announce.
    void attach();
    // On the waiting thread as it ends; later wakes do nothing.
    void detach();

    // From any thread.
    void wake();

    // On the attached thread: runs call(); false when a wake cut it short. The call must
    // hold no lock and own nothing that needs cleaning up while it blocks.
    template <typename F> bool run(F &call)
    {
        return runRaw([](void *f) { (*static_cast<F *>(f))(); }, &call);
    }

    // On the attached thread: blocks until a wake comes (or has come since the last run).
    void sleep();

    // The attached thread's id, 0 when none.
    pid_t threadId() const { return m_tid.load(); }

private:
    bool runRaw(void (*call)(void *), void *arg);

    std::atomic<pid_t> m_tid{0};
};

} // namespace platform
