#pragma once

#include "timing/ModeStrategy.h"

#include <optional>

namespace timing {

// "Pendel": barrier 1 only. The pendulum passes it twice per swing, so a period runs
// from one passage to the next but one; each period's end starts the next.
class PendulumMode final : public ModeStrategy
{
public:
    void completed(const Interruption &interruption, const ModeSettings &settings,
                   ModeOutput &out) override;
    void reset() override
    {
        m_start.reset();
        m_passages = 0;
    }
    std::optional<Ticks> runningSince(const Interruptions &lines) const override;

private:
    std::optional<Interruption> m_start; // the passage the current period began with
    int m_passages = 0;                  // since then
};

} // namespace timing
