#include "timing/TimeBase.h"

#include "platform/Clock.h"
#include "platform/Errors.h"

#include <limits>

namespace timing {

namespace {
__extension__ typedef __int128 Int128;
} // namespace

Ticks counterToTicks(std::int64_t counter, std::int64_t frequency)
{
    if (frequency == 0) {
        if (counter == 0)
            throw platform::EInvalidOp(QStringLiteral("Invalid floating point operation"));
        throw platform::EZeroDivide(QStringLiteral("Floating point division by zero"));
    }
    // 10000 * counter needs more than 64 bits once the counter passes 2^63 / 10000.
    const Int128 p = Int128(counter) * TicksPerSecond;
    const Int128 f = frequency;
    Int128 q = p / f;
    const Int128 r = p % f;
    const Int128 twiceR = r < 0 ? -2 * r : 2 * r;
    const Int128 absF = f < 0 ? -f : f;
    const bool negative = (p < 0) != (f < 0);
    if (twiceR > absF || (twiceR == absF && (q & 1) != 0))
        q += negative ? -1 : 1;
    constexpr Int128 lo = std::numeric_limits<Ticks>::min();
    constexpr Int128 hi = std::numeric_limits<Ticks>::max();
    return Ticks(q < lo ? lo : q > hi ? hi : q);
}

Ticks GetTicks()
{
    const platform::Clock &clock = platform::clock();
    const std::int64_t frequency = clock.frequency();
    return counterToTicks(clock.counter(), frequency);
}

namespace {

QString padded(long long value, int width)
{
    QString text = QString::number(value);
    // The sign counts as a character, as the zeros go in front of it.
    if (text.size() < width)
        text.prepend(QString(width - text.size(), u'0'));
    return text;
}

} // namespace

QString TicksToStr(Ticks t)
{
    const Ticks fraction = t % TicksPerSecond;
    const Ticks t1 = t / TicksPerSecond;
    const Ticks seconds = t1 % 60;
    const auto minutes = static_cast<std::int32_t>(t1 / 60);
    return padded(minutes, 2) + u':' + padded(seconds, 2) + u'.' + padded(fraction, 4);
}

} // namespace timing
