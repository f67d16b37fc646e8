#pragma once

#include "protocol/Run.h"
#include "protocol/RunCsv.h"
#include "timing/Measurement.h"

#include <QChar>
#include <QDate>
#include <QStringList>
#include <QTime>

namespace platform {
class Locale;
}

namespace protocol {

// The one way a result becomes a run: a measurement mode's result (the default mode's
// too, see timing::modeRunOf) in `mode`, stopped at `date` and `time` (one reading of the
// clock), with its label cleaned as every stored label is.
Run makeRun(const timing::ModeRun &result, timing::MeasurementMode mode, QDate date, QTime time,
            const QString &label);

// The further columns of a mode: their captions, in order; none in the default mode.
QStringList extraCaptions(timing::MeasurementMode mode);

// A further column's cell: "0,500±0,002 m/s", the value and its uncertainty with the
// column's decimals (the uncertainty left out where it rounds to nothing), "???" without
// a value.
QString valueText(const RunValue &value, QChar decimalSeparator);

// The cells of every further column of a run, in order.
QStringList extraTexts(const Run &run, QChar decimalSeparator);

// A further column's caption in the list and the text export: "v (m/s)", "Schranke".
QString columnCaption(const CsvExtraColumn &column);

// The further columns the protocol shows: the mode's own, then those of runs of other
// modes still in the list, so that no value of theirs goes out of sight.
QList<CsvExtraColumn> shownColumns(timing::MeasurementMode mode, const QList<Run> &runs);

// A run's cell in a further column, empty where the run has no such value; a value whose
// edge was found late carries the late mark.
QString cellText(const Run &run, const CsvExtraColumn &column, QChar decimalSeparator);

// The text export of `runs` with the further `columns` after the four; without columns
// it is the plain four-column export.
QString exportText(const QList<Run> &runs, const QList<CsvExtraColumn> &columns,
                   const platform::Locale &locale);

} // namespace protocol
