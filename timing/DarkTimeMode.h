#pragma once

#include "timing/ModeStrategy.h"

namespace timing {

// "Dunkelzeit": every interruption of either barrier is a result: how long the flag kept
// it dark, and the speed = flag length / dark time.
class DarkTimeMode final : public ModeStrategy
{
public:
    void completed(const Interruption &interruption, const ModeSettings &settings,
                   ModeOutput &out) override;
    std::optional<Ticks> runningSince(const Interruptions &lines) const override;
};

// The speed of a flag of `meters` that kept a barrier dark for `ticks`, with the
// uncertainty that the dark time's gives it; none for a dark time that is not positive.
struct FlagSpeed
{
    std::optional<long double> value;
    long double uncertainty = 0;
};
FlagSpeed flagSpeed(long double meters, Ticks ticks, double uncertaintySeconds);

} // namespace timing
