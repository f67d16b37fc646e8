#include "timing/Chronometer.h"

#include "protocol/ProtocolExport.h"

#include "support/FakeClock.h"
#include "support/FakeLines.h"

#include <gtest/gtest.h>

#include <vector>

using timing::Chronometer;
using timing::Ticks;

namespace {

// Also reports late instants and records each arming of the port.
struct Lines : FakeLines
{
    bool late = false;
    double uncertainty = 0;
    std::vector<bool> armed;
    bool changeLate() const override { return late; }
    double changeUncertainty() const override { return uncertainty; }
    void setArmed(bool on) override { armed.push_back(on); }
};

enum Action { Contact1, Contact2, Reset };

TEST(Chronometer, ContactsAndResetFollowTheRun)
{
    const struct
    {
        Action action;
        std::optional<Ticks> at;
        bool took;
        bool running;
        Ticks start, stop;
    } steps[] = {
        {Contact2, {}, false, false, 0, 0},                       // stop while stopped: nothing
        {Contact1, {}, true, true, 1'000'200, 0},                 // the clock's instant
        {Contact1, 5, false, true, 1'000'200, 0},                 // start while running: nothing
        {Contact2, 1'000'500, true, false, 1'000'200, 1'000'500}, // the line's instant
        {Contact1, 7, true, true, 7, 1'000'500},
        {Reset, {}, true, false, 0, 0},
        {Reset, {}, true, false, 0, 0},
    };
    FakeClock clock;
    Lines lines;
    Chronometer chrono(lines);
    int index = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(index++);
        clock.advance(100);
        const std::size_t armings = lines.armed.size();
        bool took = true;
        if (s.action == Contact1)
            took = chrono.DoContact1(s.at);
        else if (s.action == Contact2)
            took = chrono.DoContact2(s.at);
        else
            chrono.DoReset();
        EXPECT_EQ(took, s.took);
        EXPECT_EQ(chrono.running(), s.running);
        EXPECT_EQ(chrono.startTicks(), s.start);
        EXPECT_EQ(chrono.stopTicks(), s.stop);
        // The port is watched finely from a start or reset until the stop.
        ASSERT_EQ(lines.armed.size(), armings + (s.took ? 1 : 0));
        if (s.took) {
            EXPECT_EQ(lines.armed.back(), s.action != Contact2);
        }
    }
}

// Lines as read, after the polarity: a contact fires on its line's rising edge only.
TEST(Chronometer, LinesFireOnRisingEdgesUnlessSuppressed)
{
    struct Reading
    {
        bool dsr, cts;
        bool suppressed;
        bool fired1, fired2;
    };
    const struct
    {
        const char *name;
        bool active, inverted;
        std::vector<Reading> readings;
    } cases[] = {
        // The memory starts as on, as the lamps do.
        {"lines found on at first fire nothing", true, false,
         {{true, true, false, false, false}, {false, false, false, false, false},
          {true, false, false, true, false}, {false, true, false, false, true}}},
        // Both closing on one reading (a cable pulled) fires neither; both wait for release.
        {"both at once fire nothing", true, false,
         {{false, false, false, false, false}, {true, true, false, false, false},
          {true, false, false, false, false}, {false, false, false, false, false},
          {true, false, false, true, false}}},
        {"inverted: a line counts as on while off", true, true,
         {{true, true, false, false, false}, {false, true, false, true, false},
          {false, false, false, false, true}}},
        {"suppressed readings are remembered, not fired", true, false,
         {{false, false, true, false, false}, {true, false, true, false, false},
          {true, false, false, false, false}, {false, false, false, false, false},
          {true, false, false, true, false}}},
        {"an inactive port reads both lines off", false, true,
         {{false, false, false, false, false}, {true, true, false, false, false}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        Lines lines;
        lines.active = c.active;
        Chronometer chrono(lines);
        chrono.setInverted(c.inverted);
        for (const Reading &r : c.readings) {
            lines.dsr = r.dsr;
            lines.cts = r.cts;
            const auto evaluate = [&] {
                EXPECT_EQ(chrono.suppressed(), r.suppressed);
                return chrono.EvaluateLines();
            };
            timing::Fired fired;
            if (r.suppressed) {
                const auto suppression = chrono.suppress();
                fired = evaluate();
            } else {
                fired = evaluate();
            }
            EXPECT_EQ(fired.contact1, r.fired1);
            EXPECT_EQ(fired.contact2, r.fired2);
            EXPECT_EQ(chrono.line1(), c.active && r.dsr != c.inverted);
            EXPECT_EQ(chrono.line2(), c.active && r.cts != c.inverted);
        }
        EXPECT_FALSE(chrono.suppressed());
    }
}

TEST(Chronometer, EntryValuesAndLateMark)
{
    const struct
    {
        Ticks start, stop;
        bool lateStart, lateStop;
        long double meters;
        QChar separator;
        std::array<QString, 3> texts;
        bool late;
    } cases[] = {
        {100, 12'101, false, false, 0.15L, u',', {"00:01.2001", "0,150 m", "0,125 m/s"}, false},
        {0, 670'452, false, true, 2.0L, u'.', {"01:07.0452", "2.000 m", "0.030 m/s"}, true},
        {10, 11, true, false, 1.0L, u',', {"00:00.0001", "1,000 m", "10000,000 m/s"}, true},
        // Both contacts on one reading, or a stop before the start: no values, no mark.
        {500, 500, true, true, 0.15L, u',', {"???", "???", "???"}, false},
        {500, 400, false, false, 0.15L, u',', {"???", "???", "???"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stop);
        Lines lines;
        Chronometer chrono(lines);
        ASSERT_TRUE(chrono.DoContact1(c.start, c.lateStart));
        ASSERT_TRUE(chrono.DoContact2(c.stop, c.lateStop));
        const timing::RunEntry entry = chrono.entry(c.meters);
        EXPECT_EQ(protocol::entryTexts(entry, c.separator), c.texts);
        EXPECT_EQ(entry.late, c.late);
    }
}

// A run's uncertainty adds what the source stated for the start's and the stop's reading;
// keys and buttons take the clock, which states none.
TEST(Chronometer, UncertaintyAddsTheContactsStatedHalfWidths)
{
    const struct
    {
        const char *name;
        std::optional<double> start, stop; // none: by key
        double expectedMs;
    } cases[] = {
        {"both from the port", 0.0005, 0.00025, 0.75},
        {"start by key", std::nullopt, 0.001, 1.0},
        {"stop by key", 0.002, std::nullopt, 2.0},
        {"both by key", std::nullopt, std::nullopt, 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        Lines lines;
        lines.active = true;
        Chronometer chrono(lines);
        // The instant is known only while the change is being reported.
        lines.setOnChanged([&] { chrono.EvaluateLines(); });
        const auto contact = [&](std::optional<double> u, bool dsr, bool cts, Ticks at) {
            clock.set(at); // a key takes the clock's instant
            if (!u) {
                lines.uncertainty = 0.125; // a stale value from an earlier report
                if (dsr)
                    chrono.DoContact1();
                else
                    chrono.DoContact2();
                return;
            }
            lines.uncertainty = *u;
            lines.change(dsr, cts, at);
        };
        lines.change(false, false);
        contact(c.start, true, false, 2'000'000);
        ASSERT_TRUE(chrono.running());
        contact(c.stop, false, true, 2'005'000);
        ASSERT_FALSE(chrono.running());
        EXPECT_DOUBLE_EQ(chrono.entry(0.15L).uncertaintyMs, c.expectedMs);
        chrono.DoReset();
        EXPECT_EQ(chrono.entry(0.15L).uncertaintyMs, 0.0);
    }
}

} // namespace
