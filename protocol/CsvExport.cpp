#include "protocol/CsvExport.h"

#include "protocol/NumberFormat.h"

namespace timing {

namespace {

constexpr QLatin1StringView Crlf("\r\n");

// Seconds with four decimals, exact from the (positive) tick count.
QString seconds(Ticks ticks)
{
    return QString::number(ticks / 10000) + u'.' +
           QString::number(ticks % 10000).rightJustified(4, u'0');
}

QString number(long double value)
{
    return formatFixed3(value, u'.');
}

// A field that holds the separator, a quote or a line end is quoted, quotes doubled.
QString field(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

QString csvText(const QList<CsvRecord> &records)
{
    QString text = QStringLiteral("Datum/Zeit,Stoppuhrzeit (s),Entfernung (m),"
                                  "Geschwindigkeit (m/s)") +
                   Crlf;
    for (const CsvRecord &r : records) {
        text += r.date.toString(Qt::ISODate) + u'T' + r.time.toString(Qt::ISODate);
        if (r.ticks && *r.ticks > 0) {
            const long double meters = r.meters;
            text += u',' + seconds(*r.ticks) + u',' + field(number(meters)) + u',' +
                    field(number(meters * 10000.0L / static_cast<long double>(*r.ticks)));
        } else {
            text += QStringLiteral(",,,");
        }
        text += Crlf;
    }
    return text;
}

QByteArray csvBytes(const QList<CsvRecord> &records)
{
    return csvText(records).toUtf8();
}

bool isCsvFileName(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

} // namespace timing
