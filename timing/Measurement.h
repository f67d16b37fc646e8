#pragma once

#include "timing/TimeBase.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <optional>
#include <vector>

namespace timing {

// What the two barriers measure; the index is the one the settings store and the
// selector shows.
enum class MeasurementMode : int {
    BetweenBarriers = 0, // contact 1 starts, contact 2 stops
    DarkTime = 1,        // each interruption of either barrier: its length and the speed
    Acceleration = 2,    // a pass through both: the speeds at each and the acceleration
    Pendulum = 3,        // barrier 1 only: the time of every second passage
    PicketFence = 4,     // barrier 1 only: the bands of a fence falling or rolling through
};
inline constexpr int MeasurementModeCount = 5;

// The mode of a stored index; anything unknown is the first.
MeasurementMode measurementModeOf(int index);

struct ModeValue;
// The further columns of a mode's results, without values: name, unit and decimals.
QList<ModeValue> modeColumns(MeasurementMode mode);

// One change of a barrier's line, after the polarity.
struct LineEdge
{
    int line = 1;       // 1 (DSR) or 2 (CTS)
    bool active = false;
    Ticks at = 0;
    double uncertainty = 0; // seconds, half-width of the instant's uncertainty
    bool late = false;      // the instant was found late

    bool operator==(const LineEdge &) const = default;
};

// A line that was active from `start` to `end`: an interruption of a light barrier.
struct Interruption
{
    int line = 1;
    Ticks start = 0;
    Ticks end = 0;
    double startUncertainty = 0; // seconds, half-widths of the two instants
    double endUncertainty = 0;
    bool late = false; // one of its edges was found late

    Ticks length() const { return end - start; }
    // Of the length: both edges may be off, each its own way.
    double uncertainty() const { return startUncertainty + endUncertainty; }
    bool operator==(const Interruption &) const = default;
};

// A value a mode derives beyond the main time, with its column name and unit.
struct ModeValue
{
    QString name;
    QString unit;
    std::optional<long double> value;
    long double uncertainty = 0; // same unit, half-width
    int decimals = 3;
    bool late = false; // one of the edges it comes from was found late

    bool operator==(const ModeValue &) const = default;
};

// One result of a mode other than the default one.
struct ModeRun
{
    // The time that the display and the protocol's time column show; speed() divides by it.
    std::optional<Ticks> ticks;
    long double meters = 0;
    bool late = false;
    double uncertaintyMs = 0;
    bool manual = false; // a key or button gave a contact
    QList<ModeValue> extra;
    // A picket fence's speeds: (seconds since the first band, m/s) at each interval's middle.
    QList<QPointF> speeds;

    bool operator==(const ModeRun &) const = default;
};

// A contact the default mode fires, at the instant of its line's active edge.
struct Contact
{
    int line = 1;
    Ticks at = 0;
    bool late = false;
    double uncertainty = 0; // seconds, half-width of the instant

    bool operator==(const Contact &) const = default;
};

// What feeding the engine completed, in the order it happened.
struct ModeOutput
{
    std::vector<Contact> contacts;
    std::vector<ModeRun> runs;
};

// Lengths and limits the modes compute with; read whenever a result is made.
struct ModeSettings
{
    long double flagMeters = 0.025;
    long double distanceMeters = 0.15;
    long double picketMeters = 0.05; // from one band's leading edge to the next one's
    // Shorter interruptions, and shorter light between two, are not taken as such.
    Ticks minDark = 10;
};

} // namespace timing
