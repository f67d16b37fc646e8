#pragma once

#include <cstdint>
#include <ctime>

namespace comm {

// Paces the status reads of a port whose driver cannot wait for a line change, on fixed
// deadlines: a late wake does not move the ones after it, so the reads keep their rate.
// Only when it has fallen far behind (a suspended machine) does it skip ahead, on the
// same grid.
class SerialPollTimer
{
public:
    static constexpr std::int64_t FinePeriodNs = 100'000;     // 10 kHz, while a run is armed
    static constexpr std::int64_t CoarsePeriodNs = 1'000'000; // 1 kHz, while idle

    // On the polling thread: the first deadline is now.
    void start();
    // Sleeps until the deadline `periodNs` after the previous one; returns that deadline
    // in CLOCK_MONOTONIC nanoseconds.
    std::int64_t waitNext(std::int64_t periodNs);

    static std::int64_t nowNs();

private:
    std::int64_t m_deadline = 0;
};

} // namespace comm
