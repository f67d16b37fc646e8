#pragma once

#include <QString>

// The captions of the columns the CSV export and the journal write, which the reader
// finds its columns by.
namespace protocol::csv {

inline const QString DateTimeCaption = QStringLiteral("Datum/Zeit");
inline const QString TimeCaption = QStringLiteral("Stoppuhrzeit (s)");
inline const QString DistanceCaption = QStringLiteral("Entfernung (m)");
inline const QString SpeedCaption = QStringLiteral("Geschwindigkeit (m/s)");
inline const QString UncertaintyCaption = QStringLiteral("Unsicherheit (ms)");
inline const QString LateCaption = QStringLiteral("Verspätet erkannt");
inline const QString LabelCaption = QStringLiteral("Bezeichnung");
// The measurement mode by its number, as the settings store it ("Mode").
inline const QString ModeCaption = QStringLiteral("Messart");
// "H" for a run a key or button timed.
inline const QString ManualCaption = QStringLiteral("Von Hand");
inline const QString ManualMark = QStringLiteral("H");
inline const QString UncertaintyPrefix = QStringLiteral("Unsicherheit ");

} // namespace protocol::csv
