#include "session/SessionAnalysis.h"
#include "session/SessionFile.h"

#include "timing/ModeEngine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <numbers>

namespace {

using analysis::Model;
using analysis::Pair;
using timing::MeasurementMode;

// Runs of one series: `seconds` each, a few tenths of a millisecond apart so that the
// series have a spread and the fit is weighted.
QList<protocol::Run> series(MeasurementMode mode, long double meters, double seconds, int n,
                            const char *label = "")
{
    QList<protocol::Run> runs;
    for (int i = 0; i < n; ++i) {
        protocol::Run r;
        r.mode = mode;
        r.meters = meters;
        r.label = QString::fromUtf8(label);
        const double jitter = (i - (n - 1) / 2.0) * 3e-4;
        r.ticks = std::llround((seconds + jitter) * timing::TicksPerSecond);
        runs << r;
    }
    return runs;
}

session::SessionAnalysis analyseRuns(const QList<protocol::Run> &runs, MeasurementMode mode,
                                     std::optional<Pair> pair, Model model)
{
    return session::analyseSession(runs, session::seriesOf(runs), mode, pair, model);
}

// A cart from rest at a = 0,5 m/s² over three distances, and a pendulum at three
// lengths: the law's constant comes back within the uncertainty the fit states.
TEST(SessionAnalysis, TheLawsConstantFromSeriesAtTheirSettings)
{
    const double a = 0.5, g = 9.81;
    const auto cart = [&](double s) { return std::sqrt(2 * s / a); };
    const auto pendulum = [&](double l) { return 2 * std::numbers::pi * std::sqrt(l / g); };
    QList<protocol::Run> carts, pendulums;
    for (const double s : {0.25, 0.5, 1.0})
        carts << series(MeasurementMode::BetweenBarriers, s, cart(s), 5);
    for (const double l : {0.25, 0.5, 1.0})
        pendulums << series(MeasurementMode::Pendulum, l, pendulum(l), 5);
    const struct
    {
        const QList<protocol::Run> &runs;
        MeasurementMode mode;
        Pair pair;
        Model model;
        QString symbol;
        double expected;
    } cases[] = {
        {carts, MeasurementMode::BetweenBarriers, Pair::TimeSquaredOverDistance, Model::Proportional,
         "a", a},
        {carts, MeasurementMode::BetweenBarriers, Pair::TimeSquaredOverDistance, Model::Linear, "a", a},
        {pendulums, MeasurementMode::Pendulum, Pair::PeriodSquaredOverLength, Model::Proportional, "g",
         g},
        {pendulums, MeasurementMode::Pendulum, Pair::PeriodSquaredOverLength, Model::Linear, "g", g},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.symbol.toStdString() + (c.model == Model::Linear ? " linear" : " proportional"));
        const session::SessionAnalysis r = analyseRuns(c.runs, c.mode, c.pair, c.model);
        ASSERT_TRUE(r.fitted()) << r.summary(u',').join(u'\n').toStdString();
        EXPECT_EQ(r.keys.size(), 3);
        EXPECT_TRUE(r.analysis.fit.weighted);
        ASSERT_TRUE(r.analysis.derived);
        EXPECT_EQ(r.analysis.derived->symbol, c.symbol);
        const double u = r.analysis.derived->uncertainty;
        EXPECT_GT(u, 0);
        EXPECT_LT(u, 0.02 * c.expected);
        // Rounding the ticks to 0,1 ms shifts the mean a little; the stated uncertainty
        // (twice, for a 95 % band) must cover it.
        EXPECT_NEAR(r.analysis.derived->value, c.expected, 2 * u + 1e-9);
        const QString text = r.summary(u',').join(u'\n');
        EXPECT_TRUE(text.contains(c.symbol + QStringLiteral(" = ("))) << text.toStdString();
    }
}

// The series table, the pair chosen, and what is said when there is nothing to fit.
TEST(SessionAnalysis, PairsTablesAndMessages)
{
    const auto B = MeasurementMode::BetweenBarriers;
    QList<protocol::Run> one = series(B, 0.5, 1.0, 3);
    QList<protocol::Run> twice = series(B, 0.5, 1.0, 3, "A");
    twice << series(B, 0.5, 1.01, 3, "B") << series(B, 1.0, 1.41, 3, "B");
    QList<protocol::Run> mixed = series(B, 0.5, 1.0, 2);
    mixed << series(MeasurementMode::Pendulum, 1.0, 2.0, 2) << series(MeasurementMode::Pendulum, 0.5, 1.42, 2);
    const struct
    {
        QList<protocol::Run> runs;
        MeasurementMode mode;
        std::optional<Pair> pair;
        Pair shown;
        int points;
        bool fitted;
        QString says; // a part of the summary
    } cases[] = {
        {{}, B, std::nullopt, Pair::TimeOverDistance, 0, false, "Keine Messreihen"},
        {one, MeasurementMode::Pendulum, std::nullopt, Pair::PeriodOverLength, 0, false,
         "„Pendel“"},
        {one, MeasurementMode::PicketFence, std::nullopt, Pair::TimeOverDistance, 0, false,
         "je Durchgang"},
        // A pair of another mode falls back to the mode's first.
        {one, B, Pair::PeriodOverLength, Pair::TimeOverDistance, 1, false, "mindestens 2 Punkte"},
        {twice, B, Pair::TimeSquaredOverDistance, Pair::TimeSquaredOverDistance, 3, true, "demselben x-Wert"},
        // Only the mode's series count.
        {mixed, MeasurementMode::Pendulum, std::nullopt, Pair::PeriodOverLength, 2, true, "T = "},
    };
    for (const auto &c : cases) {
        const session::SessionAnalysis r =
            analyseRuns(c.runs, c.mode, c.pair, Model::Proportional);
        const QString text = r.summary(u',').join(u'\n');
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(r.pair, c.shown);
        EXPECT_EQ(int(r.times.size()), c.points);
        EXPECT_EQ(r.fitted(), c.fitted);
        EXPECT_TRUE(text.contains(c.says));
        EXPECT_EQ(r.rows(u',').size(), c.points);
    }
    const session::SessionAnalysis t = analyseRuns(twice, B, std::nullopt, Model::Linear);
    EXPECT_EQ(t.captions().first(), QStringLiteral("s (m)"));
    EXPECT_EQ(t.rows(u',').at(2).first(), QStringLiteral("1,000"));
    EXPECT_EQ(t.rows(u',').at(2).at(1), QStringLiteral("3"));
}

// v over t takes the speed at the second barrier in the acceleration mode.
TEST(SessionAnalysis, AccelerationPlotsTheSecondBarriersSpeed)
{
    QList<protocol::Run> runs;
    for (const double s : {0.25, 0.5, 1.0}) {
        for (int i = 0; i < 3; ++i) {
            protocol::Run r;
            r.mode = MeasurementMode::Acceleration;
            r.meters = s;
            const double t = std::sqrt(2 * s / 0.5) + i * 1e-4;
            r.ticks = std::llround(t * timing::TicksPerSecond);
            r.extra = timing::modeColumns(MeasurementMode::Acceleration);
            r.extra[2].value = 0.1L;                        // v1: a distractor
            r.extra[3].value = static_cast<long double>(0.5 * t); // v2 from rest
            runs << r;
        }
    }
    const session::SessionAnalysis r =
        analyseRuns(runs, MeasurementMode::Acceleration, std::nullopt, Model::Proportional);
    ASSERT_TRUE(r.fitted());
    EXPECT_EQ(r.pair, Pair::SpeedOverTime);
    ASSERT_TRUE(r.analysis.derived);
    EXPECT_NEAR(r.analysis.derived->value, 0.5, 1e-3);
}

// A pendulum's run keeps its length as its setting, and still has no speed.
TEST(SessionAnalysis, APendulumsLengthIsItsSetting)
{
    const QList<protocol::Run> runs = series(MeasurementMode::Pendulum, 0.75L, 1.74, 1);
    EXPECT_FALSE(runs.first().speed());
    EXPECT_EQ(session::keyOf(runs.first()).setting, 0.75L);
    EXPECT_EQ(session::settingText(session::keyOf(runs.first()), u','), QStringLiteral("l = 0,750 m"));
}

// The pendulum's length and a pass's v(t) come back from the session file, whichever
// locale wrote it and whichever reads it.
TEST(SessionAnalysis, SettingsAndPassesSurviveTheSessionFileInAnyLocale)
{
    session::SessionData data;
    data.created = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
    data.runs = series(MeasurementMode::Pendulum, 0.25L, 1.003, 1);
    protocol::Run pass = series(MeasurementMode::PicketFence, 0.45L, 0.5, 1).first();
    pass.speeds = {{0.05, 0.3125}, {0.15, 0.3625}};
    data.runs << pass;
    for (QDate &d : {std::ref(data.runs[0].date), std::ref(data.runs[1].date)})
        d = QDate(2026, 12, 7);
    data.runs[0].time = data.runs[1].time = QTime(9, 1);
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    for (const char *writer : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, writer))
            continue; // a machine without the locale
        const QByteArray bytes = session::sessionBytes(data);
        std::setlocale(LC_NUMERIC, std::string(writer) == "C" ? "de_DE.UTF-8" : "C");
        QStringList problems;
        const std::optional<session::SessionData> back = session::readSession(bytes, &problems);
        ASSERT_TRUE(back) << writer;
        EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
        EXPECT_EQ(back->runs, data.runs) << writer;
        EXPECT_EQ(session::keyOf(back->runs.at(0)).setting, 0.25L);
    }
    std::setlocale(LC_NUMERIC, before.c_str());
}

} // namespace
