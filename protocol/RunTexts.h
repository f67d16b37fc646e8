#pragma once

#include "protocol/ProtocolExport.h"
#include "protocol/Run.h"
#include "timing/Chronometer.h"

#include <QList>

namespace platform {
class Locale;
}

namespace protocol {

// The four texts of a run's row as the protocol list shows them, in `locale`'s formats:
// the stop's short date "/" long time, then time, distance and speed ("???" without a time).
protocol::ProtocolRow protocolRow(const Run &run, const platform::Locale &locale);
QList<protocol::ProtocolRow> protocolRows(const QList<Run> &runs, const platform::Locale &locale);

// What the list's tooltip says about a run whose contact instant was found late.
QString lateNote();

} // namespace protocol
