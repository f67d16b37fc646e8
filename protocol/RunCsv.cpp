#include "protocol/RunCsv.h"

#include "protocol/CsvColumns.h"

#include "protocol/NumberFormat.h"
#include "protocol/RunReader.h"

#include <QDateTime>
#include <QRegularExpression>

namespace protocol {

namespace {

constexpr QLatin1StringView Crlf("\r\n");
const QByteArray Utf8Bom("\xEF\xBB\xBF");

using namespace csv;
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

QList<CsvExtraColumn> extraOf(const QStringList &captions)
{
    static const QRegularExpression pattern(QStringLiteral("^(.*) \\((.*)\\)$"));
    QList<CsvExtraColumn> extra;
    for (const QString &caption : captions.mid(9)) {
        if (caption.startsWith(QStringLiteral("Unsicherheit ")))
            continue;
        const QRegularExpressionMatch m = pattern.match(caption);
        if (m.hasMatch())
            extra.append({m.captured(1), m.captured(2)});
    }
    return extra;
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
    QStringList fields{DateTimeCaption, TimeCaption, DistanceCaption, SpeedCaption,
                       UncertaintyCaption, LateCaption, LabelCaption, ModeCaption, ManualCaption};
    for (const CsvExtraColumn &c : extra)
        fields << extraCaption(c) << extraUncertaintyCaption(c);
    return joined(fields, convention);
}

QString csvLine(const Run &run, const QList<CsvExtraColumn> &extra, CsvConvention convention)
{
    const QChar decimal = convention.decimal;
    QStringList fields{run.date.toString(Qt::ISODate) + u'T' + run.time.toString(Qt::ISODate)};
    if (run.ticks && *run.ticks > 0) {
        // A pendulum has a time but no speed.
        const std::optional<long double> speed = run.speed();
        fields << seconds(*run.ticks, decimal) << fixed(run.meters, 3, decimal)
               << (speed ? fixed(*speed, 3, decimal) : QString())
               << fixed(run.uncertaintyMs, 3, decimal)
               << (run.late ? QString(LateMark) : QString());
    } else {
        fields << QString() << QString() << QString() << QString() << QString();
    }
    fields << guardedCell(run.label) << QString::number(int(run.mode))
           << (run.manual ? ManualMark : QString());
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
    return Utf8Bom + csvText(runs, convention).toUtf8();
}

QList<Run> readCsv(const QByteArray &bytes)
{
    return readRuns(bytes, {}).runs;
}

std::optional<CsvLayout> lastCsvLayout(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    qsizetype end = text.size();
    while (end > 0) {
        const qsizetype start = text.lastIndexOf(u'\n', end - 1) + 1;
        QString line = text.mid(start, end - start);
        end = start - 1;
        while (line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        if (line.endsWith(u'\r'))
            line.chop(1);
        const std::optional<CsvConvention> c = conventionOfHeader(line);
        if (!c) {
            if (line.startsWith(DateTimeCaption) || line.startsWith(u'"' + DateTimeCaption))
                return CsvLayout{{}, {}, false};
            continue;
        }
        CsvLayout layout{*c, extraOf(records(line, c->separator).value(0)), true};
        // Another header (a column added by hand, a spreadsheet's) is not the one this
        // writer's lines fit under.
        layout.ours = csvHeader(layout.extra, *c) == line + Crlf;
        return layout;
    }
    return std::nullopt;
}

} // namespace protocol
