#pragma once

#include "timing/TimeBase.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace protocol {

// A value a measurement mode derives beyond the four columns (a dark time, a speed at one
// barrier, an acceleration), with its own column name, unit and uncertainty.
struct RunValue
{
    QString name;  // column caption without the unit, e.g. "v1"
    QString unit;  // "s", "m/s", "m/s²"
    std::optional<long double> value;
    long double uncertainty = 0; // same unit, half-width
    int decimals = 3;
    bool late = false; // one of the edges it comes from was found late

    bool operator==(const RunValue &) const = default;
};

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

    // Metres per second; only with a time greater than 0.
    std::optional<long double> speed() const
    {
        if (!ticks || *ticks <= 0)
            return std::nullopt;
        return meters * 10000.0L / static_cast<long double>(*ticks);
    }

    bool operator==(const Run &) const = default;
};

} // namespace protocol
