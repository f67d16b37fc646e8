#include "comm/SerialLookout.h"

#include "comm/SerialPollTimer.h"

#include <chrono>
#include <sys/prctl.h>
#include <unistd.h>

namespace comm {

namespace {

std::chrono::steady_clock::time_point at(std::int64_t ns)
{
    // steady_clock is CLOCK_MONOTONIC, the clock of every instant here.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
}

} // namespace

SerialLookout::SerialLookout(comm::SerialWake &wake, std::atomic<bool> *resting,
                             std::atomic<bool> *confirmed, comm::WakeLateness *lateness)
    : m_wake(wake), m_resting(resting), m_confirmed(confirmed), m_lateness(lateness)
{
    m_thread = std::thread([this] { run(); });
}

SerialLookout::~SerialLookout()
{
    {
        std::lock_guard lock(m_mutex);
        m_end = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SerialLookout::watch(comm::SerialPort &port)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_wait;
        m_port = &port;
        m_since = comm::SerialPollTimer::nowNs();
        m_verdict = {};
        if (m_resting)
            m_resting->store(false);
        if (m_confirmed)
            m_confirmed->store(false);
    }
    // Also a lookout still asleep until a later look of an earlier wait: else it would
    // miss the first looks of this one, and changes that follow each other within a few
    // milliseconds would never be looked at.
    m_changed.notify_one();
}

SerialLookout::Verdict SerialLookout::stop()
{
    std::lock_guard lock(m_mutex);
    m_port = nullptr;
    return m_verdict;
}

void SerialLookout::run()
{
    m_tid.store(gettid());
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    std::unique_lock lock(m_mutex);
    std::uint64_t done = 0; // the last wait looked after
    while (!m_end) {
        if (!m_port || m_wait == done) {
            if (m_resting)
                m_resting->store(m_port != nullptr);
            m_changed.wait(lock, [&] { return m_end || (m_port && m_wait != done); });
            continue;
        }
        const std::uint64_t wait = m_wait;
        done = wait;
        const auto left = [&] { return m_end || m_wait != wait || !m_port; };
        int quietLooks = 0;
        for (int look = 0; look < Looks; ++look) {
            // Time enough for the watcher to be inside the kernel's wait: a look before
            // the kernel's snapshot would prove nothing.
            const std::int64_t deadline = m_since + (FirstLookNs << (2 * look));
            // Only a sleep that began before its deadline says how late a timer wakes.
            const bool asleepInTime = comm::SerialPollTimer::nowNs() < deadline;
            if (m_changed.wait_until(lock, at(deadline), left) || left())
                break;
            if (m_lateness && asleepInTime)
                m_lateness->note(comm::SerialPollTimer::nowNs() - deadline);
            ++m_looks;
            const comm::SerialPort::Look seen = m_port->lookForChange();
            if (seen == comm::SerialPort::Look::Quiet) {
                m_verdict.quietLook = true;
                m_verdict.quietNs = comm::SerialPollTimer::nowNs();
                ++quietLooks;
                continue;
            }
            if (seen == comm::SerialPort::Look::Moved) {
                const std::int64_t grace = comm::SerialPollTimer::nowNs() + GraceNs;
                if (m_changed.wait_until(lock, at(grace), left) || left())
                    break;
                m_verdict.moved = true;
                m_wake.wake();
            }
            break;
        }
        // Still the same wait: the lock is held since the last look.
        if (m_confirmed && quietLooks == Looks && !left())
            m_confirmed->store(true);
        // A wait that began meanwhile is taken up at the top.
    }
}

} // namespace comm
