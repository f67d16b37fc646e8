#include "session/ArmedState.h"
#include "app/ProjectorView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using session::ArmedState;

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
        EXPECT_EQ(session::armedState({r.portOpen, r.line1, r.line2, r.running, r.hasStoppedRun}),
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
        EXPECT_EQ(session::armedStateText(r.state), QString::fromUtf8(r.text));
        const QColor c = session::armedStateColor(r.state);
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

TEST(ArmedState, InTheFlagModesOnlyAHeldLineIsAFault)
{
    constexpr bool T = true, F = false;
    const struct
    {
        bool portOpen, line1, line2, running, stopped, held1, held2;
        ArmedState expected;
    } rows[] = {
        // A flag standing in a barrier during a pass is the pass, not a fault.
        {T, T, F, T, F, F, F, ArmedState::Running},
        {T, T, T, F, F, F, F, ArmedState::Ready},
        {T, F, F, F, T, F, F, ArmedState::Stopped},
        // A pendulum at rest in its barrier when armed waits for its release.
        {T, T, F, F, F, T, F, ArmedState::ContactFault},
        {T, F, T, T, F, F, T, ArmedState::ContactFault},
        {F, T, T, F, F, F, F, ArmedState::NoPort},
    };
    for (const auto &r : rows) {
        session::ArmedInputs in{r.portOpen, r.line1, r.line2, r.running, r.stopped};
        in.flagMode = true;
        in.held1 = r.held1;
        in.held2 = r.held2;
        EXPECT_EQ(session::armedState(in), r.expected)
            << r.portOpen << r.line1 << r.line2 << r.running << r.stopped << r.held1 << r.held2;
    }
}

} // namespace
