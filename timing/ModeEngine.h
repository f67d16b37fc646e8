#pragma once

#include "timing/Chronometer.h"
#include "timing/Interruptions.h"
#include "timing/Measurement.h"
#include "timing/ModeStrategy.h"

#include <QString>

#include <memory>
#include <optional>

namespace timing {

class Chronometer;
class LineSource;

// The measurement modes without a window: fed with the edges of both lines, it hands
// back the contacts the default mode fires and the results of the other modes, and
// tells the display what to show in them.
class ModeEngine final : private InterruptionSink
{
public:
    explicit ModeEngine(MeasurementMode mode = MeasurementMode::BetweenBarriers);
    ~ModeEngine() override;
    ModeEngine(const ModeEngine &) = delete;
    ModeEngine &operator=(const ModeEngine &) = delete;

    // A new mode starts afresh.
    void setMode(MeasurementMode mode);
    MeasurementMode mode() const { return m_mode; }

    // Read whenever a result is made; the minimum applies to the next edge.
    void setFlagMeters(long double meters) { m_settings.flagMeters = meters; }
    void setDistanceMeters(long double meters) { m_settings.distanceMeters = meters; }
    void setPicketMeters(long double meters) { m_settings.picketMeters = meters; }
    void setMinDark(Ticks minimum);
    const ModeSettings &settings() const { return m_settings; }

    void feed(const LineEdge &edge, ModeOutput &out);
    // Settles what the time `now` decides; called by the display's timer.
    void poll(Ticks now, ModeOutput &out);
    // Drops what is begun; the last result stays on the display until the next.
    void reset();

    // Reads the lines as the chronometer does, without firing its contacts, and feeds
    // the change of each line (line 1 first). A suppressed chronometer only remembers them;
    // a line held since the chronometer was armed feeds no active edge, and both lines
    // closing at once feed nothing and drop what is begun.
    Fired evaluateLines(Chronometer &chronometer, const LineSource &lines, ModeOutput &out);

    // Since when the display runs in a mode other than the default one.
    std::optional<Ticks> runningSince() const;
    // The main time of the last result; 0 before the first and after a reset.
    Ticks shown() const { return m_shown; }
    // The display's text at `now`: a running time ends in three dashes, as the default
    // mode's does.
    QString DigitsText(Ticks now) const;

private:
    void darkConfirmed(const Interruption &begun) override;
    void completed(const Interruption &interruption) override;
    void noteResults(const ModeOutput &out, std::size_t before);

    MeasurementMode m_mode = MeasurementMode::BetweenBarriers;
    ModeSettings m_settings;
    Interruptions m_lines;
    std::unique_ptr<ModeStrategy> m_strategy;
    ModeOutput *m_out = nullptr;
    Ticks m_shown = 0;
};

std::unique_ptr<ModeStrategy> makeStrategy(MeasurementMode mode);

} // namespace timing
