#pragma once

#include "timing/Measurement.h"

#include <QString>

#include <optional>

namespace app {

// What the window's number fields take. Each rule says, in German, why a value is refused
// and which value stays; empty when the value is taken.

// A length: a number above 0 and at most 1000 m, short enough that a space keeps the
// export's distance column apart from the next. `what` names the field.
QString distanceRefusal(std::optional<double> meters, double kept,
                        const QString &what = QStringLiteral("Die Entfernung"));
inline const QString FlagName = QStringLiteral("Die Fahnenlänge");

// The length the flag field stands for in a mode, as its box's caption and as the name a
// refusal gives: the flag's, the pendulum's, or the fence's band spacing.
struct LengthField
{
    QString caption; // "Fahnenlänge", "Pendellänge", "Lattenabstand"
    QString name;    // "Die Fahnenlänge", …
};
LengthField lengthField(timing::MeasurementMode mode);

// A minimum time: whole milliseconds from 0 to 100.
inline constexpr int MaxMinimumMs = 100;
QString minimumRefusal(std::optional<double> ms, double kept);

} // namespace app
