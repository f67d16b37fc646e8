#pragma once

#include "protocol/Run.h"
#include "timing/Measurement.h"

#include <QChar>
#include <QDate>
#include <QStringList>
#include <QTime>

namespace protocol {

// A measurement mode's result as the protocol holds it, stopped at `date` and `time`.
Run runOf(const timing::ModeRun &result, QDate date, QTime time);

// The further columns of a mode: their captions, in order; none in the default mode.
QStringList extraCaptions(timing::MeasurementMode mode);

// A further column's cell: "0,500±0,002 m/s", the value and its uncertainty with the
// column's decimals (the uncertainty left out where it rounds to nothing), "???" without
// a value.
QString valueText(const RunValue &value, QChar decimalSeparator);

// The cells of every further column of a run, in order.
QStringList extraTexts(const Run &run, QChar decimalSeparator);

} // namespace protocol
