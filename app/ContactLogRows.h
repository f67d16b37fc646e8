#pragma once

#include "app/ContactLog.h"
#include "protocol/RunCsv.h"

#include <QByteArray>
#include <QChar>
#include <QStringList>

namespace app {

// The contact display's columns: number, time since the log started (s), contact,
// state, time since the line's previous edge (ms), uncertainty (ms), late mark.
enum class ContactLogColumn : int { Number, Time, Line, State, Since, Uncertainty, Late };
inline constexpr int ContactLogColumnCount = 7;

QStringList contactLogCaptions();
// The texts of the entry at `index` of `log`, numbers with `decimal` as their separator;
// the table and the CSV file show the same.
QString contactLogField(const ContactLog &log, std::size_t index, ContactLogColumn column,
                        QChar decimal);
QStringList contactLogFields(const ContactLog &log, std::size_t index, QChar decimal);
// Every kept edge as CSV in the user's spreadsheet convention, CR LF line ends, UTF-8 with
// a byte-order mark so that spreadsheets show the umlauts of the captions.
QByteArray contactLogCsv(const ContactLog &log, protocol::CsvConvention convention);

} // namespace app
