#include "timing/Settings.h"

namespace timing {

// Plain body until the registry layer exists: nothing is stored.
void LoadSettings(SettingsTarget &target)
{
    target.applyComPort(0);
    target.applyComAlg(0);
    target.applyMeters(0.15L);
}

void SaveSettings(const SettingsValues &)
{
}

} // namespace timing
