#pragma once

#include "timing/TimeBase.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace timing {

// One protocol entry as numbers, for spreadsheets and scripts.
struct CsvRecord
{
    QDate date; // of the stop, as the list shows it
    QTime time;
    std::optional<Ticks> ticks; // none for a run whose stop is not after its start
    double meters = 0;
};

// Header and rows with "," between fields and CR LF after each line: the date and time
// as ISO 8601 (2026-12-06T14:03:27, local time), seconds with four decimals, metres and
// metres per second with three, "." as the decimal separator whatever the locale. A run
// without a valid time has empty value fields.
QString csvText(const QList<CsvRecord> &records);

// The file's bytes: UTF-8 without a byte-order mark.
QByteArray csvBytes(const QList<CsvRecord> &records);

// True when the name the user chose for the save dialog asks for CSV.
bool isCsvFileName(const QString &path);

} // namespace timing
