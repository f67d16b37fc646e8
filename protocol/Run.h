#pragma once

#include "timing/Measurement.h"
#include "timing/TimeBase.h"

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>
#include <QTime>

#include <optional>

namespace protocol {

// A value a measurement mode derives beyond the four columns (a dark time, a speed at one
// barrier, an acceleration), with its own column name, unit and uncertainty: the same
// value the mode made.
using RunValue = timing::ModeValue;

// One run as the protocol holds it: everything the list, the exports, the journal, the
// statistics, the chart and the report read. Widgets never hold a run's data.
struct Run
{
    QDate date; // of the stop, local, as the list shows it
    QTime time;
    std::optional<timing::Ticks> ticks; // none when the stop is not after the start
    long double meters = 0;
    bool late = false;              // a contact's instant was found late
    double uncertaintyMs = 0;       // half-width of the time's uncertainty
    QString label;                  // "Wagen A"; empty when none was set
    QList<RunValue> extra;          // a measurement mode's further columns
    timing::MeasurementMode mode = timing::MeasurementMode::BetweenBarriers;
    bool manual = false;            // a key or button gave a contact
    // A picket fence pass's v(t): (seconds since its first band, m/s); empty otherwise.
    QList<QPointF> speeds;

    // Metres per second; only with a time greater than 0, and never of a pendulum.
    std::optional<long double> speed() const
    {
        // A pendulum's length is no path travelled.
        if (!ticks || *ticks <= 0 || mode == timing::MeasurementMode::Pendulum)
            return std::nullopt;
        return meters * timing::TicksPerSecond / static_cast<long double>(*ticks);
    }

    bool operator==(const Run &) const = default;
};

} // namespace protocol
