#pragma once

#include "protocol/Run.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace protocol {

// Mean, spread and range of one quantity. The spread needs two values: with one, both
// deviations are empty; with none, every figure is meaningless and count is 0.
struct Spread
{
    qsizetype count = 0;
    long double mean = 0;
    long double min = 0;
    long double max = 0;
    std::optional<long double> deviation; // sample standard deviation (n - 1)
    std::optional<long double> error;     // standard error of the mean, deviation / sqrt(n)

    bool operator==(const Spread &) const = default;
};

// Welford's running mean and sum of squared deviations, taken of each value less the
// first one: a large offset with a tiny spread keeps its digits, and one more value costs
// the same however many came before.
class SpreadAccumulator
{
public:
    void add(long double value);
    Spread spread() const;
    qsizetype count() const { return m_count; }

private:
    qsizetype m_count = 0;
    long double m_shift = 0;
    long double m_mean = 0; // of the shifted values
    long double m_squares = 0;
    long double m_min = 0;
    long double m_max = 0;
};

Spread spreadOf(std::span<const long double> values);

// The statistics of a group of runs: time in seconds, speed in metres per second.
struct RunStatistics
{
    QString label;          // the group's label; empty for all runs or runs without one
    bool allRuns = false;   // the line over every run of the subset, whatever its label
    qsizetype runs = 0;     // runs in the group, with or without a time
    qsizetype withoutTime = 0; // runs whose stop was not after the start: counted, not averaged
    Spread time;
    Spread speed;

    bool operator==(const RunStatistics &) const = default;
};

// The rows statistics are taken over: the selected ones when two or more are selected
// (in list order, each once, those out of range dropped), otherwise every row.
QList<qsizetype> statisticsRows(QList<qsizetype> selected, qsizetype rowCount);

RunStatistics statisticsOf(std::span<const Run> runs, std::span<const qsizetype> rows);

// The statistics of a protocol as it grows: a run appended costs the same whatever the
// protocol holds, so the window can follow every new run; anything else (a deletion, a
// new selection) starts a new one.
class LabelStatistics
{
public:
    LabelStatistics() = default;
    LabelStatistics(std::span<const Run> runs, std::span<const qsizetype> rows);

    void add(const Run &run);

    // One line over every run added, followed, when they carry two or more different
    // labels, by one line per label in the order the labels first appear. Empty when no
    // run was added.
    QList<RunStatistics> groups() const;

private:
    struct Group
    {
        QString label;
        qsizetype runs = 0;
        qsizetype withoutTime = 0;
        SpreadAccumulator time;
        SpreadAccumulator speed;

        void add(const Run &run);
        RunStatistics statistics() const;
    };

    Group m_all;
    QList<Group> m_groups;
    qsizetype m_last = -1; // runs come in series of one label: look there first
};

QList<RunStatistics> statisticsByLabel(std::span<const Run> runs,
                                       std::span<const qsizetype> rows);

// The statistics as a table, for the window's strip and the report: column captions,
// their long German names, and one row of cells per group. Time with four decimals and
// its spread with five; speed with three and its spread with four.
struct StatisticsTable
{
    QStringList captions;
    QStringList descriptions;
    QList<QStringList> rows;
};
StatisticsTable statisticsTable(const QList<RunStatistics> &groups, QChar decimalSeparator);

// One sentence per group for screen readers and tooltips: "Alle: 5 Messungen, Zeit
// Mittelwert 0,8002 s, Standardabweichung 0,00031 s, …".
QString statisticsSummary(const QList<RunStatistics> &groups, QChar decimalSeparator);

// The caption of a group in the table: "Alle", the label, or "ohne Bezeichnung".
QString groupName(const RunStatistics &group);

} // namespace protocol
