#pragma once

#include "timing/ModeStrategy.h"

#include <vector>

namespace timing {

// "Lattenzaun": barrier 1 only. A fence of equally spaced opaque bands passes the barrier;
// the leading edges of its bands give a speed for each interval (spacing / interval, at
// the interval's middle) and a straight line through these speeds the acceleration. A
// pass is one result, made once the barrier has been light for a second.
class PicketFenceMode final : public ModeStrategy
{
public:
    // Light this long after a band ends the pass.
    static constexpr Ticks PassGap = 10000;
    // A pass that never pauses is cut into passes of this many bands, so that a fence
    // left swinging in the barrier does not grow one result without end.
    static constexpr std::size_t MostBands = 1000;

    void completed(const Interruption &interruption, const ModeSettings &settings,
                   ModeOutput &out) override;
    void poll(Ticks now, const ModeSettings &settings, ModeOutput &out) override;
    void reset() override { m_bands.clear(); }
    std::optional<Ticks> runningSince(const Interruptions &lines) const override;

private:
    void finish(const ModeSettings &settings, ModeOutput &out);

    std::vector<Interruption> m_bands; // of the pass going on
};

} // namespace timing
