#include "timing/BetweenBarriersMode.h"

namespace timing {

void BetweenBarriersMode::darkConfirmed(const Interruption &begun, const ModeSettings &,
                                        ModeOutput &out)
{
    out.contacts.push_back({begun.line, begun.start, begun.late, begun.startUncertainty});
}

} // namespace timing
