#pragma once

#include "timing/ModeStrategy.h"

namespace timing {

// "Zwischen den Schranken": a line that has been active for the minimum time fires its
// contact at the instant it became active; the chronometer does the rest.
class BetweenBarriersMode final : public ModeStrategy
{
public:
    void darkConfirmed(const Interruption &begun, const ModeSettings &settings,
                       ModeOutput &out) override;
    // The chronometer shows the run.
    std::optional<Ticks> runningSince(const Interruptions &) const override { return {}; }
};

} // namespace timing
