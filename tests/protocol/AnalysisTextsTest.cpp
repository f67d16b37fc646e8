#include "protocol/AnalysisTexts.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <vector>

using analysis::Model;
using analysis::Pair;

namespace {

TEST(AnalysisTexts, SlopeUnitsAndEquations)
{
    struct Case
    {
        Pair pair;
        Model model;
        const char *unit;
        const char *equation;
    };
    const Case cases[] = {
        {Pair::TimeOverDistance, Model::Proportional, "s/m", "t = (2,002 ± 0,013) s/m · s"},
        {Pair::TimeSquaredOverDistance, Model::Linear, "s²/m",
         "t² = (0,010 ± 0,020) s² + (2,002 ± 0,013) s²/m · s"},
        {Pair::DistanceOverTime, Model::Proportional, "m/s", "s = (2,002 ± 0,013) m/s · t"},
        {Pair::SpeedOverTime, Model::Linear, "m/s²",
         "v = (0,010 ± 0,020) m/s + (2,002 ± 0,013) m/s² · t"},
        {Pair::SpeedSquaredOverDistance, Model::Proportional, "m/s²",
         "v² = (2,002 ± 0,013) m/s² · s"},
        {Pair::PeriodSquaredOverLength, Model::Proportional, "s²/m",
         "T² = (2,002 ± 0,013) s²/m · l"},
    };
    for (const Case &c : cases) {
        const analysis::PairText text = analysis::pairText(c.pair);
        analysis::FitResult fit;
        fit.model = c.model;
        fit.slope = 2.0019;
        fit.slopeUncertainty = 0.0131;
        fit.intercept = 0.0102;
        fit.interceptUncertainty = 0.0199;
        EXPECT_EQ(protocol::slopeUnit(text).toStdString(), c.unit);
        EXPECT_EQ(protocol::equationText(text, fit, u',').toStdString(), c.equation);
    }
}

TEST(AnalysisTexts, SummaryOfAFitOrWhyThereIsNone)
{
    const std::vector<analysis::Point> times{
        {0.25, 3, 1.0, 0.01, 0.006}, {0.5, 3, 1.414, 0.01, 0.006}, {1.0, 1, 2.0, 0, 0}};
    const Pair pair = Pair::TimeSquaredOverDistance;
    const QStringList unweighted = protocol::fitSummary(
        analysis::analyse(pair, Model::Proportional, analysis::plotPoints(pair, times)), u',');
    ASSERT_EQ(unweighted.size(), 5);
    EXPECT_TRUE(unweighted[0].startsWith(QStringLiteral("t² = ("))) << unweighted[0].toStdString();
    EXPECT_TRUE(
        unweighted[1].contains(QRegularExpression(QStringLiteral("^R² = (0,99|1,00)\\d{3}$"))))
        << unweighted[1].toStdString();
    EXPECT_EQ(unweighted[2],
              QStringLiteral("ungewichtet; Unsicherheiten aus der Streuung um die Gerade"));
    EXPECT_TRUE(unweighted[3].startsWith(QStringLiteral("a = (0,50")))
        << unweighted[3].toStdString();
    EXPECT_TRUE(unweighted[3].endsWith(QStringLiteral(") m/s²")));
    EXPECT_EQ(unweighted[4],
              QStringLiteral("Ungewichtet angepasst: nicht jede Serie hat mehrere Messungen."));

    const QStringList weighted = protocol::fitSummary(
        analysis::analyse(pair, Model::Proportional,
                          analysis::plotPoints(pair, std::span(times).first(2))),
        u',');
    ASSERT_EQ(weighted.size(), 4);
    EXPECT_TRUE(weighted[2].startsWith(QStringLiteral("gewichtet mit den Standardfehlern; χ² = ")));
    EXPECT_TRUE(weighted[2].endsWith(QStringLiteral(" bei 1 Freiheitsgraden")));

    const QStringList none = protocol::fitSummary(
        analysis::analyse(pair, Model::Linear,
                          analysis::plotPoints(pair, std::span(times).first(1))),
        u',');
    EXPECT_EQ(none, QStringList{QStringLiteral("Für die Ausgleichsgerade sind mindestens 2 Punkte "
                                               "nötig, vorhanden 1.")});
}

TEST(AnalysisTexts, SeriesTable)
{
    EXPECT_EQ(
        protocol::seriesCaptions(QStringLiteral("l"), QStringLiteral("T"), QStringLiteral("s")),
        (QStringList{"l (m)", "n", "Mittelwert T (s)", "SD (s)", "SEM (s)"}));
    const std::vector<analysis::Point> points{{0.25, 5, 1.00123, 0.00291, 0.0013},
                                              {0.5, 2, 1.4142, 0.012, 0.0085},
                                              {1.0, 1, 2.00004, 0, 0}};
    const QList<QStringList> expected{{"0,250", "5", "1,0012", "0,0029", "0,0013"},
                                      {"0,500", "2", "1,4142", "0,0120", "0,0085"},
                                      {"1,000", "1", "2,0000", "–", "–"}};
    EXPECT_EQ(protocol::seriesRows(points, u','), expected);
    EXPECT_EQ(protocol::seriesRows(std::span(points).first(1), u'.'),
              (QList<QStringList>{{"0.250", "5", "1.0012", "0.0029", "0.0013"}}));
}

} // namespace
