#include "protocol/ModeRuns.h"

#include "platform/Locale.h"
#include "protocol/NumberFormat.h"
#include "protocol/ProtocolExport.h"
#include "protocol/RunLog.h"
#include "protocol/RunTexts.h"
#include "timing/ModeEngine.h"

namespace protocol {

Run makeRun(const timing::ModeRun &result, timing::MeasurementMode mode, QDate date, QTime time,
            const QString &label)
{
    Run run;
    run.date = date;
    run.time = time;
    run.ticks = result.ticks;
    run.meters = result.meters;
    run.late = result.late;
    run.uncertaintyMs = result.uncertaintyMs;
    run.extra = result.extra;
    run.speeds = result.speeds;
    run.mode = mode;
    run.manual = result.manual;
    run.label = cleanLabel(label);
    return run;
}

QStringList extraCaptions(timing::MeasurementMode mode)
{
    QStringList captions;
    for (const timing::ModeValue &column : timing::modeColumns(mode))
        captions.append(column.name);
    return captions;
}

QString valueText(const RunValue &value, QChar decimalSeparator)
{
    if (!value.value)
        return QStringLiteral("???");
    QString text = protocol::formatFixed(*value.value, value.decimals, decimalSeparator);
    const QString uncertainty =
        protocol::formatFixed(value.uncertainty, value.decimals, decimalSeparator);
    if (uncertainty != protocol::formatFixed(0, value.decimals, decimalSeparator))
        text += u'±' + uncertainty;
    if (!value.unit.isEmpty())
        text += u' ' + value.unit;
    return text;
}

QStringList extraTexts(const Run &run, QChar decimalSeparator)
{
    QStringList texts;
    for (const RunValue &value : run.extra)
        texts.append(valueText(value, decimalSeparator));
    return texts;
}

QString columnCaption(const CsvExtraColumn &column)
{
    if (column.unit.isEmpty())
        return column.name;
    return QStringLiteral("%1 (%2)").arg(column.name, column.unit);
}

QList<CsvExtraColumn> shownColumns(timing::MeasurementMode mode, const QList<Run> &runs)
{
    QList<CsvExtraColumn> columns;
    for (const timing::ModeValue &c : timing::modeColumns(mode))
        columns.append({c.name, c.unit});
    for (const CsvExtraColumn &c : extraColumns(runs))
        if (!columns.contains(c))
            columns.append(c);
    return columns;
}

QString cellText(const Run &run, const CsvExtraColumn &column, QChar decimalSeparator)
{
    for (const RunValue &value : run.extra) {
        if (value.name != column.name || value.unit != column.unit)
            continue;
        QString text = valueText(value, decimalSeparator);
        if (value.late && value.value)
            text += protocol::LateMark;
        return text;
    }
    return {};
}

QString exportText(const QList<Run> &runs, const QList<CsvExtraColumn> &columns,
                   const platform::Locale &locale)
{
    QList<protocol::ProtocolRow> rows = protocolRows(runs, locale);
    QStringList headers;
    for (const CsvExtraColumn &c : columns)
        headers.append(columnCaption(c));
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (const CsvExtraColumn &c : columns)
            rows[r].extra.append(cellText(runs.at(r), c, locale.decimalSeparator()));
    return protocol::exportText(rows, headers);
}

} // namespace protocol
