#include "platform/Clock.h"

#include <ctime>

namespace platform {

std::int64_t MonotonicClock::frequency() const
{
    return 1'000'000'000;
}

std::int64_t MonotonicClock::counter() const
{
    return monotonicNs();
}

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {
MonotonicClock g_monotonic;
Clock *g_clock = &g_monotonic;
} // namespace

Clock &clock()
{
    return *g_clock;
}

void setClock(Clock *clock)
{
    g_clock = clock ? clock : &g_monotonic;
}

} // namespace platform
