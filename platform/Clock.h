#pragma once

#include <cstdint>

namespace platform {

// The high-resolution performance counter. Replaceable so tests can drive time.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t frequency() const = 0;
    virtual std::int64_t counter() const = 0;
};

// CLOCK_MONOTONIC in nanoseconds, the clock of every instant the serial layer takes.
std::int64_t monotonicNs();

// The monotonic clock as the program's performance counter.
class MonotonicClock final : public Clock
{
public:
    std::int64_t frequency() const override;
    std::int64_t counter() const override;
};

// The clock the program reads; the monotonic clock unless a test installed another.
Clock &clock();
// Installs a clock (nullptr restores the monotonic one). Not thread-safe: call it before
// other threads read the clock.
void setClock(Clock *clock);

} // namespace platform
