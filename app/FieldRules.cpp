#include "app/FieldRules.h"

#include "platform/Locale.h"
#include "protocol/NumberFormat.h"
#include "protocol/ProtocolExport.h"

#include <cmath>

namespace app {

namespace {

// The distance as the protocol and the export show it.
QString distanceText(double meters)
{
    return protocol::formatFixed3(meters, platform::locale().decimalSeparator()) +
           QStringLiteral(" m");
}

} // namespace

LengthField lengthField(timing::MeasurementMode mode)
{
    switch (mode) {
    case timing::MeasurementMode::Pendulum:
        return {QStringLiteral("Pendellänge"), QStringLiteral("Die Pendellänge")};
    case timing::MeasurementMode::PicketFence:
        return {QStringLiteral("Lattenabstand"), QStringLiteral("Der Lattenabstand")};
    default:
        return {QStringLiteral("Fahnenlänge"), FlagName};
    }
}

QString distanceRefusal(std::optional<double> meters, double kept, const QString &what)
{
    const QString stays = QStringLiteral("; sie bleibt %1").arg(distanceText(kept));
    if (!meters || !std::isfinite(*meters))
        return what + QStringLiteral(" muss eine Zahl sein") + stays;
    if (!(*meters > 0))
        return what + QStringLiteral(" muss größer als 0 m sein") + stays;
    if (*meters > 1000)
        return what + QStringLiteral(" darf höchstens 1000 m betragen") + stays;
    const QString text = distanceText(*meters);
    if (protocol::exportRow({}, {}, text + u' ', {}).size() !=
        protocol::exportRow({}, {}, {}, {}).size())
        return what + QStringLiteral(" %1 passt nicht in die Spalte des Exports").arg(text) +
               stays;
    return {};
}

QString minimumRefusal(std::optional<double> ms, double kept)
{
    if (ms && *ms >= 0 && *ms <= MaxMinimumMs && *ms == std::floor(*ms))
        return {};
    return QStringLiteral("Die Mindestzeit muss eine ganze Zahl von 0 bis %1 ms sein; "
                          "sie bleibt %2 ms")
        .arg(MaxMinimumMs)
        .arg(qRound(kept));
}


} // namespace app
