#pragma once

#include "timing/Chronometer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace protocol {

// The four texts of one protocol row, as the list shows them.
struct ProtocolRow
{
    QString caption;  // date/time of the stop
    QString time;     // chronometer time
    QString distance; // "0,150 m"
    QString speed;    // "1500,000 m/s"
    // A contact's instant was found late: the time is marked in the export.
    bool late = false;
    // A measurement mode's further columns, after the four.
    QStringList extra{};

    bool operator==(const ProtocolRow &) const = default;
};

// The file's first line and its last one.
inline constexpr char ExportTitle[] = "Tachoflux";
inline constexpr char MakersMark[] = "Kelvaro Software";

// Fields of 25, 15 and 15 characters padded on the right, the last right-aligned in 15;
// longer texts are kept whole and push the rest to the right.
QString exportRow(const QString &f1, const QString &f2, const QString &f3, const QString &f4);

// Follows the time of a row whose contact instant was found late.
inline constexpr char16_t LateMark = u'*';

// The whole export text, lines ended by CR LF. A mode's further columns follow the four,
// each right-aligned in 15 characters like the last of them; the line below the header
// grows with them.
QString exportText(const QList<ProtocolRow> &rows, const QStringList &extraHeaders = {});

// One byte per character in the Windows ANSI code page (1252); characters it lacks
// become '?'.
QByteArray toAnsi(const QString &text);

// Time, distance and speed of an entry as the protocol list shows them; "???" without a time.
std::array<QString, 3> entryTexts(const timing::RunEntry &entry, QChar decimalSeparator);

} // namespace protocol
