#include "session/Series.h"

#include "protocol/NumberFormat.h"

#include <QHash>

namespace session {

using timing::MeasurementMode;

bool hasSetting(MeasurementMode mode)
{
    return int(mode) >= 0 && int(mode) < timing::MeasurementModeCount;
}

SeriesKey keyOf(const protocol::Run &run)
{
    return {run.mode, hasSetting(run.mode) ? run.meters : 0, run.label};
}

QString modeName(MeasurementMode mode)
{
    switch (mode) {
    case MeasurementMode::BetweenBarriers: return QStringLiteral("Zwischen den Schranken");
    case MeasurementMode::DarkTime: return QStringLiteral("Dunkelzeit");
    case MeasurementMode::Acceleration: return QStringLiteral("Beschleunigung");
    case MeasurementMode::Pendulum: return QStringLiteral("Pendel");
    case MeasurementMode::PicketFence: return QStringLiteral("Lattenzaun");
    }
    return {};
}

QString settingText(const SeriesKey &key, QChar decimalSeparator)
{
    if (!hasSetting(key.mode))
        return {};
    const QString meters = protocol::formatFixed3(key.setting, decimalSeparator) + QStringLiteral(" m");
    switch (key.mode) {
    case MeasurementMode::DarkTime: return QStringLiteral("Fahne ") + meters;
    case MeasurementMode::Pendulum: return QStringLiteral("l = ") + meters;
    case MeasurementMode::PicketFence: return QStringLiteral("Zaun ") + meters;
    default: return QStringLiteral("s = ") + meters;
    }
}

QList<Series> seriesOf(const QList<protocol::Run> &runs)
{
    QList<Series> list;
    for (int row = 0; row < runs.size(); ++row) {
        SeriesKey key = keyOf(runs.at(row));
        if (!list.isEmpty() && list.back().key == key)
            list.back().last = row;
        else
            list.append({std::move(key), row, row});
    }
    return list;
}

QList<protocol::RunStatistics> StatisticsView::groups() const
{
    QList<protocol::RunStatistics> list;
    if (all)
        list << *all;
    for (const SeriesStatistics &s : series)
        list << s.statistics;
    return list;
}

StatisticsView statisticsView(const QList<protocol::Run> &runs, const QList<Series> &series,
                              std::span<const qsizetype> rows, QChar decimalSeparator)
{
    StatisticsView view;
    // Rows come in list order, and so do the series.
    int s = 0;
    for (const qsizetype row : rows) {
        if (row < 0 || row >= runs.size())
            continue;
        while (s < series.size() && series.at(s).last < row)
            ++s;
        if (s == series.size())
            break;
        if (view.series.isEmpty() || view.series.back().series != s)
            view.series.append({s, {}, {}});
        view.series.back().rows << row;
    }
    bool shared = true;
    bool differ = false; // in the setting or the mode, so the name must tell them apart
    QList<qsizetype> allRows;
    for (const SeriesStatistics &one : std::as_const(view.series)) {
        const SeriesKey &key = series.at(one.series).key;
        const SeriesKey &firstKey = series.at(view.series.front().series).key;
        if (key.mode != firstKey.mode || key.setting != firstKey.setting)
            shared = false, differ = true;
        allRows << one.rows;
    }
    // The same label may come back after another; each comes once in the table.
    QHash<QString, int> seen;
    for (SeriesStatistics &one : view.series) {
        const SeriesKey &key = series.at(one.series).key;
        one.statistics = protocol::statisticsOf(runs, one.rows);
        one.statistics.allRuns = false;
        QString name = key.label;
        if (differ) {
            const QString setting = hasSetting(key.mode) ? settingText(key, decimalSeparator)
                                                         : modeName(key.mode);
            name = name.isEmpty() ? setting : name + QStringLiteral(" (") + setting + u')';
        }
        const int count = ++seen[name];
        if (count > 1)
            name += QStringLiteral(" #%1").arg(count);
        one.statistics.label = name;
    }
    if (shared && view.series.size() > 1) {
        view.all = protocol::statisticsOf(runs, allRows);
        view.all->allRuns = true;
        view.all->label.clear();
    }
    return view;
}

SeriesResult seriesResult(const QList<protocol::Run> &runs, const Series &series,
                          QChar decimalSeparator)
{
    SeriesResult result;
    result.name = series.key.label.isEmpty() ? QStringLiteral("ohne Bezeichnung") : series.key.label;
    result.setting = settingText(series.key, decimalSeparator);
    result.count = series.size();
    protocol::SpreadAccumulator time;
    protocol::SpreadAccumulator speed;
    QList<std::pair<timing::ModeValue, protocol::SpreadAccumulator>> values;
    for (int row = series.first; row <= series.last && row < runs.size(); ++row) {
        const protocol::Run &run = runs.at(row);
        if (run.ticks && *run.ticks > 0)
            time.add(timing::secondsOf(static_cast<long double>(*run.ticks)));
        if (const std::optional<long double> v = run.speed())
            speed.add(*v);
        for (const timing::ModeValue &value : run.extra) {
            // A barrier's number is no quantity to average.
            if (value.unit.isEmpty() || !value.value)
                continue;
            qsizetype i = 0;
            while (i < values.size() && values.at(i).first.name != value.name)
                ++i;
            if (i == values.size())
                values.append({value, {}});
            values[i].second.add(*value.value);
        }
    }
    if (time.count() > 0)
        result.meanSeconds = time.spread().mean;
    const auto line = [&](const QString &name, long double mean, int decimals, const QString &unit) {
        return name + QStringLiteral(" = ") + protocol::formatFixed(mean, decimals, decimalSeparator) +
               u' ' + unit;
    };
    // A flag's speed is among the mode's values already.
    if (series.key.mode == MeasurementMode::BetweenBarriers && speed.count() > 0)
        result.results << line(QStringLiteral("v"), speed.spread().mean, 3, QStringLiteral("m/s"));
    for (const auto &[column, spread] : values)
        result.results << line(column.name == QStringLiteral("Periode") ? QStringLiteral("T")
                                                                         : column.name,
                               spread.spread().mean, column.decimals, column.unit);
    return result;
}

} // namespace session
