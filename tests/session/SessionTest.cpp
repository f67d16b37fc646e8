#include "session/Session.h"

#include "support/FakeClock.h"
#include "support/FakeLines.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

using session::Session;
using timing::MeasurementMode;
using timing::Ticks;

protocol::Run run(MeasurementMode mode, long double meters, const char *label, Ticks ticks)
{
    protocol::Run r;
    r.mode = mode;
    r.meters = meters;
    r.label = QString::fromUtf8(label);
    r.ticks = ticks;
    return r;
}

// Series form as the key of the runs changes, and the statistics never average across
// distances or modes; "Alle" stands only where the series share mode and setting.
TEST(Series, FormWhereAnyPartOfTheKeyChangesAndAverageOnlyWithin)
{
    constexpr auto B = MeasurementMode::BetweenBarriers;
    constexpr auto P = MeasurementMode::Pendulum;
    const struct
    {
        QList<protocol::Run> runs;
        QList<std::pair<int, int>> series;
        bool all;
        QStringList names;
    } cases[] = {
        {{}, {}, false, {}},
        {{run(B, 0.5L, "A", 10000), run(B, 0.5L, "A", 10200)}, {{0, 1}}, true, {"A"}},
        // Same setting, two labels: "Alle" over both is meaningful.
        {{run(B, 0.5L, "A", 10000), run(B, 0.5L, "B", 12000)}, {{0, 0}, {1, 1}}, true, {"A", "B"}},
        // Two distances: no average across them; the names tell them apart.
        {{run(B, 0.5L, "A", 10000), run(B, 1.0L, "A", 14000), run(B, 1.0L, "A", 14100)},
         {{0, 0}, {1, 2}},
         false,
         {"A (s = 0,500 m)", "A (s = 1,000 m)"}},
        // A pendulum beside a cart: different modes, never one average; the pendulum's
        // length is its setting.
        {{run(B, 0.5L, "", 10000), run(P, 0.5L, "", 14000), run(P, 0.5L, "", 14010),
          run(P, 1.0L, "", 20000)},
         {{0, 0}, {1, 2}, {3, 3}},
         false,
         {"s = 0,500 m", "l = 0,500 m", "l = 1,000 m"}},
        // A label taken up again continues its series (two carts in turn).
        {{run(B, 0.5L, "A", 1), run(B, 0.5L, "B", 2), run(B, 0.5L, "A", 3)},
         {{0, 2}, {1, 1}},
         true,
         {"A", "B"}},
    };
    for (const auto &c : cases) {
        const QList<session::Series> series = session::seriesOf(c.runs);
        ASSERT_EQ(series.size(), c.series.size());
        for (qsizetype i = 0; i < series.size(); ++i) {
            EXPECT_EQ(series[i].first(), c.series[i].first);
            EXPECT_EQ(series[i].last(), c.series[i].second);
        }
        QList<qsizetype> rows;
        for (qsizetype r = 0; r < c.runs.size(); ++r)
            rows << r;
        const session::StatisticsView view = session::statisticsView(c.runs, series, rows, u',');
        EXPECT_EQ(view.all.has_value(), c.all);
        QStringList names;
        for (const session::SeriesStatistics &s : view.series)
            names << s.statistics.label;
        EXPECT_EQ(names, c.names);
    }
}

TEST(Series, TheProjectorSeesTheModesOwnResultAndNoSpeedOfAPendulum)
{
    protocol::Run p = run(MeasurementMode::Pendulum, 0, "Faden 1 m", 20000);
    p.extra = timing::modeColumns(MeasurementMode::Pendulum);
    p.extra[0].value = 2.0L;
    protocol::Run q = p;
    q.ticks = 20100;
    q.extra[0].value = 2.01L;
    const QList<protocol::Run> runs{p, q};
    EXPECT_FALSE(p.speed());
    const session::SeriesResult r = session::seriesResult(runs, session::seriesOf(runs).at(0), u',');
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.results, QStringList{"T = 2,0050 s"});
    const session::StatisticsView view = session::statisticsView(runs, session::seriesOf(runs),
                                                                 std::vector<qsizetype>{0, 1}, u',');
    EXPECT_EQ(view.series.at(0).statistics.speed.count, 0);
}

struct SessionFixture : ::testing::Test
{
    FakeClock clock;
    FakeLines lines;
    Session s{lines};

    SessionFixture()
    {
        lines.openable = {1};
        lines.setOnChanged([this] { s.linesChanged(); });
    }
    void at(Ticks t, bool dsr, bool cts)
    {
        clock.set(t);
        lines.change(dsr, cts, t);
    }
};

// Armed means armed: a contact already closed when the port opens, the polarity changes
// or the clock is reset starts nothing until it has been released.
TEST_F(SessionFixture, AContactHeldWhenArmedStartsNothingUntilReleased)
{
    clock.set(1'000'000);
    // The watcher has not read the port yet: it vouches for nothing after the opening.
    lines.quiet = 999'000;
    s.openPort(1);
    // Its first read finds contact 1 closed.
    lines.firstRead = true;
    at(1'000'010, true, false);
    lines.quiet.reset();
    EXPECT_FALSE(s.running());
    EXPECT_EQ(s.armedState(), session::ArmedState::ContactFault);
    at(1'010'000, true, true);
    EXPECT_TRUE(s.runs().isEmpty());
    // Released, then closed again: now it counts.
    at(1'020'000, false, false);
    EXPECT_EQ(s.armedState(), session::ArmedState::Ready);
    at(1'030'000, true, false);
    EXPECT_TRUE(s.running());
    at(1'035'000, false, true);
    ASSERT_EQ(s.runs().size(), 1);
    EXPECT_EQ(s.runs().at(0).ticks, 5000);

    // The wrong polarity makes both lines active at once: nothing runs by itself.
    s.reset();
    at(1'040'000, false, false);
    s.setInverted(true);
    EXPECT_EQ(s.armedState(), session::ArmedState::ContactFault);
    at(1'050'000, true, false); // line 1 released; line 2 still active in AUS
    EXPECT_EQ(s.armedState(), session::ArmedState::ContactFault);
    at(1'060'000, false, false); // line 1 closes again: a start
    EXPECT_TRUE(s.running());
    at(1'070'000, true, true);   // line 2 released
    at(1'080'000, true, false);  // and interrupted: the stop
    ASSERT_EQ(s.runs().size(), 2);
    EXPECT_EQ(s.runs().at(1).ticks, 20000);
}

// Both lines changing in one report (a cable pulled) gives no row and says why.
TEST_F(SessionFixture, BothLinesInOneReportGiveNoRow)
{
    s.openPort(1);
    at(1'000'010, false, false);
    at(1'010'000, true, true);
    EXPECT_FALSE(s.running());
    EXPECT_TRUE(s.runs().isEmpty());
    EXPECT_FALSE(s.stateNote().isEmpty());
    at(1'020'000, false, false);
    at(1'030'000, true, false);
    at(1'040'000, true, true);
    ASSERT_EQ(s.runs().size(), 1);
    EXPECT_EQ(s.runs().at(0).ticks, 10000);
}

// A minimum time is settled only up to what the lines vouch for: a display timer that runs
// while the reports still wait in the queue cannot turn a bounce into a result.
TEST_F(SessionFixture, PendulumPeriodsDoNotDependOnWhenTheQueueIsDrained)
{
    s.setMode(MeasurementMode::Pendulum);
    s.setMinimumMs(MeasurementMode::Pendulum, 1);
    s.openPort(1);
    // Passages 0,7 s apart, each 20 ms dark, each with a 0,3 ms bounce in the middle.
    QList<std::tuple<Ticks, bool>> edges;
    for (int k = 0; k < 5; ++k) {
        const Ticks t = 2'000'000 + k * 7000;
        edges << std::tuple{t, true} << std::tuple{t + 100, false} << std::tuple{t + 103, true}
              << std::tuple{t + 200, false};
    }
    const auto feed = [&](bool busy) {
        QList<std::optional<Ticks>> periods;
        Session fresh(lines);
        lines.setOnChanged([&] { fresh.linesChanged(); });
        fresh.setMode(MeasurementMode::Pendulum);
        fresh.setMinimumMs(MeasurementMode::Pendulum, 1);
        lines.quiet = 1'999'000;
        fresh.openPort(1);
        at(1'999'000, false, false);
        for (const auto &[t, dark] : edges) {
            // A busy window: the display timer fires before the queued edge arrives, at a
            // wall clock far past it, while the lines vouch only for the last read.
            if (busy)
                fresh.poll(t + 5000);
            lines.quiet = t;
            at(t, dark, false);
            if (!busy)
                fresh.poll(t);
        }
        lines.quiet = 2'100'000;
        fresh.poll(2'100'000);
        for (const protocol::Run &r : fresh.runs().runs())
            periods << r.ticks;
        lines.setOnChanged([this] { s.linesChanged(); });
        lines.quiet.reset();
        return periods;
    };
    const QList<std::optional<Ticks>> calm = feed(false);
    EXPECT_EQ(calm, (QList<std::optional<Ticks>>{14000, 14000}));
    EXPECT_EQ(feed(true), calm);
}

// Edits live in the session file: what was deleted stays deleted, labels as edited.
TEST_F(SessionFixture, EditsAreKeptAndNotResurrected)
{
    QTemporaryDir dir;
    session::SessionStore store(dir.path());
    s.restore(&store);
    s.setLabel(QStringLiteral("Fehlstart"));
    for (int i = 0; i < 3; ++i) {
        s.contact1(Ticks(1'000'000 + i * 100'000));
        s.contact2(Ticks(1'010'000 + i * 100'000));
        s.setLabel(QStringLiteral("Wagen A"));
    }
    s.runs().removeRows({0});
    s.relabel({0, 1}, QStringLiteral("Wagen B\t"));

    FakeLines other;
    Session restored(other);
    session::SessionStore again(dir.path());
    restored.restore(&again);
    EXPECT_EQ(restored.runs().runs(), s.runs().runs());
    ASSERT_EQ(restored.runs().size(), 2);
    EXPECT_EQ(restored.runs().at(0).label, "Wagen B");
    EXPECT_FALSE(restored.runs().canUndo());
    ASSERT_EQ(restored.series().size(), 1);

    // A new session starts empty in a file of its own; undo brings the runs back.
    restored.newSession();
    EXPECT_TRUE(restored.runs().isEmpty());
    restored.runs().undo();
    EXPECT_EQ(restored.runs().size(), 2);
    EXPECT_EQ(again.paths().size(), 2);
}

} // namespace
