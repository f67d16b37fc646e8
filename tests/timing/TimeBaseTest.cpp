#include "platform/Errors.h"
#include "timing/TimeBase.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using timing::counterToTicks;
using timing::Ticks;
using timing::TicksToStr;

TEST(TicksToStr, RendersMinutesSecondsAndFourDecimals)
{
    const struct
    {
        Ticks ticks;
        const char *text;
    } rows[] = {
        {0, "00:00.0000"},         {670452, "01:07.0452"},       {600000, "01:00.0000"},
        {5999999, "09:59.9999"},   {60000000, "100:00.0000"},    {1, "00:00.0001"},
        {9999, "00:00.9999"},      {10000, "00:01.0000"},        {35999999, "59:59.9999"},
        // Minutes are written from their low 32 bits.
        {Ticks(600000) * (Ticks(1) << 32), "00:00.0000"},
        // Negative parts keep their sign, padded in front of it.
        {-1, "00:00.00-1"},        {-670452, "-1:-7.-452"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(TicksToStr(row.ticks).toStdString(), row.text) << row.ticks;
}

TEST(CounterToTicks, RoundsToNearestWithTiesToEven)
{
    const struct
    {
        std::int64_t counter;
        std::int64_t frequency;
        Ticks ticks;
    } rows[] = {
        {0, 1'000'000'000, 0},
        {1'000'000'000, 1'000'000'000, 10000},
        {49'999, 1'000'000'000, 0},     // 0.49999 tick
        {50'000, 1'000'000'000, 0},     // 0.5 tick: tie to even 0
        {50'001, 1'000'000'000, 1},
        {150'000, 1'000'000'000, 2},    // 1.5 ticks: tie to even 2
        {250'000, 1'000'000'000, 2},    // 2.5 ticks: tie to even 2
        {-150'000, 1'000'000'000, -2},
        {-250'001, 1'000'000'000, -3},
        {3, 20000, 2},                  // 1.5 ticks
        {1, 3, 3333},
        {2, 3, 6667},
    };
    for (const auto &row : rows)
        EXPECT_EQ(counterToTicks(row.counter, row.frequency), row.ticks)
            << row.counter << " / " << row.frequency;
}

TEST(CounterToTicks, StaysExactPastTheSixtyFourBitProduct)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t limit = max / 10000; // last counter whose product fits
    constexpr std::int64_t gigahertz = 1'000'000'000;

    // At 1 GHz the tick count is the counter divided by 100000, rounded.
    for (const std::int64_t counter :
         {limit - 1, limit, limit + 1, limit * 2, limit * 5000, max - 1, max}) {
        const std::int64_t q = counter / 100000;
        const std::int64_t r = counter % 100000;
        const std::int64_t expected = q + (r > 50000 || (r == 50000 && (q & 1)));
        EXPECT_EQ(counterToTicks(counter, gigahertz), expected) << counter;
    }
    // Ties above the limit still go to even.
    constexpr std::int64_t even = 10'000'000'000;
    EXPECT_EQ(counterToTicks(even * 100000 + 50000, gigahertz), even);
    EXPECT_EQ(counterToTicks((even + 1) * 100000 + 50000, gigahertz), even + 2);
    // Beyond the 64-bit tick range the result saturates instead of wrapping.
    EXPECT_EQ(counterToTicks(max, 1), max);
    EXPECT_EQ(counterToTicks(std::numeric_limits<std::int64_t>::min(), 1),
              std::numeric_limits<std::int64_t>::min());
}

TEST(CounterToTicks, MissingCounterRaisesTheFloatingPointErrors)
{
    try {
        counterToTicks(12345, 0);
        FAIL() << "no error";
    } catch (const platform::EZeroDivide &e) {
        EXPECT_EQ(e.message(), "Floating point division by zero");
    }
    try {
        counterToTicks(0, 0);
        FAIL() << "no error";
    } catch (const platform::EInvalidOp &e) {
        EXPECT_EQ(e.message(), "Invalid floating point operation");
    }
}
