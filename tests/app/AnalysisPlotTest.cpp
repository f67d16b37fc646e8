#include "app/AnalysisPlot.h"

#include "timing/ModeEngine.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cmath>
#include <vector>

namespace {

analysis::Analysis cartAnalysis(int series)
{
    std::vector<analysis::Point> times;
    for (const double s : {0.25, 0.5, 1.0}) {
        const double t = std::sqrt(2 * s / 0.5);
        const double runs[] = {t - 0.002, t + 0.001, t + 0.002};
        times.push_back(analysis::pointOf(s, runs));
    }
    times.resize(std::size_t(series));
    const analysis::Pair pair = analysis::Pair::TimeSquaredOverDistance;
    return analysis::analyse(pair, analysis::Model::Proportional,
                             analysis::plotPoints(pair, times));
}

TEST(AnalysisPlot, ShowsPointsLineEquationAndResult)
{
    const analysis::Analysis a = cartAnalysis(3);
    const widgets::FitPlotData data = app::analysisPlot(a, u',');
    EXPECT_EQ(data.xCaption, QStringLiteral("s in m"));
    EXPECT_EQ(data.yCaption, QStringLiteral("t² in s²"));
    ASSERT_EQ(data.points.size(), 3);
    EXPECT_DOUBLE_EQ(data.points[2].y, a.points[2].y);
    EXPECT_DOUBLE_EQ(data.points[2].uy, a.points[2].uy);
    ASSERT_TRUE(data.line);
    EXPECT_DOUBLE_EQ(data.line->slope, a.fit.slope);
    EXPECT_TRUE(data.equation.startsWith(QStringLiteral("t² = ("))) << data.equation.toStdString();
    EXPECT_TRUE(data.equation.contains(
        QRegularExpression(QStringLiteral(" s²/m · s   a = \\((0,49|0,50)\\d* ± 0,\\d+\\) m/s²$"))))
        << data.equation.toStdString();
    EXPECT_TRUE(data.description.startsWith(QStringLiteral("t² über s: t² = ")));

    // One series: the points without a line, and why.
    const widgets::FitPlotData lone = app::analysisPlot(cartAnalysis(1), u',');
    EXPECT_EQ(lone.points.size(), 1);
    EXPECT_FALSE(lone.line);
    EXPECT_EQ(
        lone.equation,
        QStringLiteral("Für die Ausgleichsgerade sind mindestens 2 Punkte nötig, vorhanden 1."));
}

TEST(AnalysisPlot, APicketFencePassShowsItsSpeedsAndTheLineOfItsAcceleration)
{
    timing::ModeEngine engine(timing::MeasurementMode::PicketFence);
    timing::ModeOutput out;
    timing::Ticks last = 0;
    for (int k = 0; k < 10; ++k) {
        const auto at = [](double s) {
            return timing::Ticks(std::llround((-0.3 + std::sqrt(0.09 + s)) / 0.5 * 10000));
        };
        engine.feed({1, true, at(k * 0.05), 0.0001, false}, out);
        last = at(k * 0.05 + 0.02);
        engine.feed({1, false, last, 0.0001, false}, out);
    }
    engine.poll(last + 10000, out);
    ASSERT_EQ(out.runs.size(), 1u);
    const timing::ModeRun &pass = out.runs[0];
    const widgets::FitPlotData data = app::passPlot(pass, u'.');
    EXPECT_EQ(data.xCaption, QStringLiteral("t in s"));
    EXPECT_EQ(data.yCaption, QStringLiteral("v in m/s"));
    EXPECT_EQ(data.points.size(), 9);
    ASSERT_TRUE(data.line);
    EXPECT_DOUBLE_EQ(data.line->slope, double(*pass.extra[1].value));
    EXPECT_TRUE(data.equation.startsWith(QStringLiteral("v = (0.3")))
        << data.equation.toStdString();
    EXPECT_TRUE(data.equation.contains(QStringLiteral("a = (0.499")))
        << data.equation.toStdString();
    EXPECT_TRUE(data.description.startsWith(QStringLiteral("Lattenzaun: v über t: ")));
}

} // namespace
