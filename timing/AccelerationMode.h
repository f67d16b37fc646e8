#pragma once

#include "timing/ModeStrategy.h"

namespace timing {

// "Beschleunigung": a pass through barrier 1 and then barrier 2 is one result: the dark
// time and speed at each, the time between their active edges, and the acceleration
// a = (v2 - v1) / (time between the middles of the two dark times).
class AccelerationMode final : public ModeStrategy
{
public:
    void completed(const Interruption &interruption, const ModeSettings &settings,
                   ModeOutput &out) override;
    void reset() override { m_first.reset(); }
    std::optional<Ticks> runningSince(const Interruptions &lines) const override;

private:
    // The last interruption of barrier 1 not yet followed by one of barrier 2.
    std::optional<Interruption> m_first;
};

} // namespace timing
