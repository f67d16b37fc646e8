#include "platform/SerialWake.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// Default action "ignore", and debuggers pass it on quietly.
constexpr int WakeSignal = SIGURG;

thread_local sigjmp_buf *volatile t_jump = nullptr;

void onWake(int)
{
    if (sigjmp_buf *jump = t_jump)
        siglongjmp(*jump, 1);
}

// The kernel's scheduling attributes (sched_setattr has no C library wrapper).
struct SchedAttr
{
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime;
    std::uint64_t deadline;
    std::uint64_t period;
};

// Normal priority, but short time slices: the scheduler then lets the thread run soon
// after its wake instead of at the end of a busy thread's slice. Kernels before 6.12
// ignore the slice.
void askForShortSlices()
{
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.runtime = 100'000;
    syscall(SYS_sched_setattr, 0, &attr, 0);
}

sigset_t wakeSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, WakeSignal);
    return set;
}

} // namespace

SerialWake::SerialWake()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action
        {
        };
        action.sa_handler = onWake;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: an interrupted wait must not resume.
        action.sa_flags = 0;
        sigaction(WakeSignal, &action, nullptr);
    });
}

void SerialWake::attach()
{
    // Process signals go to the other threads; faults stay deliverable.
    sigset_t all;
    sigfillset(&all);
    for (int fault : {SIGBUS, SIGFPE, SIGILL, SIGSEGV})
        sigdelset(&all, fault);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    askForShortSlices();
    m_tid.store(gettid());
}

void SerialWake::detach()
{
    m_tid.store(0);
}

void SerialWake::wake()
{
    // A thread that has just ended may still be named here: the kernel then reports
    // ESRCH, and a reused id inside this process only sees a harmless extra wake.
    if (const pid_t tid = m_tid.load())
        tgkill(getpid(), tid, WakeSignal);
}

void SerialWake::sleep()
{
    // The raw call: the C library's blocking wrappers keep cancellation state that a jump
    // out of them would leave behind.
    auto block = [] {
        for (;;)
            syscall(SYS_ppoll, nullptr, 0, nullptr, nullptr, 0);
    };
    run(block);
}

bool SerialWake::runRaw(void (*call)(void *), void *arg)
{
    sigjmp_buf jump;
    // The mask is not saved: after the jump the handler's mask, with the wake signal
    // blocked, stays in force, which is the state outside run().
    if (sigsetjmp(jump, 0) != 0) {
        t_jump = nullptr;
        return false;
    }
    t_jump = &jump;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const sigset_t set = wakeSet();
    // A wake that came earlier is pending and arrives right here.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    call(arg);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_jump = nullptr;
    return true;
}

} // namespace platform
