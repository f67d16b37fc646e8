#pragma once

#include "session/SessionFile.h"
#include "timing/Measurement.h"

#include <QString>

namespace app {

// The mode a report analyses from a session file: that of its last run whose series lie
// at a setting (the picket fence fits each pass alone); between the barriers without one.
timing::MeasurementMode reportMode(const QList<protocol::Run> &runs);

// Writes the report of a stored session (both pages, its texts) to `pdf`. Returns an
// empty string, or why not, in German.
QString writeSessionReport(const QString &pdf, const session::SessionData &data);

// `tachoflux --bericht DATEI.pdf [SITZUNG]`: the report of `sessionPath` (the last
// session when empty) without a window. Returns the exit code; errors go to stderr.
int runReportCommand(const QString &pdf, QString sessionPath);

} // namespace app
