#pragma once

#include "timing/Interruptions.h"
#include "timing/Measurement.h"

#include <optional>

namespace timing {

// What one measurement mode makes of the interruptions of the two barriers.
class ModeStrategy
{
public:
    virtual ~ModeStrategy() = default;

    virtual void darkConfirmed(const Interruption &begun, const ModeSettings &settings,
                               ModeOutput &out)
    {
        (void)begun, (void)settings, (void)out;
    }
    virtual void completed(const Interruption &interruption, const ModeSettings &settings,
                           ModeOutput &out)
    {
        (void)interruption, (void)settings, (void)out;
    }
    // Settles what the time `now` decides, after the interruptions up to it.
    virtual void poll(Ticks now, const ModeSettings &settings, ModeOutput &out)
    {
        (void)now, (void)settings, (void)out;
    }
    // Drops a measurement begun but not finished.
    virtual void reset() {}
    // Since when the display runs; none while it shows the last result.
    virtual std::optional<Ticks> runningSince(const Interruptions &lines) const = 0;
};

} // namespace timing
