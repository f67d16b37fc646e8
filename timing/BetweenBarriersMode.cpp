#include "timing/BetweenBarriersMode.h"

namespace timing {

void BetweenBarriersMode::darkConfirmed(int line, Ticks start, bool late, const ModeSettings &,
                                        ModeOutput &out)
{
    out.contacts.push_back({line, start, late});
}

} // namespace timing
