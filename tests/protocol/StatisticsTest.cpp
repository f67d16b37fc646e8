#include "protocol/NumberFormat.h"
#include "protocol/Statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>


using protocol::RunStatistics;
using protocol::Spread;
using protocol::spreadOf;
using protocol::statisticsByLabel;
using protocol::statisticsRows;

namespace {

__extension__ typedef __int128 Wide;

// The exact statistics of offset + k * unit from integer sums, converted only at the end:
// an independent reference that no summation order can spoil.
struct Reference
{
    long double mean;
    long double deviation;
    long double error;
};

Reference exactReference(const std::vector<std::int64_t> &k, long double offset, long double unit)
{
    Wide sum = 0;
    Wide squares = 0;
    for (const std::int64_t v : k) {
        sum += v;
        squares += Wide(v) * v;
    }
    const auto n = Wide(k.size());
    const long double mean = offset + static_cast<long double>(sum) / static_cast<long double>(n) * unit;
    // n * sum(k^2) - sum(k)^2 is exact: n (n - 1) times the sample variance.
    const long double variance =
        static_cast<long double>(n * squares - sum * sum) / static_cast<long double>(n * (n - 1));
    const long double deviation = std::sqrt(variance) * unit;
    return {mean, deviation, deviation / std::sqrt(static_cast<long double>(n))};
}

std::vector<std::int64_t> scattered(std::size_t count, std::int64_t range)
{
    std::mt19937_64 random(20261207);
    std::vector<std::int64_t> k(count);
    for (auto &v : k)
        v = std::int64_t(random() % std::uint64_t(range + 1));
    return k;
}

protocol::Run timed(std::optional<timing::Ticks> ticks, long double meters = 0.15L, QString label = {})
{
    protocol::Run run;
    run.ticks = ticks;
    run.meters = meters;
    run.label = std::move(label);
    return run;
}

QList<qsizetype> allRows(const QList<protocol::Run> &runs)
{
    return statisticsRows({}, runs.size());
}

} // namespace

TEST(Spread, SmallSetsGiveTheirTextbookFigures)
{
    const long double textbookDeviation = std::sqrt(32.0L / 7.0L);
    const struct
    {
        std::vector<long double> values;
        long double mean, min, max;
        std::optional<long double> deviation, error;
    } rows[] = {
        {{5}, 5, 5, 5, std::nullopt, std::nullopt}, // one value has no spread
        {{0.8002L, 0.8002L, 0.8002L, 0.8002L}, 0.8002L, 0.8002L, 0.8002L, 0.0L, 0.0L},
        {{2, 4, 4, 4, 5, 5, 7, 9}, 5, 2, 9, textbookDeviation, textbookDeviation / std::sqrt(8.0L)},
        {{-1, 1}, 0, -1, 1, std::sqrt(2.0L), 1},
        {{9, 1, 5}, 5, 1, 9, 4, 4 / std::sqrt(3.0L)}, // the first value is not the smallest
        {{1e6L + 0.001L, 1e6L + 0.002L, 1e6L + 0.003L}, 1e6L + 0.002L, 1e6L + 0.001L,
         1e6L + 0.003L, 0.001L, 0.001L / std::sqrt(3.0L)},
    };
    for (const auto &row : rows) {
        const Spread s = spreadOf(row.values);
        SCOPED_TRACE(double(row.values.front()));
        EXPECT_EQ(s.count, qsizetype(row.values.size()));
        EXPECT_NEAR(double(s.mean), double(row.mean), 1e-12 * std::fabs(double(row.mean)));
        EXPECT_EQ(s.min, row.min);
        EXPECT_EQ(s.max, row.max);
        ASSERT_EQ(s.deviation.has_value(), row.deviation.has_value());
        ASSERT_EQ(s.error.has_value(), row.error.has_value());
        if (row.deviation) {
            EXPECT_NEAR(double(*s.deviation), double(*row.deviation), 1e-9 * double(*row.deviation) + 1e-15);
            EXPECT_NEAR(double(*s.error), double(*row.error), 1e-9 * double(*row.error) + 1e-15);
        }
    }
    EXPECT_EQ(spreadOf({}), Spread{});
}

TEST(Spread, EqualValuesHaveExactlyNoSpreadWhateverTheirSize)
{
    for (const long double v : {0.0L, 0.1L, 1e6L + 1e-3L, 123456.7891L, -3.5L}) {
        const std::vector<long double> values(1000, v);
        const Spread s = spreadOf(values);
        EXPECT_EQ(s.mean, v);
        EXPECT_EQ(s.deviation, 0.0L);
        EXPECT_EQ(s.error, 0.0L);
    }
}

// 100,000 values near 1e6 whose spread is 1e-3: a one-pass sum of squares loses every digit
// of the variance here. The values are 1e6 + k / 2^20, exact in a long double.
TEST(Spread, LargeOffsetWithTinySpreadMatchesTheExactReference)
{
    const long double unit = std::ldexp(1.0L, -20);
    const auto k = scattered(100000, 1048);
    std::vector<long double> values;
    for (const std::int64_t v : k)
        values.push_back(1e6L + static_cast<long double>(v) * unit);

    const Reference ref = exactReference(k, 1e6L, unit);
    const Spread s = spreadOf(values);
    EXPECT_NEAR(double(s.mean - ref.mean), 0.0, 1e-12);
    EXPECT_NEAR(double(*s.deviation / ref.deviation), 1.0, 1e-9);
    EXPECT_NEAR(double(*s.error / ref.error), 1.0, 1e-9);
    EXPECT_EQ(s.min, 1e6L);
    EXPECT_EQ(s.max, 1e6L + 1048 * unit);
}

// The same through runs: times of about 1e6 s differing by up to 1e-3 s, and speeds of
// about 1e6 m/s from distances that differ by as little (over exactly one second).
TEST(RunStatistics, HundredThousandRunsMatchTheExactReference)
{
    const auto k = scattered(100000, 10);
    QList<protocol::Run> byTime;
    QList<protocol::Run> bySpeed;
    const long double unit = std::ldexp(1.0L, -20);
    for (const std::int64_t v : k) {
        byTime << timed(10'000'000'000 + v);
        bySpeed << timed(10000, 1e6L + static_cast<long double>(v) * 100 * unit);
    }

    const RunStatistics time = protocol::statisticsOf(byTime, allRows(byTime));
    const Reference timeRef = exactReference(k, 1e6L, 1e-4L);
    EXPECT_EQ(time.time.count, 100000);
    EXPECT_NEAR(double(time.time.mean - timeRef.mean), 0.0, 1e-10);
    EXPECT_NEAR(double(*time.time.deviation / timeRef.deviation), 1.0, 1e-9);
    EXPECT_NEAR(double(*time.time.error / timeRef.error), 1.0, 1e-9);

    const RunStatistics speed = protocol::statisticsOf(bySpeed, allRows(bySpeed));
    const Reference speedRef = exactReference(k, 1e6L, 100 * unit);
    EXPECT_NEAR(double(speed.speed.mean - speedRef.mean), 0.0, 1e-10);
    EXPECT_NEAR(double(*speed.speed.deviation / speedRef.deviation), 1.0, 1e-9);
    EXPECT_EQ(speed.time.deviation, 0.0L);
}

TEST(StatisticsRows, TwoOrMoreSelectedRowsElseAll)
{
    const struct
    {
        QList<qsizetype> selected;
        qsizetype count;
        QList<qsizetype> rows;
    } table[] = {
        {{}, 3, {0, 1, 2}},
        {{1}, 3, {0, 1, 2}},       // one selected row is no choice of rows
        {{2, 0}, 3, {0, 2}},       // list order
        {{1, 1}, 3, {0, 1, 2}},    // the same row twice is one row
        {{0, 5, -1}, 3, {0, 1, 2}}, // rows that are gone do not count
        {{0, 1, 4}, 5, {0, 1, 4}},
        {{}, 0, {}},
    };
    for (const auto &row : table)
        EXPECT_EQ(statisticsRows(row.selected, row.count), row.rows) << row.selected.size();
}

TEST(RunStatistics, RunsWithoutATimeAreCountedButNotAveraged)
{
    const QList<protocol::Run> runs{timed(8000), timed(std::nullopt), timed(8002), timed(0)};
    const RunStatistics s = protocol::statisticsOf(runs, allRows(runs));
    EXPECT_EQ(s.runs, 4);
    EXPECT_EQ(s.withoutTime, 2);
    EXPECT_EQ(s.time.count, 2);
    EXPECT_EQ(s.speed.count, 2);
    EXPECT_NEAR(double(s.time.mean), 0.8001, 1e-15);
    EXPECT_NEAR(double(s.speed.mean), (0.15 / 0.8 + 0.15 / 0.8002) / 2, 1e-15);
}

TEST(RunStatistics, GroupsByLabelInTheOrderLabelsFirstAppear)
{
    const QList<protocol::Run> runs{timed(8000, 0.15L, "Wagen B"), timed(9000, 0.15L, "Wagen A"),
                          timed(8004, 0.15L, "Wagen B"), timed(std::nullopt, 0.15L, "Wagen A"),
                          timed(7000)};

    const QList<RunStatistics> groups = statisticsByLabel(runs, allRows(runs));
    ASSERT_EQ(groups.size(), 4);
    const struct
    {
        QString name;
        qsizetype runs, withoutTime, timed;
        double mean;
    } expected[] = {
        {"Alle", 5, 1, 4, (0.8 + 0.9 + 0.8004 + 0.7) / 4},
        {"Wagen B", 2, 0, 2, 0.8002},
        {"Wagen A", 2, 1, 1, 0.9},
        {"ohne Bezeichnung", 1, 0, 1, 0.7},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(protocol::groupName(groups[i]), expected[i].name);
        EXPECT_EQ(groups[i].runs, expected[i].runs) << i;
        EXPECT_EQ(groups[i].withoutTime, expected[i].withoutTime) << i;
        EXPECT_EQ(groups[i].time.count, expected[i].timed) << i;
        EXPECT_NEAR(double(groups[i].time.mean), expected[i].mean, 1e-15) << i;
    }

    // A selection inside one label gives the line over it alone.
    EXPECT_EQ(statisticsByLabel(runs, QList<qsizetype>{0, 2}).size(), 1);
    EXPECT_EQ(statisticsByLabel(runs, QList<qsizetype>{0, 1}).size(), 3);
    EXPECT_TRUE(statisticsByLabel(runs, QList<qsizetype>{}).isEmpty());
}

TEST(StatisticsTable, WritesGermanFiguresAndLeavesOutWhatIsNotThere)
{
    const QList<protocol::Run> runs{timed(8000, 0.16L, "Wagen A"), timed(8006, 0.16L, "Wagen A"),
                          timed(std::nullopt, 0.16L, "Wagen A"), timed(12000, 0.3L, "Wagen B"),
                          timed(std::nullopt, 0.3L, "Wagen C")};
    const auto table = protocol::statisticsTable(statisticsByLabel(runs, allRows(runs)), u',');
    ASSERT_EQ(table.captions.size(), 12);
    ASSERT_EQ(table.descriptions.size(), 12);
    EXPECT_EQ(table.captions[2], QStringLiteral("\u00D8 t"));
    EXPECT_EQ(table.captions[9], QStringLiteral("s(v)/\u221An"));
    EXPECT_EQ(table.descriptions[2], QStringLiteral("Mittelwert der Zeit in s"));
    EXPECT_EQ(table.descriptions[8], QStringLiteral("Standardabweichung der Geschwindigkeit in m/s"));
    const QList<QStringList> rows{
        {"Alle", "3 (+2)", "0,9335", "0,23077", "0,13323", "0,8000", "1,2000", "0,217", "0,0289",
         "0,0167", "0,200", "0,250"},
        {"Wagen A", "2 (+1)", "0,8003", "0,00042", "0,00030", "0,8000", "0,8006", "0,200",
         "0,0001", "0,0001", "0,200", "0,200"},
        {"Wagen B", "1", "1,2000", "", "", "1,2000", "1,2000", "0,250", "", "", "0,250", "0,250"},
        {"Wagen C", "0 (+1)", "", "", "", "", "", "", "", "", "", ""},
    };
    EXPECT_EQ(table.rows, rows);

    const QString spoken = protocol::statisticsSummary(statisticsByLabel(runs, allRows(runs)), u',');
    EXPECT_TRUE(spoken.contains(u"Wagen B: 1 Messung; Mittelwert der Zeit 1,2000 s; Mittelwert der "
                                u"Geschwindigkeit 0,250 m/s."))
        << spoken.toStdString();
    EXPECT_TRUE(spoken.contains(u"Wagen C: 1 Messung, davon 1 ohne Zeit."));
    EXPECT_TRUE(spoken.contains(u"Standardabweichung 0,00042 s"));
    EXPECT_TRUE(protocol::statisticsSummary({}, u',').isEmpty());
}

TEST(FormatFixed, WritesTheAskedDecimals)
{
    const struct
    {
        long double value;
        int decimals;
        const char *text;
    } rows[] = {
        {0.80023L, 4, "0,8002"}, {0.80025L, 4, "0,8003"}, {0.000314L, 5, "0,00031"},
        {0.5L, 0, "1"},          {-2.5L, 0, "-3"},        {3.14159L, 1, "3,1"},
        {1e-9L, 9, "0,000000001"}, {0.00004L, 4, "0,0000"}, {0.00005L, 4, "0,0001"},
        {1.23456L, 12, "1,234560000"}, // beyond nine decimals the nine are written
        {1.5L, -1, "2"},
        {1234567890.12345L, 4, "1234567890,0000"}, // still ten significant digits at most
    };
    for (const auto &row : rows)
        EXPECT_EQ(protocol::formatFixed(row.value, row.decimals, u',').toStdString(), row.text)
            << double(row.value) << " " << row.decimals;
}
