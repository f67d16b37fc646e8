#include "comm/SerialPollTimer.h"

#include "platform/Clock.h"

#include <cerrno>

namespace comm {

namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;
// Deadlines missed by more than this many periods are skipped, not caught up.
constexpr std::int64_t MaxBehind = 10;

} // namespace

std::int64_t SerialPollTimer::nowNs()
{
    return platform::monotonicNs();
}

void SerialPollTimer::start()
{
    m_deadline = nowNs();
}

std::int64_t SerialPollTimer::waitNext(std::int64_t periodNs)
{
    m_deadline += periodNs;
    const std::int64_t now = nowNs();
    if (now - m_deadline > MaxBehind * periodNs)
        m_deadline += (now - m_deadline) / periodNs * periodNs;
    const timespec at{time_t(m_deadline / NsPerSecond), long(m_deadline % NsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    return m_deadline;
}

} // namespace comm
