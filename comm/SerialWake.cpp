#include "comm/SerialWake.h"

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <unistd.h>

namespace comm {

namespace {

thread_local sigjmp_buf *volatile t_jump = nullptr;

void onWake(int)
{
    if (sigjmp_buf *jump = t_jump)
        siglongjmp(*jump, 1);
}

// The signal is shared by every wake of the process; it is taken from the system while
// at least one wake exists.
std::mutex g_signalMutex;
int g_signal = 0;
int g_users = 0;
struct sigaction g_previous
{
};

int takeSignal()
{
    std::lock_guard lock(g_signalMutex);
    if (g_users++ > 0)
        return g_signal;
    // Counting down from the top keeps clear of the low numbers that threading and
    // audio libraries tend to take.
    for (int sig = SIGRTMAX - 1; sig >= SIGRTMIN + 2; --sig) {
        struct sigaction current
        {
        };
        if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = onWake;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: an interrupted wait must not resume.
        action.sa_flags = 0;
        if (sigaction(sig, &action, &g_previous) != 0)
            continue;
        g_signal = sig;
        return sig;
    }
    --g_users;
    throw std::runtime_error("serial wake: every real-time signal already has a handler");
}

void releaseSignal()
{
    std::lock_guard lock(g_signalMutex);
    if (--g_users > 0)
        return;
    sigaction(g_signal, &g_previous, nullptr);
    g_signal = 0;
}

sigset_t wakeSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, g_signal);
    return set;
}

} // namespace

SerialWake::SerialWake()
{
    takeSignal();
}

SerialWake::~SerialWake()
{
    releaseSignal();
}

int SerialWake::signalNumber()
{
    std::lock_guard lock(g_signalMutex);
    return g_signal;
}

void SerialWake::attach()
{
    // Process signals go to the other threads; faults stay deliverable.
    sigset_t all;
    sigfillset(&all);
    for (int fault : {SIGBUS, SIGFPE, SIGILL, SIGSEGV})
        sigdelset(&all, fault);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::lock_guard lock(m_mutex);
    const pid_t tid = gettid();
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = g_signal;
    event._sigev_un._tid = tid;
    m_hasTimer = timer_create(CLOCK_MONOTONIC, &event, &m_timer) == 0;
    m_tid.store(tid);
}

void SerialWake::detach()
{
    {
        std::lock_guard lock(m_mutex);
        m_tid.store(0);
        if (m_hasTimer)
            timer_delete(m_timer);
        m_hasTimer = false;
    }
    // Nothing reaches this thread any more; what is still pending goes.
    const sigset_t set = wakeSet();
    const timespec zero{};
    while (sigtimedwait(&set, nullptr, &zero) > 0) {
    }
}

void SerialWake::wake()
{
    // Under the lock the attached thread cannot detach and end meanwhile, so the id is
    // never one the kernel has handed to another thread.
    std::lock_guard lock(m_mutex);
    if (const pid_t tid = m_tid.load())
        tgkill(getpid(), tid, g_signal);
}

void SerialWake::bound(std::int64_t ns)
{
    if (!m_hasTimer)
        return;
    itimerspec spec{};
    spec.it_value.tv_sec = time_t(ns / 1'000'000'000);
    spec.it_value.tv_nsec = long(ns % 1'000'000'000);
    timer_settime(m_timer, 0, &spec, nullptr);
}

void SerialWake::sleep()
{
    // Takes the signal without running the handler: a wake that came earlier is pending
    // and ends the sleep at once, and nothing jumps.
    const sigset_t set = wakeSet();
    while (sigwaitinfo(&set, nullptr) < 0 && errno == EINTR) {
    }
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

} // namespace comm
