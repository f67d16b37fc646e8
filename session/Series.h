#pragma once

#include "protocol/Run.h"
#include "protocol/Statistics.h"
#include "timing/Measurement.h"

#include <QChar>
#include <QList>
#include <QString>

#include <optional>
#include <span>

namespace session {

// What makes runs one series: the measurement mode, its setting and the label. Times of
// different distances, or a pendulum's periods beside a cart's times, never mix.
struct SeriesKey
{
    timing::MeasurementMode mode = timing::MeasurementMode::BetweenBarriers;
    // The distance, flag length, pendulum length or fence length the runs were taken over.
    long double setting = 0;
    QString label;

    bool operator==(const SeriesKey &) const = default;
};

SeriesKey keyOf(const protocol::Run &run);
// Whether the mode's runs depend on a length the user sets: every mode's do, the
// pendulum's on its length.
bool hasSetting(timing::MeasurementMode mode);
// "Zwischen den Schranken", "Dunkelzeit", …
QString modeName(timing::MeasurementMode mode);
// The setting as the window shows it: "s = 0,500 m", "Fahne 0,025 m"; empty without one.
QString settingText(const SeriesKey &key, QChar decimalSeparator);

// The runs of one key: a change of mode, setting or label starts the next series, and a key
// taken up again (two carts in turn) continues its own.
struct Series
{
    SeriesKey key;
    QList<int> rows; // ascending
    int first() const { return rows.isEmpty() ? -1 : rows.front(); }
    int last() const { return rows.isEmpty() ? -1 : rows.back(); }

    int size() const { return int(rows.size()); }
    bool operator==(const Series &) const = default;
};
// In the order their first runs came.
QList<Series> seriesOf(const QList<protocol::Run> &runs);

// One series' statistics over the chosen rows of it, under the name the table shows.
struct SeriesStatistics
{
    int series = 0; // index into the series list
    protocol::RunStatistics statistics;
    QList<qsizetype> rows;
};

// The statistics of the series the chosen rows fall into, in their order, each named by its
// label, and by its setting too where the series differ in it. A line over all of them comes
// first only where they share mode and setting: an average across distances or modes says
// nothing. A single series is shown as that line alone.
struct StatisticsView
{
    std::optional<protocol::RunStatistics> all;
    QList<SeriesStatistics> series;

    // The groups as the statistics table lists them: the line over all first, if any.
    QList<protocol::RunStatistics> groups() const;
};
StatisticsView statisticsView(const QList<protocol::Run> &runs, const QList<Series> &series,
                              std::span<const qsizetype> rows, QChar decimalSeparator);

// What a class sees of a series on the projector: its label and setting, its count, the
// mean time and the mode's own result (v, or v1/v2/a, or T, or a dark time and its v).
struct SeriesResult
{
    QString name;    // the label, or "ohne Bezeichnung"
    QString setting; // settingText
    int count = 0;
    std::optional<long double> meanSeconds;
    // "v = 0,717 m/s", "a = 0,498 m/s²": the means of the mode's values.
    QStringList results;
};
// Whether a mode's value is one a class looks for first: v1, v2 and a of a pass, a flag's
// v, a fence's a; a pendulum's period is its time.
bool isHeadline(timing::MeasurementMode mode, const QString &name);

SeriesResult seriesResult(const QList<protocol::Run> &runs, const Series &series,
                          QChar decimalSeparator);

} // namespace session
