#include "timing/DarkTimeMode.h"

#include <algorithm>
#include <cmath>

namespace timing {

FlagSpeed flagSpeed(long double meters, Ticks ticks, double uncertaintySeconds)
{
    if (ticks <= 0)
        return {};
    const long double seconds = secondsOf(static_cast<long double>(ticks));
    const long double v = meters / seconds;
    return {v, std::fabs(v) * uncertaintySeconds / seconds};
}

void DarkTimeMode::completed(const Interruption &i, const ModeSettings &settings, ModeOutput &out)
{
    ModeRun run;
    if (i.length() > 0)
        run.ticks = i.length();
    run.meters = settings.flagMeters;
    run.late = i.late;
    run.uncertaintyMs = i.uncertainty() * 1000.0;
    const FlagSpeed v = flagSpeed(settings.flagMeters, i.length(), i.uncertainty());
    run.extra = modeColumns(MeasurementMode::DarkTime);
    run.extra[0].value = i.line;
    run.extra[1].value = v.value;
    run.extra[1].uncertainty = v.uncertainty;
    out.runs.push_back(std::move(run));
}

std::optional<Ticks> DarkTimeMode::runningSince(const Interruptions &lines) const
{
    const std::optional<Ticks> one = lines.openSince(1);
    const std::optional<Ticks> two = lines.openSince(2);
    if (one && two)
        return std::min(*one, *two);
    return one ? one : two;
}

} // namespace timing
