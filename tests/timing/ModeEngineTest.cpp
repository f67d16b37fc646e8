#include "timing/ModeEngine.h"

#include "timing/Chronometer.h"

#include "support/FakeClock.h"
#include "support/FakeLines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <variant>
#include <vector>

using timing::LineEdge;
using timing::MeasurementMode;
using timing::ModeEngine;
using timing::ModeOutput;
using timing::Ticks;

namespace {

struct Poll
{
    Ticks now;
};
struct Reset
{};
using Step = std::variant<LineEdge, Poll, Reset>;

// Every instant read with a tenth of a millisecond of uncertainty.
constexpr double U = 0.0001;

LineEdge on(int line, Ticks at, bool late = false)
{
    return {line, true, at, U, late};
}
LineEdge off(int line, Ticks at, bool late = false)
{
    return {line, false, at, U, late};
}

// A result as the table states it: the main time, its uncertainty, and the extra values by
// name with theirs.
struct Value
{
    const char *name;
    std::optional<long double> value;
    long double uncertainty;
    bool late = false; // the export marks it
};
struct Expected
{
    std::optional<Ticks> ticks;
    long double meters;
    bool late;
    double uncertaintyMs;
    std::vector<Value> values;
};

void expectRun(const timing::ModeRun &run, const Expected &e)
{
    EXPECT_EQ(run.ticks, e.ticks);
    EXPECT_DOUBLE_EQ(double(run.meters), double(e.meters));
    EXPECT_EQ(run.late, e.late);
    EXPECT_NEAR(run.uncertaintyMs, e.uncertaintyMs, 1e-9);
    ASSERT_EQ(run.extra.size(), qsizetype(e.values.size()));
    for (std::size_t i = 0; i < e.values.size(); ++i) {
        const timing::ModeValue &got = run.extra[qsizetype(i)];
        SCOPED_TRACE(e.values[i].name);
        EXPECT_EQ(got.name, QString::fromUtf8(e.values[i].name));
        ASSERT_EQ(got.value.has_value(), e.values[i].value.has_value());
        if (got.value) {
            EXPECT_NEAR(double(*got.value), double(*e.values[i].value), 1e-9);
        }
        EXPECT_NEAR(double(got.uncertainty), double(e.values[i].uncertainty), 1e-9);
        EXPECT_EQ(got.late, e.values[i].late);
    }
}

struct ModeCase
{
    const char *name;
    MeasurementMode mode;
    std::vector<Step> steps;
    std::vector<Expected> runs;
};

void runCases(const std::vector<ModeCase> &cases)
{
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(c.name);
        ModeEngine engine(c.mode);
        engine.setFlagMeters(0.025L);
        engine.setDistanceMeters(0.5L);
        ModeOutput out;
        for (const Step &step : c.steps) {
            if (const auto *edge = std::get_if<LineEdge>(&step))
                engine.feed(*edge, out);
            else if (const auto *poll = std::get_if<Poll>(&step))
                engine.poll(poll->now, out);
            else
                engine.reset();
        }
        EXPECT_TRUE(out.contacts.empty());
        ASSERT_EQ(out.runs.size(), c.runs.size());
        for (std::size_t i = 0; i < c.runs.size(); ++i) {
            SCOPED_TRACE(i);
            expectRun(out.runs[i], c.runs[i]);
        }
    }
}

TEST(DarkTimeMode, EachInterruptionOfEitherBarrierIsARun)
{
    // 25 mm in 0.05 s: 0.5 m/s, uncertain by 0.5 * 0.0002 / 0.05.
    const Expected half{500, 0.025L, false, 0.2, {{"Schranke", 1, 0}, {"v", 0.5L, 0.002L}}};
    runCases({
        {"barrier 1 then barrier 2", MeasurementMode::DarkTime,
         {on(1, 1000), off(1, 1500), on(2, 3000), off(2, 3250), Poll{4000}},
         {half, {250, 0.025L, false, 0.2, {{"Schranke", 2, 0}, {"v", 1.0L, 0.008L}}}}},
        {"a bounce makes no run, a gap in the flag no second one", MeasurementMode::DarkTime,
         {on(1, 900), off(1, 903), on(1, 1000), off(1, 1200), on(1, 1205), off(1, 1500),
          Poll{2000}},
         {half}},
        {"a late-found edge marks the run", MeasurementMode::DarkTime,
         {on(1, 1000, true), off(1, 1500), Poll{2000}},
         {{500, 0.025L, true, 0.2, {{"Schranke", 1, 0}, {"v", 0.5L, 0.002L}}}}},
        {"an interruption without its inactive edge at a reset is dropped",
         MeasurementMode::DarkTime, {on(1, 1000), Reset{}, off(1, 1500), Poll{2000}}, {}},
    });
}

TEST(AccelerationMode, APassThroughBothBarriersIsOneRun)
{
    // v1 = 0.5 m/s, v2 = 1 m/s; the middles are 0.9875 s apart.
    const long double a = 0.5L / 0.9875L;
    const long double ua = (0.002L + 0.008L) / 0.9875L + 0.5L * 0.0002L / (0.9875L * 0.9875L);
    const Expected pass{10000, 0.5L, false, 0.2,
                        {{"t1", 0.05L, 0.0002L}, {"t2", 0.025L, 0.0002L}, {"v1", 0.5L, 0.002L},
                         {"v2", 1.0L, 0.008L}, {"a", a, ua}}};
    runCases({
        {"one pass", MeasurementMode::Acceleration,
         {on(1, 1000), off(1, 1500), on(2, 11000), off(2, 11250), Poll{12000}}, {pass}},
        {"barrier 2 alone is no pass; a second pass at barrier 1 replaces the first",
         MeasurementMode::Acceleration,
         {on(2, 100), off(2, 200), on(1, 300), off(1, 400), on(1, 1000), off(1, 1500),
          on(2, 11000), off(2, 11250), Poll{12000}},
         {pass}},
        {"bounces at either barrier change nothing", MeasurementMode::Acceleration,
         {on(1, 1000), off(1, 1500), on(1, 1502), off(1, 1503), on(2, 10990), off(2, 10995),
          on(2, 11000), off(2, 11250), Poll{12000}},
         {{10000, 0.5L, false, 0.2,
           {{"t1", 0.0503L, 0.0002L}, {"t2", 0.025L, 0.0002L}, {"v1", 0.025L / 0.0503L, 0.025L / 0.0503L * 0.0002L / 0.0503L},
            {"v2", 1.0L, 0.008L},
            {"a", (1 - 0.025L / 0.0503L) / 0.98735L,
             (0.025L / 0.0503L * 0.0002L / 0.0503L + 0.008L) / 0.98735L
                 + (1 - 0.025L / 0.0503L) * 0.0002L / (0.98735L * 0.98735L)}}}}},
        {"a late edge at barrier 2 marks the run and t2, not t1", MeasurementMode::Acceleration,
         {on(1, 1000), off(1, 1500), on(2, 11000), off(2, 11250, true), Poll{12000}},
         {{10000, 0.5L, true, 0.2,
           {pass.values[0], {"t2", 0.025L, 0.0002L, true}, pass.values[2], pass.values[3],
            pass.values[4]}}}},
        {"a reset between the barriers drops the pass", MeasurementMode::Acceleration,
         {on(1, 1000), off(1, 1500), Poll{2000}, Reset{}, on(2, 11000), off(2, 11250),
          Poll{12000}},
         {}},
    });
}

TEST(PendulumMode, EverySecondPassageOfBarrier1EndsAPeriod)
{
    const auto passage = [](Ticks at) { return std::vector<Step>{on(1, at), off(1, at + 200)}; };
    std::vector<Step> swinging;
    for (Ticks at : {0, 7000, 14000, 21000, 28000, 35000}) {
        const auto p = passage(at);
        swinging.insert(swinging.end(), p.begin(), p.end());
    }
    swinging.push_back(Poll{40000});
    std::vector<Step> disturbed = swinging;
    // A bounce between passages and barrier 2 count for nothing.
    disturbed.insert(disturbed.begin() + 2, {on(1, 3000), off(1, 3005), on(2, 3100), off(2, 3300)});
    const Expected period{14000, 0, false, 0.2, {{"Periode", 1.4L, 0.0002L}}};
    runCases({
        {"periods follow each other", MeasurementMode::Pendulum, swinging, {period, period}},
        {"bounces and barrier 2 are ignored", MeasurementMode::Pendulum, disturbed,
         {period, period}},
        {"a reset starts counting anew", MeasurementMode::Pendulum,
         {on(1, 0), off(1, 200), on(1, 7000), off(1, 7200), Poll{8000}, Reset{}, on(1, 14000),
          off(1, 14200), on(1, 21000), off(1, 21200), on(1, 28000), off(1, 28200), Poll{30000}},
         {period}},
        {"a late edge at the period's end marks the run and the period",
         MeasurementMode::Pendulum,
         {on(1, 0), off(1, 200), on(1, 7000), off(1, 7200), on(1, 14000, true), off(1, 14200),
          Poll{20000}},
         {{14000, 0, true, 0.2, {{"Periode", 1.4L, 0.0002L, true}}}}},
    });
}

// The default mode fed edge by edge fires exactly what the chronometer fires from the lines.
TEST(BetweenBarriersMode, WithoutAMinimumFiresWhatTheChronometerFires)
{
    const struct
    {
        bool dsr, cts;
    } readings[] = {{true, true},  {false, false}, {true, false}, {true, true}, {false, false},
                    {false, true}, {true, true},   {false, false}, {true, true}, {true, false},
                    {false, true}, {false, false}, {true, false}, {false, false}};
    FakeClock clock;
    FakeLines lines, edgeLines;
    lines.active = edgeLines.active = true;
    timing::Chronometer direct(lines), fed(edgeLines);
    ModeEngine engine;
    engine.setMinDark(0);
    Ticks at = 5000;
    for (const auto &r : readings) {
        SCOPED_TRACE(at);
        at += 37;
        lines.dsr = edgeLines.dsr = r.dsr;
        lines.cts = edgeLines.cts = r.cts;
        lines.stamp = edgeLines.stamp = at;
        direct.EvaluateLines();
        ModeOutput out;
        engine.evaluateLines(fed, edgeLines, out);
        for (const timing::Contact &c : out.contacts) {
            if (c.line == 1)
                fed.DoContact1(c.at, c.late);
            else
                fed.DoContact2(c.at, c.late);
        }
        EXPECT_EQ(fed.running(), direct.running());
        EXPECT_EQ(fed.startTicks(), direct.startTicks());
        EXPECT_EQ(fed.stopTicks(), direct.stopTicks());
        EXPECT_EQ(fed.line1(), direct.line1());
        EXPECT_EQ(fed.line2(), direct.line2());
    }
    EXPECT_GT(direct.stopTicks(), 0);
}

TEST(BetweenBarriersMode, WithAMinimumAContactFiresAtItsEdgeOnceItHasLasted)
{
    const struct
    {
        const char *name;
        std::vector<Step> steps;
        std::vector<timing::Contact> contacts;
    } cases[] = {
        {"a spike starts nothing", {on(1, 100), off(1, 105), Poll{1000}}, {}},
        {"a held contact fires at the poll, with its edge's instant",
         {on(1, 100), Poll{105}, Poll{112}, on(2, 900, true), Poll{915}},
         {{1, 100, false, U}, {2, 900, true, U}}},
        {"a released contact fires at its release", {on(1, 100), off(1, 150)}, {{1, 100, false, U}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ModeEngine engine;
        ModeOutput out;
        for (const Step &step : c.steps) {
            if (const auto *edge = std::get_if<LineEdge>(&step))
                engine.feed(*edge, out);
            else if (const auto *poll = std::get_if<Poll>(&step))
                engine.poll(poll->now, out);
        }
        EXPECT_EQ(out.contacts, c.contacts);
        EXPECT_TRUE(out.runs.empty());
    }
}

TEST(ModeEngine, TheDisplayRunsWhileAResultIsUnderWayAndThenShowsIt)
{
    const struct
    {
        MeasurementMode mode;
        std::vector<LineEdge> edges;
        Ticks now;
        QString text;
    } cases[] = {
        {MeasurementMode::DarkTime, {}, 100, "00:00.0000"},
        {MeasurementMode::DarkTime, {on(2, 1000)}, 1234, "00:00.0---"},
        {MeasurementMode::DarkTime, {on(2, 1000), off(2, 1500)}, 9000, "00:00.0500"},
        {MeasurementMode::Acceleration, {on(1, 1000), off(1, 1500)}, 6000, "00:00.5---"},
        {MeasurementMode::Acceleration,
         {on(1, 1000), off(1, 1500), on(2, 11000), off(2, 11250)}, 20000, "00:01.0000"},
        {MeasurementMode::Pendulum, {on(1, 0), off(1, 200), on(1, 7000), off(1, 7200)}, 12000,
         "00:01.2---"},
    };
    for (const auto &c : cases) {
        ModeEngine engine(c.mode);
        ModeOutput out;
        for (const LineEdge &edge : c.edges)
            engine.feed(edge, out);
        engine.poll(c.now, out);
        EXPECT_EQ(engine.DigitsText(c.now), c.text) << int(c.mode) << " at " << c.now;
    }
}

TEST(ModeEngine, EvaluatingTheLinesFeedsOnlyUnsuppressedChangesWithTheirInstants)
{
    FakeClock clock;
    struct : FakeLines
    {
        double changeUncertainty() const override { return 0.0005; }
        bool changeLate() const override { return true; }
    } lines;
    lines.active = true;
    timing::Chronometer chrono(lines);
    ModeEngine engine(MeasurementMode::DarkTime);
    ModeOutput out;
    // The memory starts as on: a first reading of both off is two inactive edges.
    lines.stamp = 100;
    engine.evaluateLines(chrono, lines, out);
    {
        const auto quiet = chrono.suppress();
        lines.dsr = true;
        engine.evaluateLines(chrono, lines, out); // remembered, not fed
    }
    EXPECT_EQ(engine.runningSince(), std::nullopt);
    lines.dsr = false;
    lines.stamp = 200;
    engine.evaluateLines(chrono, lines, out);
    lines.dsr = true;
    lines.stamp = 300;
    engine.evaluateLines(chrono, lines, out);
    EXPECT_EQ(engine.runningSince(), 300);
    lines.dsr = false;
    lines.stamp = 800;
    engine.evaluateLines(chrono, lines, out);
    engine.poll(1000, out);
    ASSERT_EQ(out.runs.size(), 1u);
    EXPECT_EQ(out.runs[0].ticks, 500);
    EXPECT_TRUE(out.runs[0].late);
    EXPECT_NEAR(out.runs[0].uncertaintyMs, 1.0, 1e-12);
    EXPECT_FALSE(chrono.running());
}

TEST(ModeEngine, StoredIndicesOutsideTheModesReadAsTheFirst)
{
    EXPECT_EQ(timing::measurementModeOf(2), MeasurementMode::Acceleration);
    EXPECT_EQ(timing::measurementModeOf(3), MeasurementMode::Pendulum);
    EXPECT_EQ(timing::measurementModeOf(4), MeasurementMode::PicketFence);
    EXPECT_EQ(timing::measurementModeOf(5), MeasurementMode::BetweenBarriers);
    EXPECT_EQ(timing::measurementModeOf(-1), MeasurementMode::BetweenBarriers);
}

} // namespace
