#include "protocol/RunTexts.h"

#include "platform/Locale.h"
#include "protocol/RunLog.h"

namespace protocol {

protocol::ProtocolRow protocolRow(const Run &run, const platform::Locale &locale)
{
    timing::RunEntry entry;
    if (run.ticks && *run.ticks > 0)
        entry.time = run.ticks;
    // A pendulum's length is its series' setting, not a distance travelled: the list shows
    // neither a distance nor a speed for it.
    entry.meters = run.mode == timing::MeasurementMode::Pendulum ? 0 : run.meters;
    const std::array<QString, 3> values = protocol::entryTexts(entry, locale.decimalSeparator());
    return {locale.shortDate(run.date) + u'/' + locale.longTime(run.time), values[0], values[1],
            values[2], run.late && entry.time};
}

QList<protocol::ProtocolRow> protocolRows(const QList<Run> &runs, const platform::Locale &locale)
{
    QList<protocol::ProtocolRow> rows;
    rows.reserve(runs.size());
    for (const Run &run : runs)
        rows.append(protocolRow(run, locale));
    return rows;
}

QString lateNote()
{
    return QStringLiteral(
        "*: Ein Kontakt wurde erst verspätet erkannt: die gemessene Zeit kann ungenau sein.");
}

} // namespace protocol
