#include "protocol/Statistics.h"

#include "protocol/NumberFormat.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace protocol {

namespace {

constexpr int TimeDecimals = 4;
constexpr int SpeedDecimals = 3;
// A spread is read against its mean: one digit more.
constexpr int SpreadExtra = 1;

struct Quantity
{
    const char16_t *symbol; // t, v
    const char16_t *unit;
    const char16_t *name;   // "der Zeit"
    int decimals;
};

constexpr Quantity Time{u"t", u"s", u"der Zeit", TimeDecimals};
constexpr Quantity Speed{u"v", u"m/s", u"der Geschwindigkeit", SpeedDecimals};

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

// The symbol with a bar over it, as a mean is written.
QString barred(const Quantity &q)
{
    return text(q.symbol) + QChar(0x0304);
}

void appendCaptions(StatisticsTable &table, const Quantity &q)
{
    // The unit goes to the long name only: the captions must fit the strip's narrow columns.
    const QString symbol = text(q.symbol);
    table.captions << barred(q) << u"s("_s + symbol + u")"_s << u"s("_s + barred(q) + u")"_s
                   << symbol + u" min"_s << symbol + u" max"_s;
    const QString tail = u' ' + text(q.name) + u" in "_s + text(q.unit);
    table.descriptions << u"Mittelwert"_s + tail << u"Standardabweichung"_s + tail
                       << u"Standardfehler des Mittelwerts"_s + tail << u"Kleinster Wert"_s + tail
                       << u"Größter Wert"_s + tail;
}

void appendCells(QStringList &cells, const Spread &spread, const Quantity &q, QChar separator)
{
    if (spread.count == 0) {
        for (int i = 0; i < 5; ++i)
            cells << QString();
        return;
    }
    const auto fixed = [&](long double value, int decimals) {
        return timing::formatFixed(value, decimals, separator);
    };
    const int fine = q.decimals + SpreadExtra;
    cells << fixed(spread.mean, q.decimals)
          << (spread.deviation ? fixed(*spread.deviation, fine) : QString())
          << (spread.error ? fixed(*spread.error, fine) : QString())
          << fixed(spread.min, q.decimals) << fixed(spread.max, q.decimals);
}

QString describe(const Spread &spread, const Quantity &q, QChar separator)
{
    const QString unit = u' ' + text(q.unit);
    const auto fixed = [&](long double value, int decimals) {
        return timing::formatFixed(value, decimals, separator) + unit;
    };
    const int fine = q.decimals + SpreadExtra;
    QString result = u"Mittelwert "_s + text(q.name) + u' ' + fixed(spread.mean, q.decimals);
    if (spread.deviation)
        result += u", Standardabweichung "_s + fixed(*spread.deviation, fine);
    if (spread.error)
        result += u", Standardfehler "_s + fixed(*spread.error, fine);
    if (spread.count > 1)
        result += u", kleinster Wert "_s + fixed(spread.min, q.decimals) + u", größter Wert "_s
                  + fixed(spread.max, q.decimals);
    return result;
}

} // namespace

Spread spreadOf(std::span<const long double> values)
{
    Spread result;
    result.count = qsizetype(values.size());
    if (values.empty())
        return result;

    const long double shift = values.front();
    long double shiftedSum = 0;
    result.min = result.max = shift;
    for (const long double v : values) {
        shiftedSum += v - shift;
        result.min = std::min(result.min, v);
        result.max = std::max(result.max, v);
    }
    const auto n = static_cast<long double>(values.size());
    result.mean = shift + shiftedSum / n;
    // The mean of equal values is that value, and no rounding may make it leave the range.
    result.mean = std::clamp(result.mean, result.min, result.max);
    if (values.size() < 2)
        return result;

    long double squares = 0;
    long double residual = 0;
    for (const long double v : values) {
        const long double d = v - result.mean;
        squares += d * d;
        residual += d;
    }
    const long double variance = std::max(0.0L, (squares - residual * residual / n) / (n - 1));
    result.deviation = std::sqrt(variance);
    result.error = *result.deviation / std::sqrt(n);
    return result;
}

QList<qsizetype> statisticsRows(QList<qsizetype> selected, qsizetype rowCount)
{
    selected.erase(std::remove_if(selected.begin(), selected.end(),
                                  [rowCount](qsizetype r) { return r < 0 || r >= rowCount; }),
                   selected.end());
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    if (selected.size() >= 2)
        return selected;
    QList<qsizetype> all(rowCount);
    for (qsizetype r = 0; r < rowCount; ++r)
        all[r] = r;
    return all;
}

RunStatistics statisticsOf(std::span<const Run> runs, std::span<const qsizetype> rows)
{
    RunStatistics result;
    std::vector<long double> times;
    std::vector<long double> speeds;
    times.reserve(rows.size());
    speeds.reserve(rows.size());
    for (const qsizetype r : rows) {
        const Run &run = runs[std::size_t(r)];
        ++result.runs;
        if (!run.ticks || *run.ticks <= 0) {
            ++result.withoutTime;
            continue;
        }
        times.push_back(static_cast<long double>(*run.ticks) / 10000.0L);
        if (const auto v = run.speed())
            speeds.push_back(*v);
    }
    result.time = spreadOf(times);
    result.speed = spreadOf(speeds);
    return result;
}

QList<RunStatistics> statisticsByLabel(std::span<const Run> runs,
                                       std::span<const qsizetype> rows)
{
    QList<RunStatistics> result;
    if (rows.empty())
        return result;
    RunStatistics all = statisticsOf(runs, rows);
    all.allRuns = true;
    result << all;

    QList<QString> order;
    QHash<QString, QList<qsizetype>> groups;
    for (const qsizetype r : rows) {
        const QString &label = runs[std::size_t(r)].label;
        auto it = groups.find(label);
        if (it == groups.end()) {
            order << label;
            it = groups.insert(label, {});
        }
        it->append(r);
    }
    if (order.size() < 2)
        return result;
    for (const QString &label : order) {
        RunStatistics group = statisticsOf(runs, groups.value(label));
        group.label = label;
        result << group;
    }
    return result;
}

QString groupName(const RunStatistics &group)
{
    if (group.allRuns)
        return QStringLiteral("Alle");
    return group.label.isEmpty() ? QStringLiteral("ohne Bezeichnung") : group.label;
}

StatisticsTable statisticsTable(const QList<RunStatistics> &groups, QChar decimalSeparator)
{
    StatisticsTable table;
    table.captions << QStringLiteral("Bezeichnung") << QStringLiteral("n");
    table.descriptions << QStringLiteral("Bezeichnung der Messungen")
                       << QStringLiteral("Anzahl der Messungen mit Zeit; in Klammern die "
                                         "ohne gültige Zeit, die nicht gemittelt werden");
    appendCaptions(table, Time);
    appendCaptions(table, Speed);
    for (const RunStatistics &group : groups) {
        QStringList cells;
        QString count = QString::number(group.time.count);
        if (group.withoutTime > 0)
            count += QStringLiteral(" (+%1)").arg(group.withoutTime);
        cells << groupName(group) << count;
        appendCells(cells, group.time, Time, decimalSeparator);
        appendCells(cells, group.speed, Speed, decimalSeparator);
        table.rows << cells;
    }
    return table;
}

QString statisticsSummary(const QList<RunStatistics> &groups, QChar decimalSeparator)
{
    QStringList sentences;
    for (const RunStatistics &group : groups) {
        QString sentence = groupName(group) + u": "_s
                           + (group.runs == 1 ? QStringLiteral("1 Messung")
                                              : QStringLiteral("%1 Messungen").arg(group.runs));
        if (group.withoutTime > 0)
            sentence += QStringLiteral(", davon %1 ohne Zeit").arg(group.withoutTime);
        if (group.time.count > 0)
            sentence += u"; "_s + describe(group.time, Time, decimalSeparator);
        if (group.speed.count > 0)
            sentence += u"; "_s + describe(group.speed, Speed, decimalSeparator);
        sentences << sentence + u'.';
    }
    return sentences.join(u' ');
}

} // namespace protocol
