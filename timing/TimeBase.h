#pragma once

#include <QString>
#include <cstdint>

namespace timing {

// One tick is 1/10000 s.
using Ticks = std::int64_t;
inline constexpr Ticks TicksPerSecond = 10000;

// Seconds of a tick count.
inline long double secondsOf(long double ticks)
{
    return ticks / static_cast<long double>(TicksPerSecond);
}

// nearest(10000 * counter / frequency), ties to even, exact for every counter value.
// Throws EZeroDivide for frequency 0 (EInvalidOp when the counter is 0 as well).
// Results beyond the 64-bit range saturate.
Ticks counterToTicks(std::int64_t counter, std::int64_t frequency);

// The current tick count of platform::clock(); the frequency is read on every call.
Ticks GetTicks();

// MM:SS.ffff; minutes have at least two digits and no upper width.
QString TicksToStr(Ticks t);

} // namespace timing
