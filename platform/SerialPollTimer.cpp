#include "platform/SerialPollTimer.h"

#include <cerrno>
#include <sys/prctl.h>

namespace platform {

namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;

std::int64_t toNs(const timespec &ts)
{
    return std::int64_t(ts.tv_sec) * NsPerSecond + ts.tv_nsec;
}

timespec fromNs(std::int64_t ns)
{
    return timespec{time_t(ns / NsPerSecond), long(ns % NsPerSecond)};
}

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return toNs(ts);
}

} // namespace

void SerialPollTimer::start()
{
    // The default slack of 50 us would stretch every period by half.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    m_next = fromNs(nowNs());
}

void SerialPollTimer::waitNext()
{
    std::int64_t next = toNs(m_next) + PeriodNs;
    const std::int64_t now = nowNs();
    if (next <= now - PeriodNs)
        next = now + PeriodNs;
    m_next = fromNs(next);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &m_next, nullptr) == EINTR) {
    }
}

} // namespace platform
