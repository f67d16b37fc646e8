#include "protocol/ModeRuns.h"

#include <gtest/gtest.h>

using protocol::RunValue;
using timing::MeasurementMode;

TEST(ModeRuns, ValuesShowTheirDecimalsUncertaintyAndUnit)
{
    const struct
    {
        RunValue value;
        QChar separator;
        const char *text;
    } rows[] = {
        {{"v", "m/s", 0.5L, 0.002L, 3}, u',', "0,500±0,002 m/s"},
        {{"t1", "s", 0.05L, 0.0002L, 4}, u'.', "0.0500±0.0002 s"},
        {{"a", "m/s²", 0.50632911L, 0.0051146L, 3}, u',', "0,506±0,005 m/s²"},
        // An uncertainty that rounds to nothing is left out.
        {{"v", "m/s", 0.5L, 0.0004L, 3}, u',', "0,500 m/s"},
        {{"Schranke", "", 2, 0, 0}, u',', "2"},
        {{"v2", "m/s", std::nullopt, 0.1L, 3}, u',', "???"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(protocol::valueText(row.value, row.separator), QString::fromUtf8(row.text));
}

TEST(ModeRuns, AResultBecomesARunWithItsColumns)
{
    timing::ModeRun result;
    result.ticks = 500;
    result.meters = 0.025L;
    result.late = true;
    result.uncertaintyMs = 0.2;
    result.extra = timing::modeColumns(MeasurementMode::DarkTime);
    result.extra[0].value = 1;
    result.extra[1].value = 0.5L;
    result.extra[1].uncertainty = 0.002L;
    const QDate date(2026, 12, 6);
    const QTime time(14, 3, 27);
    const protocol::Run run = protocol::makeRun(result, MeasurementMode::DarkTime, date, time, {});
    EXPECT_EQ(run.date, date);
    EXPECT_EQ(run.time, time);
    EXPECT_EQ(run.ticks, 500);
    EXPECT_TRUE(run.late);
    EXPECT_EQ(run.uncertaintyMs, 0.2);
    ASSERT_TRUE(run.speed());
    EXPECT_DOUBLE_EQ(double(*run.speed()), 0.5);
    EXPECT_EQ(protocol::extraTexts(run, u','), (QStringList{"1", "0,500±0,002 m/s"}));
}

TEST(ModeRuns, EachModeNamesItsFurtherColumns)
{
    EXPECT_EQ(protocol::extraCaptions(MeasurementMode::BetweenBarriers), QStringList());
    EXPECT_EQ(protocol::extraCaptions(MeasurementMode::DarkTime), (QStringList{"Schranke", "v"}));
    EXPECT_EQ(protocol::extraCaptions(MeasurementMode::Acceleration),
              (QStringList{"t1", "t2", "v1", "v2", "a"}));
    EXPECT_EQ(protocol::extraCaptions(MeasurementMode::Pendulum), QStringList{"Periode"});
    EXPECT_EQ(protocol::extraCaptions(MeasurementMode::PicketFence),
              (QStringList{"Latten", "a"}));
    QStringList columns;
    for (const protocol::CsvExtraColumn &c : protocol::shownColumns(MeasurementMode::PicketFence, {}))
        columns << protocol::columnCaption(c);
    EXPECT_EQ(columns, (QStringList{"Latten", "a (m/s²)"}));
}

TEST(ModeRuns, CellsFollowTheColumnByNameAndUnitAndMarkALateValue)
{
    protocol::Run run;
    run.extra = {{"t1", "s", 0.05L, 0, 4, true}, {"t2", "s", 0.025L, 0, 4, false},
                 {"v1", "m/s", std::nullopt, 0, 3, true}};
    const struct
    {
        protocol::CsvExtraColumn column;
        const char *text;
    } rows[] = {
        {{"t1", "s"}, "0,0500 s*"},
        {{"t2", "s"}, "0,0250 s"},
        // No value, nothing to mark.
        {{"v1", "m/s"}, "???"},
        {{"t1", "ms"}, ""},
        {{"Periode", "s"}, ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(protocol::cellText(run, row.column, u','), QString::fromUtf8(row.text))
            << row.column.name.toStdString();
}

TEST(ModeRuns, ShownColumnsAreTheModesThenThoseOfOtherRunsInTheList)
{
    protocol::Run dark;
    dark.extra = {{"Schranke", "", 1, 0, 0}, {"v", "m/s", 0.5L, 0, 3}};
    protocol::Run plain;
    const auto captions = [](const QList<protocol::CsvExtraColumn> &columns) {
        QStringList out;
        for (const auto &c : columns)
            out << protocol::columnCaption(c);
        return out;
    };
    const struct
    {
        MeasurementMode mode;
        QList<protocol::Run> runs;
        QStringList captions;
    } rows[] = {
        {MeasurementMode::BetweenBarriers, {plain}, {}},
        {MeasurementMode::BetweenBarriers, {plain, dark}, {"Schranke", "v (m/s)"}},
        {MeasurementMode::DarkTime, {dark, dark}, {"Schranke", "v (m/s)"}},
        {MeasurementMode::Pendulum, {dark}, {"Periode (s)", "Schranke", "v (m/s)"}},
        {MeasurementMode::Acceleration, {},
         {"t1 (s)", "t2 (s)", "v1 (m/s)", "v2 (m/s)", "a (m/s²)"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(captions(protocol::shownColumns(row.mode, row.runs)), row.captions);
}
