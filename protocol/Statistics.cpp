#include "protocol/Statistics.h"

#include "protocol/NumberFormat.h"

#include <algorithm>
#include <cmath>

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

// "Ø t": a bar over the symbol is lost in a small face, and Ø is how a German reads
// "average" anyway.
QString averaged(const Quantity &q)
{
    return u"\u00D8 "_s + text(q.symbol);
}

void appendCaptions(StatisticsTable &table, const Quantity &q)
{
    // The unit goes to the long name only: the captions must fit the strip's narrow columns.
    const QString symbol = text(q.symbol);
    table.captions << averaged(q) << u"s("_s + symbol + u")"_s << u"s("_s + symbol + u")/\u221An"_s
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
        return protocol::formatFixed(value, decimals, separator);
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
        return protocol::formatFixed(value, decimals, separator) + unit;
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

void SpreadAccumulator::add(long double value)
{
    if (m_count == 0) {
        m_shift = m_min = m_max = value;
    } else {
        m_min = std::min(m_min, value);
        m_max = std::max(m_max, value);
    }
    ++m_count;
    const long double shifted = value - m_shift;
    const long double delta = shifted - m_mean;
    m_mean += delta / static_cast<long double>(m_count);
    m_squares += delta * (shifted - m_mean);
}

Spread SpreadAccumulator::spread() const
{
    Spread result;
    result.count = m_count;
    if (m_count == 0)
        return result;
    result.min = m_min;
    result.max = m_max;
    // No rounding may carry the mean out of the values' range.
    result.mean = std::clamp(m_shift + m_mean, m_min, m_max);
    if (m_count < 2)
        return result;
    const auto n = static_cast<long double>(m_count);
    result.deviation = std::sqrt(std::max(0.0L, m_squares / (n - 1)));
    result.error = *result.deviation / std::sqrt(n);
    return result;
}

Spread spreadOf(std::span<const long double> values)
{
    SpreadAccumulator accumulator;
    for (const long double v : values)
        accumulator.add(v);
    return accumulator.spread();
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

void LabelStatistics::Group::add(const Run &run)
{
    ++runs;
    if (!run.ticks || *run.ticks <= 0) {
        ++withoutTime;
        return;
    }
    time.add(timing::secondsOf(static_cast<long double>(*run.ticks)));
    // A pendulum's period has no speed; a zero would pull the mean down.
    if (const std::optional<long double> v = run.speed())
        speed.add(*v);
}

RunStatistics LabelStatistics::Group::statistics() const
{
    RunStatistics result;
    result.label = label;
    result.runs = runs;
    result.withoutTime = withoutTime;
    result.time = time.spread();
    result.speed = speed.spread();
    return result;
}

LabelStatistics::LabelStatistics(std::span<const Run> runs, std::span<const qsizetype> rows)
{
    for (const qsizetype r : rows)
        add(runs[std::size_t(r)]);
}

void LabelStatistics::add(const Run &run)
{
    m_all.add(run);
    if (m_last < 0 || m_groups[m_last].label != run.label) {
        m_last = -1;
        for (qsizetype i = 0; i < m_groups.size() && m_last < 0; ++i)
            if (m_groups[i].label == run.label)
                m_last = i;
        if (m_last < 0) {
            m_groups.append(Group{run.label, 0, 0, {}, {}});
            m_last = m_groups.size() - 1;
        }
    }
    m_groups[m_last].add(run);
}

QList<RunStatistics> LabelStatistics::groups() const
{
    QList<RunStatistics> result;
    if (m_all.runs == 0)
        return result;
    RunStatistics all = m_all.statistics();
    all.label.clear();
    all.allRuns = true;
    result << all;
    if (m_groups.size() >= 2)
        for (const Group &group : m_groups)
            result << group.statistics();
    return result;
}

RunStatistics statisticsOf(std::span<const Run> runs, std::span<const qsizetype> rows)
{
    return LabelStatistics(runs, rows).groups().value(0);
}

QList<RunStatistics> statisticsByLabel(std::span<const Run> runs,
                                       std::span<const qsizetype> rows)
{
    return LabelStatistics(runs, rows).groups();
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
