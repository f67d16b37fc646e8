#pragma once

#include "protocol/Run.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace protocol {

// The longest time a loaded or typed run may have: its minutes keep five digits, so the
// time and its late mark stay inside the text export's column.
inline constexpr timing::Ticks MaxRunTicks = 100'000LL * 60 * 10'000 - 1;
// The distance field's own limit.
inline constexpr long double MaxRunMeters = 1000;
// Bounds for the numbers that are not typed: uncertainties and a mode's values.
inline constexpr long double MaxRunValue = 1e9L;

// Why `run` cannot be in the protocol, in German ("die Entfernung ist keine endliche
// Zahl"), or empty when it can: a valid date and time, a time above 0 up to MaxRunTicks
// (or none), a finite distance from 0 to MaxRunMeters, finite uncertainties from 0, a
// mode's values finite and bounded, the label as cleanLabel() leaves it.
QString runRefusal(const Run &run);

// What a file of runs held: the runs that pass runRefusal(), and for every line that was
// left out a German message naming the file, the line and the reason.
struct LoadedRuns
{
    QList<Run> runs;
    QStringList problems;
};

// Reads what the program writes (the journal, the CSV export) and what the common
// spreadsheets make of it when they save it again:
// - a header line starting with "Datum/Zeit" names the columns of the lines after it,
//   up to the next header; columns are found by their caption, so a column added by hand
//   is ignored and a missing one leaves its value empty;
// - fields separated by ";", "," or TAB, as the header line shows, quoted or not;
// - numbers with any count of decimals, with a decimal comma or point;
// - with or without a UTF-8 byte-order mark;
// - labels cleaned and cut as typed ones are, formula guards of the export taken off.
// Lines before the first header, and empty ones, are passed over without a word.
// `fileName` is only used in the messages.
LoadedRuns readRuns(const QByteArray &bytes, const QString &fileName);

// A label as the CSV export writes it: one that a spreadsheet would take for a formula
// (starting with =, +, -, @, TAB or CR) gets an apostrophe in front, the way spreadsheet
// guidance recommends; readRuns() takes it off again.
QString guardedCell(const QString &text);

} // namespace protocol
