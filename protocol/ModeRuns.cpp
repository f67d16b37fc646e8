#include "protocol/ModeRuns.h"

#include "protocol/NumberFormat.h"
#include "timing/ModeEngine.h"

namespace protocol {

Run runOf(const timing::ModeRun &result, QDate date, QTime time)
{
    Run run;
    run.date = date;
    run.time = time;
    run.ticks = result.ticks;
    run.meters = result.meters;
    run.late = result.late;
    run.uncertaintyMs = result.uncertaintyMs;
    for (const timing::ModeValue &v : result.extra)
        run.extra.append({v.name, v.unit, v.value, v.uncertainty, v.decimals});
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
    QString text = timing::formatFixed(*value.value, value.decimals, decimalSeparator);
    const QString uncertainty =
        timing::formatFixed(value.uncertainty, value.decimals, decimalSeparator);
    if (uncertainty != timing::formatFixed(0, value.decimals, decimalSeparator))
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

} // namespace protocol
