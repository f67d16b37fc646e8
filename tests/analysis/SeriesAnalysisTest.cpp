#include "analysis/SeriesAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

using analysis::Model;
using analysis::Pair;
using analysis::Point;

namespace {

TEST(SeriesAnalysisTest, PointOfASeries)
{
    struct Case
    {
        std::vector<double> values;
        int n;
        double mean, sd, sem;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, 0},
        {{1.25}, 1, 1.25, 0, 0},
        {{1, 2, 3, 4}, 4, 2.5, std::sqrt(5.0 / 3), std::sqrt(5.0 / 3) / 2},
        // A large offset with a tiny spread keeps its digits.
        {{1000.0001, 1000.0002, 1000.0003}, 3, 1000.0002, 1e-4, 1e-4 / std::sqrt(3.0)},
    };
    for (const Case &c : cases) {
        const Point p = analysis::pointOf(0.5, c.values);
        EXPECT_EQ(p.setting, 0.5);
        EXPECT_EQ(p.n, c.n);
        EXPECT_NEAR(p.mean, c.mean, 1e-12);
        EXPECT_NEAR(p.sd, c.sd, 1e-9 * c.sd + 1e-15);
        EXPECT_NEAR(p.sem, c.sem, 1e-9 * c.sem + 1e-15);
    }
}

TEST(SeriesAnalysisTest, PairsOfEachMode)
{
    const QList<Pair> expected[] = {
        {Pair::TimeOverDistance, Pair::TimeSquaredOverDistance, Pair::DistanceOverTime},
        {Pair::SpeedOverTime, Pair::SpeedSquaredOverDistance},
        {Pair::SpeedOverTime, Pair::SpeedSquaredOverDistance},
        {Pair::PeriodOverLength, Pair::PeriodSquaredOverLength},
        {},
    };
    for (int mode = 0; mode < 5; ++mode)
        EXPECT_EQ(analysis::pairsForMode(mode), expected[mode]) << mode;
    EXPECT_TRUE(analysis::pairsForMode(-1).isEmpty());
}

TEST(SeriesAnalysisTest, PlottedPointsTransformMeanAndStandardError)
{
    const Point time{0.5, 4, 2.0, 0.02, 0.01};
    const Point speed{0.5, 3, 1.5, 0.0346, 0.02};
    struct Case
    {
        Pair pair;
        double x, ux, y, uy;
        int n;
        const char *title, *xCaption, *yCaption;
    };
    const Case cases[] = {
        {Pair::TimeOverDistance, 0.5, 0, 2.0, 0.01, 4, "t über s", "s in m", "t in s"},
        {Pair::TimeSquaredOverDistance, 0.5, 0, 4.0, 0.04, 4, "t² über s", "s in m", "t² in s²"},
        {Pair::DistanceOverTime, 2.0, 0.01, 0.5, 0, 4, "s über t", "t in s", "s in m"},
        {Pair::SpeedOverTime, 2.0, 0.01, 1.5, 0.02, 3, "v über t", "t in s", "v in m/s"},
        {Pair::SpeedSquaredOverDistance, 0.5, 0, 2.25, 0.06, 3, "v² über s", "s in m",
         "v² in m²/s²"},
        {Pair::PeriodOverLength, 0.5, 0, 2.0, 0.01, 4, "T über l", "l in m", "T in s"},
        {Pair::PeriodSquaredOverLength, 0.5, 0, 4.0, 0.04, 4, "T² über l", "l in m", "T² in s²"},
    };
    for (const Case &c : cases) {
        const analysis::PairText text = analysis::pairText(c.pair);
        SCOPED_TRACE(c.title);
        EXPECT_EQ(text.title, QString::fromUtf8(c.title));
        EXPECT_EQ(text.xSymbol + QStringLiteral(" in ") + text.xUnit,
                  QString::fromUtf8(c.xCaption));
        EXPECT_EQ(text.ySymbol + QStringLiteral(" in ") + text.yUnit,
                  QString::fromUtf8(c.yCaption));
        const Point times[] = {time};
        const Point speeds[] = {speed};
        const std::vector<analysis::PlotPoint> points = analysis::plotPoints(c.pair, times, speeds);
        ASSERT_EQ(points.size(), 1u);
        EXPECT_DOUBLE_EQ(points[0].x, c.x);
        EXPECT_DOUBLE_EQ(points[0].ux, c.ux);
        EXPECT_DOUBLE_EQ(points[0].y, c.y);
        EXPECT_DOUBLE_EQ(points[0].uy, c.uy);
        EXPECT_EQ(points[0].n, c.n);
    }
    // A speed pair without speeds has no value to plot, and the fit says so.
    const Point times[] = {time, time, time};
    const auto bare = analysis::plotPoints(Pair::SpeedOverTime, times);
    EXPECT_TRUE(std::isnan(bare[0].y));
    EXPECT_EQ(analysis::analyse(Pair::SpeedOverTime, Model::Linear, bare).fit.error,
              QStringLiteral("Punkt 1 hat keinen gültigen Wert."));
}

TEST(SeriesAnalysisTest, DerivedQuantityFromTheSlope)
{
    const double k = 4 * std::numbers::pi * std::numbers::pi;
    struct Case
    {
        Pair pair;
        double slope, slopeUncertainty;
        std::optional<double> value;
        double uncertainty;
        const char *symbol;
    };
    const Case cases[] = {
        {Pair::TimeSquaredOverDistance, 4.0, 0.1, 0.5, 0.0125, "a"},
        {Pair::TimeSquaredOverDistance, -4.0, 0.1, std::nullopt, 0, ""},
        {Pair::SpeedOverTime, 0.49, 0.01, 0.49, 0.01, "a"},
        {Pair::SpeedSquaredOverDistance, 1.0, 0.02, 0.5, 0.01, "a"},
        {Pair::PeriodSquaredOverLength, 4.0, 0.04, k / 4, k * 0.04 / 16, "g"},
        {Pair::PeriodSquaredOverLength, 0, 0.04, std::nullopt, 0, ""},
        {Pair::TimeOverDistance, 2.0, 0.1, std::nullopt, 0, ""},
        {Pair::DistanceOverTime, 0.5, 0.1, std::nullopt, 0, ""},
        {Pair::PeriodOverLength, 2.0, 0.1, std::nullopt, 0, ""},
    };
    for (const Case &c : cases) {
        analysis::FitResult fit;
        fit.slope = c.slope;
        fit.slopeUncertainty = c.slopeUncertainty;
        const std::optional<analysis::Derived> d = analysis::derivedOf(c.pair, fit);
        SCOPED_TRACE(analysis::pairText(c.pair).title.toStdString());
        ASSERT_EQ(d.has_value(), c.value.has_value());
        if (!d)
            continue;
        EXPECT_EQ(d->symbol, QString::fromUtf8(c.symbol));
        EXPECT_EQ(d->unit, QStringLiteral("m/s²"));
        EXPECT_NEAR(d->value, *c.value, 1e-12);
        EXPECT_NEAR(d->uncertainty, c.uncertainty, 1e-12);
    }
    analysis::FitResult failed;
    failed.error = QStringLiteral("x");
    EXPECT_FALSE(analysis::derivedOf(Pair::SpeedOverTime, failed));
}

// Runs scattered about `exact` by the given offsets.
std::vector<double> scattered(double exact, const std::vector<double> &offsets)
{
    std::vector<double> v;
    for (const double d : offsets)
        v.push_back(exact + d);
    return v;
}

TEST(SeriesAnalysisTest, CartFromRestGivesItsAcceleration)
{
    // Three series at 0,25 / 0,50 / 1,00 m of a cart starting from rest at 0,5 m/s²,
    // each run off by a few milliseconds.
    const std::vector<double> jitter{0.003, -0.002, 0.001, -0.003, 0.002};
    std::vector<Point> times;
    for (const double s : {0.25, 0.5, 1.0})
        times.push_back(analysis::pointOf(s, scattered(std::sqrt(2 * s / 0.5), jitter)));
    for (const Model model : {Model::Proportional, Model::Linear}) {
        const analysis::Analysis a =
            analysis::analyse(Pair::TimeSquaredOverDistance, model,
                              analysis::plotPoints(Pair::TimeSquaredOverDistance, times));
        ASSERT_TRUE(a.fit.ok()) << a.fit.error.toStdString();
        EXPECT_TRUE(a.fit.weighted);
        EXPECT_TRUE(a.notes.isEmpty()) << a.notes.join(u'\n').toStdString();
        ASSERT_TRUE(a.derived);
        EXPECT_EQ(a.derived->symbol, QStringLiteral("a"));
        EXPECT_GT(a.derived->uncertainty, 0);
        EXPECT_LT(a.derived->uncertainty, 0.01);
        EXPECT_NEAR(a.derived->value, 0.5, 2 * a.derived->uncertainty);
    }
}

TEST(SeriesAnalysisTest, PendulumGivesGravity)
{
    const double g = 9.81;
    const std::vector<double> jitter{0.002, -0.001, 0.0005, -0.0015};
    std::vector<Point> periods;
    for (const double l : {0.2, 0.4, 0.6, 0.8})
        periods.push_back(
            analysis::pointOf(l, scattered(2 * std::numbers::pi * std::sqrt(l / g), jitter)));
    const analysis::Analysis a =
        analysis::analyse(Pair::PeriodSquaredOverLength, Model::Proportional,
                          analysis::plotPoints(Pair::PeriodSquaredOverLength, periods));
    ASSERT_TRUE(a.derived);
    EXPECT_EQ(a.derived->symbol, QStringLiteral("g"));
    EXPECT_NEAR(a.derived->value, g, 2 * a.derived->uncertainty);
    EXPECT_GT(a.fit.rSquared, 0.999);
}

TEST(SeriesAnalysisTest, WeightsOnlyWhereEverySeriesHasRepeats)
{
    struct Case
    {
        const char *name;
        std::vector<Point> times;
        bool ok, weighted;
        QStringList notes;
    };
    const Point a{0.25, 3, 1.0, 0.01, 0.006};
    const Point b{0.5, 3, 1.41, 0.01, 0.006};
    const Point c{1.0, 3, 2.0, 0.01, 0.006};
    const Point single{1.0, 1, 2.0, 0, 0};
    const Point still{1.0, 2, 2.0, 0, 0};
    const Point again{0.5, 2, 1.43, 0.01, 0.007};
    const Case cases[] = {
        {"repeats everywhere", {a, b, c}, true, true, {}},
        {"a series of one run",
         {a, b, single},
         true,
         false,
         {QStringLiteral("Ungewichtet angepasst: nicht jede Serie hat mehrere Messungen.")}},
        {"a series without spread",
         {a, b, still},
         true,
         false,
         {QStringLiteral(
             "Ungewichtet angepasst: die Werte auf der y-Achse haben keine Streuung.")}},
        {"a setting repeated",
         {a, b, again},
         true,
         true,
         {QStringLiteral("Punkte 2 und 3 liegen bei demselben x-Wert; jede Serie zählt als "
                         "eigener Punkt.")}},
        {"one series", {a}, false, true, {}},
        // No line, so nothing to say about its weights.
        {"one series of one run", {single}, false, false, {}},
        {"one setting twice",
         {b, again},
         false,
         true,
         {QStringLiteral("Punkte 1 und 2 liegen bei demselben x-Wert; jede Serie zählt als "
                         "eigener Punkt.")}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const analysis::Analysis r =
            analysis::analyse(Pair::TimeOverDistance, Model::Linear,
                              analysis::plotPoints(Pair::TimeOverDistance, k.times));
        EXPECT_EQ(r.fit.ok(), k.ok) << r.fit.error.toStdString();
        EXPECT_EQ(r.fit.weighted, k.weighted);
        EXPECT_EQ(r.notes, k.notes);
        EXPECT_FALSE(r.derived);
        EXPECT_EQ(r.fit.error.isEmpty(), k.ok);
    }
}

} // namespace
