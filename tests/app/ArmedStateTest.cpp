#include "app/ArmedState.h"
#include "app/ProjectorView.h"
#include "app/RunSummary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using app::ArmedState;

namespace {

TEST(ArmedState, FollowsPortLinesAndClock)
{
    constexpr bool T = true, F = false;
    const struct
    {
        bool portOpen, line1, line2, running, hasStoppedRun;
        ArmedState expected;
    } rows[] = {
        // Reset: both lines must be at rest for the next run.
        {T, F, F, F, F, ArmedState::Ready},
        {T, T, F, F, F, ArmedState::ContactFault},
        {T, F, T, F, F, ArmedState::ContactFault},
        {T, T, T, F, F, ArmedState::ContactFault},
        // Running: contact 2 waits for its edge; contact 1 may still be covered.
        {T, F, F, T, F, ArmedState::Running},
        {T, T, F, T, F, ArmedState::Running},
        {T, F, T, T, F, ArmedState::ContactFault},
        {T, T, T, T, T, ArmedState::ContactFault},
        // Stopped: the object may still stand in a barrier.
        {T, F, F, F, T, ArmedState::Stopped},
        {T, T, F, F, T, ArmedState::Stopped},
        {T, F, T, F, T, ArmedState::Stopped},
        // Without a port the keys still time runs; no line is judged.
        {F, F, F, F, F, ArmedState::NoPort},
        {F, T, T, F, F, ArmedState::NoPort},
        {F, F, F, T, F, ArmedState::Running},
        {F, F, T, T, F, ArmedState::Running},
        {F, F, F, F, T, ArmedState::Stopped},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << r.portOpen << r.line1 << r.line2 << r.running
                                          << r.hasStoppedRun);
        EXPECT_EQ(app::armedState({r.portOpen, r.line1, r.line2, r.running, r.hasStoppedRun}),
                  r.expected);
    }
}

TEST(ArmedState, EachStateHasItsOwnWordsAndColour)
{
    const struct
    {
        ArmedState state;
        const char *text;
    } rows[] = {
        {ArmedState::NoPort, "kein Port"},
        {ArmedState::Ready, "bereit"},
        {ArmedState::Running, "läuft"},
        {ArmedState::Stopped, "gestoppt"},
        {ArmedState::ContactFault, "Kontakt offen/gestört"},
    };
    std::set<QRgb> colours;
    for (const auto &r : rows) {
        EXPECT_EQ(app::armedStateText(r.state), QString::fromUtf8(r.text));
        const QColor c = app::armedStateColor(r.state);
        // Readable on the projector's black and under black text in the window: a contrast
        // ratio of at least 4.5 against black.
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        const double luminance = 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) +
                                 0.0722 * linear(c.blueF());
        EXPECT_GE((luminance + 0.05) / 0.05, 4.5) << r.text;
        colours.insert(c.rgb());
    }
    EXPECT_EQ(colours.size(), std::size(rows));
}

TEST(ProjectorScreen, AnotherScreenOnlyWhenThereIsOneAndTheUserWantsIt)
{
    const struct
    {
        int count, main;
        bool preferOther;
        int expected;
    } rows[] = {
        {1, 0, true, 0},  {1, 0, false, 0}, {2, 0, true, 1}, {2, 1, true, 0},
        {2, 1, false, 1}, {3, 2, true, 0},  {3, 0, true, 1}, {0, 0, true, -1},
        {2, -1, true, 1}, // main window on no known screen: as if on the first
        {2, 5, false, 1},
    };
    for (const auto &r : rows)
        EXPECT_EQ(app::projectorScreenIndex(r.count, r.main, r.preferOther), r.expected)
            << r.count << " " << r.main << " " << r.preferOther;
}

protocol::Run run(std::optional<timing::Ticks> ticks, long double meters)
{
    protocol::Run r;
    r.ticks = ticks;
    r.meters = meters;
    return r;
}

TEST(RunSummary, LastRunCountAndMeansOverTheTimedRuns)
{
    EXPECT_EQ(app::summarize({}), app::RunSummary{});

    const app::RunSummary s = app::summarize({run(5000, 0.15L), run(std::nullopt, 0.15L),
                                              run(7000, 0.15L), run(6000, 0.3L)});
    EXPECT_EQ(s.count, 4);
    EXPECT_EQ(s.lastTicks, 6000);
    EXPECT_NEAR(double(*s.lastSpeed), 0.5, 1e-15);
    EXPECT_NEAR(double(*s.meanTicks), 6000, 1e-12);
    EXPECT_NEAR(double(*s.meanSpeed), (0.3 + 0.15 / 0.7 + 0.5) / 3, 1e-15);

    // A last run without a time shows as such; no timed run gives no means.
    const app::RunSummary untimed = app::summarize({run(std::nullopt, 0.15L)});
    EXPECT_EQ(untimed.count, 1);
    EXPECT_FALSE(untimed.lastTicks || untimed.lastSpeed || untimed.meanTicks || untimed.meanSpeed);

    // Long runs with a tiny spread keep their last digits.
    QList<protocol::Run> runs;
    const timing::Ticks base = 9'000'000'000'000'000;
    for (int i = 0; i < 1000; ++i)
        runs.append(run(base + i % 3, 1));
    // 0.999 to the resolution of a long double at that size (1/1024).
    EXPECT_NEAR(double(*app::summarize(runs).meanTicks - base), 0.999, 1.0 / 1024);
}

} // namespace
