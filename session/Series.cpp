#include "session/Series.h"

#include "protocol/NumberFormat.h"


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
    qsizetype last = -1; // runs come in stretches of one key: look there first
    for (int row = 0; row < runs.size(); ++row) {
        SeriesKey key = keyOf(runs.at(row));
        if (last < 0 || list.at(last).key != key) {
            last = -1;
            for (qsizetype i = 0; i < list.size() && last < 0; ++i)
                if (list.at(i).key == key)
                    last = i;
            if (last < 0) {
                list.append({std::move(key), {}});
                last = list.size() - 1;
            }
        }
        list[last].rows.append(row);
    }
    return list;
}

QList<protocol::RunStatistics> StatisticsView::groups() const
{
    QList<protocol::RunStatistics> list;
    if (all)
        list << *all;
    // One series is all there is: its line is the one over all runs.
    if (series.size() > 1)
        for (const SeriesStatistics &s : series)
            list << s.statistics;
    return list;
}

StatisticsView statisticsView(const QList<protocol::Run> &runs, const QList<Series> &series,
                              std::span<const qsizetype> rows, QChar decimalSeparator)
{
    StatisticsView view;
    QList<int> seriesOfRow(runs.size(), -1);
    for (int s = 0; s < series.size(); ++s)
        for (const int row : series.at(s).rows)
            if (row >= 0 && row < seriesOfRow.size())
                seriesOfRow[row] = s;
    // Each series once, in the order of the series, with the chosen rows of it.
    QList<QList<qsizetype>> chosen(series.size());
    for (const qsizetype row : rows) {
        const int s = row >= 0 && row < seriesOfRow.size() ? seriesOfRow.at(row) : -1;
        if (s >= 0)
            chosen[s] << row;
    }
    for (int s = 0; s < series.size(); ++s)
        if (!chosen.at(s).isEmpty())
            view.series.append({s, {}, chosen.at(s)});
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
        one.statistics.label = name;
    }
    if (shared && !view.series.isEmpty()) {
        view.all = protocol::statisticsOf(runs, allRows);
        view.all->allRuns = true;
        view.all->label.clear();
    }
    return view;
}

bool isHeadline(MeasurementMode mode, const QString &name)
{
    switch (mode) {
    case MeasurementMode::DarkTime: return name == QStringLiteral("v");
    case MeasurementMode::Acceleration:
        return name == QStringLiteral("v1") || name == QStringLiteral("v2") ||
               name == QStringLiteral("a");
    case MeasurementMode::PicketFence: return name == QStringLiteral("a");
    case MeasurementMode::Pendulum: return name == QStringLiteral("Periode");
    case MeasurementMode::BetweenBarriers: break;
    }
    return false;
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
    for (const int row : series.rows) {
        if (row < 0 || row >= runs.size())
            continue;
        const protocol::Run &run = runs.at(row);
        if (run.ticks && *run.ticks > 0)
            time.add(timing::secondsOf(static_cast<long double>(*run.ticks)));
        if (const std::optional<long double> v = run.speed())
            speed.add(*v);
        for (const timing::ModeValue &value : run.extra) {
            // A barrier's number is no quantity to average; times beside the headline
            // values crowd the line.
            if (!isHeadline(series.key.mode, value.name) || !value.value)
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
