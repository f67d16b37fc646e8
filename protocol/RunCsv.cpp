#include "protocol/RunCsv.h"

#include "protocol/NumberFormat.h"

#include <QDateTime>
#include <QRegularExpression>

namespace protocol {

namespace {

constexpr QLatin1StringView Crlf("\r\n");

const QString DateTimeCaption = QStringLiteral("Datum/Zeit");
const QString TimeCaption = QStringLiteral("Stoppuhrzeit (s)");
const QString DistanceCaption = QStringLiteral("Entfernung (m)");
const QString SpeedCaption = QStringLiteral("Geschwindigkeit (m/s)");
const QString UncertaintyCaption = QStringLiteral("Unsicherheit (ms)");
const QString LateCaption = QStringLiteral("Verspätet erkannt");
const QString LabelCaption = QStringLiteral("Bezeichnung");
constexpr char16_t LateMark = u'*';

QString extraCaption(const CsvExtraColumn &c)
{
    return c.name + QStringLiteral(" (") + c.unit + u')';
}

QString extraUncertaintyCaption(const CsvExtraColumn &c)
{
    return QStringLiteral("Unsicherheit ") + extraCaption(c);
}

// Seconds with four decimals, exact from the (positive) tick count.
QString seconds(timing::Ticks ticks, QChar decimal)
{
    return QString::number(ticks / timing::TicksPerSecond) + decimal +
           QString::number(ticks % timing::TicksPerSecond).rightJustified(4, u'0');
}

QString fixed(long double value, int decimals, QChar decimal)
{
    if (decimals == 3)
        return protocol::formatFixed3(value, decimal);
    QString text = QString::number(double(value), 'f', qBound(0, decimals, 12));
    text.replace(u'.', decimal);
    return text;
}

// A field that holds the separator, a quote or a line end is quoted, quotes doubled.
QString field(const QString &text, CsvConvention convention)
{
    if (!text.contains(convention.separator) && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString joined(const QStringList &fields, CsvConvention convention)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += convention.separator;
        line += field(fields[i], convention);
    }
    return line + Crlf;
}

// Splits CSV text into records of fields; quoted fields may hold anything.
QList<QStringList> records(const QString &text, QChar separator)
{
    QList<QStringList> out;
    QStringList fields;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    current += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                current += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == separator) {
            fields << current;
            current.clear();
            any = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (any || !current.isEmpty()) {
                fields << current;
                out << fields;
            }
            fields.clear();
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any || !current.isEmpty()) {
        fields << current;
        out << fields;
    }
    return out;
}

bool isHeaderLine(const QString &line)
{
    return line.startsWith(DateTimeCaption);
}

std::optional<CsvConvention> conventionOfHeader(const QString &line)
{
    if (!isHeaderLine(line) || line.size() <= DateTimeCaption.size())
        return std::nullopt;
    const QChar separator = line[DateTimeCaption.size()];
    if (separator == u';')
        return CsvConvention{u';', u','};
    if (separator == u',')
        return CsvConvention{u',', u'.'};
    return std::nullopt;
}

// "12,3456" or "12.3456" as ticks, exactly; none for anything else.
std::optional<timing::Ticks> parseSeconds(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,12})[.,](\\d{4})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toLongLong() * timing::TicksPerSecond + m.captured(2).toLongLong();
}

std::optional<long double> parseNumber(QString text, QChar decimal)
{
    if (text.isEmpty())
        return std::nullopt;
    if (decimal != u'.')
        text.replace(decimal, u'.');
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

struct Columns
{
    CsvConvention convention;
    QStringList captions;
};

QList<CsvExtraColumn> extraOf(const QStringList &captions)
{
    static const QRegularExpression pattern(QStringLiteral("^(.*) \\((.*)\\)$"));
    QList<CsvExtraColumn> extra;
    for (const QString &caption : captions.mid(7)) {
        if (caption.startsWith(QStringLiteral("Unsicherheit ")))
            continue;
        const QRegularExpressionMatch m = pattern.match(caption);
        if (m.hasMatch())
            extra.append({m.captured(1), m.captured(2)});
    }
    return extra;
}

Run runOf(const QStringList &fields, const Columns &columns)
{
    const auto value = [&](const QString &caption) {
        const qsizetype i = columns.captions.indexOf(caption);
        return i >= 0 && i < fields.size() ? fields[i] : QString();
    };
    const QChar decimal = columns.convention.decimal;
    Run run;
    const QDateTime when = QDateTime::fromString(fields.value(0), Qt::ISODate);
    run.date = when.date();
    run.time = when.time();
    run.ticks = parseSeconds(value(TimeCaption));
    run.meters = parseNumber(value(DistanceCaption), decimal).value_or(0);
    run.uncertaintyMs = double(parseNumber(value(UncertaintyCaption), decimal).value_or(0));
    run.late = !value(LateCaption).isEmpty();
    run.label = value(LabelCaption);
    for (const CsvExtraColumn &c : extraOf(columns.captions)) {
        const QString text = value(extraCaption(c));
        RunValue v{c.name, c.unit, parseNumber(text, decimal),
                   parseNumber(value(extraUncertaintyCaption(c)), decimal).value_or(0), 3};
        const qsizetype point = text.indexOf(decimal);
        v.decimals = point < 0 ? 0 : int(text.size() - point - 1);
        run.extra.append(v);
    }
    return run;
}

} // namespace

CsvConvention CsvConvention::forDecimalSeparator(QChar decimalSeparator)
{
    if (decimalSeparator == u',')
        return {u';', u','};
    return {u',', u'.'};
}

QList<CsvExtraColumn> extraColumns(const QList<Run> &runs)
{
    QList<CsvExtraColumn> columns;
    for (const Run &run : runs) {
        for (const RunValue &v : run.extra) {
            const CsvExtraColumn c{v.name, v.unit};
            if (!columns.contains(c))
                columns.append(c);
        }
    }
    return columns;
}

QString csvHeader(const QList<CsvExtraColumn> &extra, CsvConvention convention)
{
    QStringList fields{DateTimeCaption,    TimeCaption, DistanceCaption, SpeedCaption,
                       UncertaintyCaption, LateCaption, LabelCaption};
    for (const CsvExtraColumn &c : extra)
        fields << extraCaption(c) << extraUncertaintyCaption(c);
    return joined(fields, convention);
}

QString csvLine(const Run &run, const QList<CsvExtraColumn> &extra, CsvConvention convention)
{
    const QChar decimal = convention.decimal;
    QStringList fields{run.date.toString(Qt::ISODate) + u'T' + run.time.toString(Qt::ISODate)};
    const std::optional<long double> speed = run.speed();
    if (speed) {
        fields << seconds(*run.ticks, decimal) << fixed(run.meters, 3, decimal)
               << fixed(*speed, 3, decimal) << fixed(run.uncertaintyMs, 3, decimal)
               << (run.late ? QString(LateMark) : QString());
    } else {
        fields << QString() << QString() << QString() << QString() << QString();
    }
    fields << run.label;
    for (const CsvExtraColumn &c : extra) {
        const auto v = std::find_if(run.extra.begin(), run.extra.end(), [&](const RunValue &r) {
            return r.name == c.name && r.unit == c.unit;
        });
        if (v != run.extra.end() && v->value)
            fields << fixed(*v->value, v->decimals, decimal)
                   << fixed(v->uncertainty, v->decimals, decimal);
        else
            fields << QString() << QString();
    }
    return joined(fields, convention);
}

QString csvText(const QList<Run> &runs, CsvConvention convention)
{
    const QList<CsvExtraColumn> extra = extraColumns(runs);
    QString text = csvHeader(extra, convention);
    for (const Run &run : runs)
        text += csvLine(run, extra, convention);
    return text;
}

QByteArray csvBytes(const QList<Run> &runs, CsvConvention convention)
{
    return csvText(runs, convention).toUtf8();
}

QList<Run> readCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<Run> runs;
    std::optional<Columns> columns;
    // Each header line decides how the lines after it are split.
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QString line = text.mid(start, end - start);
        start = end + 1;
        if (const std::optional<CsvConvention> c = conventionOfHeader(line)) {
            const QList<QStringList> header = records(line, c->separator);
            columns = Columns{*c, header.value(0)};
            continue;
        }
        if (!columns)
            continue;
        const QList<QStringList> parsed = records(line, columns->convention.separator);
        // A line cut short (by a crash while it was written) is no run.
        if (parsed.isEmpty() || parsed.first().size() < columns->captions.size())
            continue;
        Run run = runOf(parsed.first(), *columns);
        if (run.date.isValid() && run.time.isValid())
            runs.append(std::move(run));
    }
    return runs;
}

std::optional<CsvLayout> lastCsvLayout(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    qsizetype at = text.lastIndexOf(DateTimeCaption);
    while (at > 0 && text[at - 1] != u'\n')
        at = text.lastIndexOf(DateTimeCaption, at - 1);
    if (at < 0)
        return std::nullopt;
    qsizetype end = text.indexOf(u'\n', at);
    const QString line = text.mid(at, end < 0 ? -1 : end - at);
    const std::optional<CsvConvention> c = conventionOfHeader(line);
    if (!c)
        return std::nullopt;
    return CsvLayout{*c, extraOf(records(line, c->separator).value(0))};
}

} // namespace protocol
