#pragma once

#include "protocol/Run.h"

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>

namespace protocol {

// How a spreadsheet of the user's region reads a CSV file: where the decimal separator
// is a comma, fields are separated by ";" (what German spreadsheets open on a double
// click); otherwise by "," with "." decimals.
struct CsvConvention
{
    QChar separator = u',';
    QChar decimal = u'.';

    static CsvConvention forDecimalSeparator(QChar decimalSeparator);
    bool operator==(const CsvConvention &) const = default;
};

// A run's further values as columns: name and unit, in the order they first appear.
struct CsvExtraColumn
{
    QString name;
    QString unit;
    bool operator==(const CsvExtraColumn &) const = default;
};
QList<CsvExtraColumn> extraColumns(const QList<Run> &runs);

// The header line, ended by CR LF: date/time, time (s), distance (m), speed (m/s),
// "Unsicherheit (ms)", the late-found mark, the label, then each extra value and its
// uncertainty.
QString csvHeader(const QList<CsvExtraColumn> &extra, CsvConvention convention);
// One run's line, ended by CR LF: the date and time of the stop as ISO 8601 local time,
// seconds exact to the tick, the other numbers with their decimals, "*" for a contact
// found late. A run without a valid time has empty value fields.
QString csvLine(const Run &run, const QList<CsvExtraColumn> &extra, CsvConvention convention);

// Header and lines of all runs. The label is guarded against being taken for a formula
// (see guardedCell()); numbers stay numbers. The file's bytes are UTF-8 with a byte-order
// mark, which the common spreadsheets need to show umlauts on a double click.
QString csvText(const QList<Run> &runs, CsvConvention convention);
QByteArray csvBytes(const QList<Run> &runs, CsvConvention convention);

// The runs readRuns() (RunReader.h) finds, without its messages.
QList<Run> readCsv(const QByteArray &bytes);

// The convention and extra columns of the last header line in `bytes`, if there is one;
// `ours` tells whether the line is exactly what csvHeader() writes for them (not when a
// column was added by hand or a spreadsheet saved the file).
struct CsvLayout
{
    CsvConvention convention;
    QList<CsvExtraColumn> extra;
    bool ours = true;
};
std::optional<CsvLayout> lastCsvLayout(const QByteArray &bytes);

} // namespace protocol
