#include "timing/AccelerationMode.h"

#include "timing/DarkTimeMode.h"

#include <cmath>
#include <tuple>

namespace timing {

void AccelerationMode::completed(const Interruption &i, const ModeSettings &settings,
                                 ModeOutput &out)
{
    if (i.line == 1) {
        m_first = i;
        return;
    }
    // Barrier 2 alone (or first) is no pass.
    if (!m_first || i.start < m_first->start)
        return;
    const Interruption first = *m_first;
    m_first.reset();

    ModeRun run;
    const Ticks between = i.start - first.start;
    if (between > 0)
        run.ticks = between;
    run.meters = settings.distanceMeters;
    run.late = first.late || i.late;
    run.uncertaintyMs = (first.startUncertainty + i.startUncertainty) * 1000.0;

    const FlagSpeed v1 = flagSpeed(settings.flagMeters, first.length(), first.uncertainty());
    const FlagSpeed v2 = flagSpeed(settings.flagMeters, i.length(), i.uncertainty());
    // Middles in half ticks, exact.
    const long double middles =
        secondsOf(static_cast<long double>((i.start + i.end) - (first.start + first.end)) / 2);
    std::optional<long double> a;
    long double ua = 0;
    if (v1.value && v2.value && middles > 0) {
        const long double dv = *v2.value - *v1.value;
        const long double uMiddles = (first.uncertainty() + i.uncertainty()) / 2;
        a = dv / middles;
        ua = (v1.uncertainty + v2.uncertainty) / middles
             + std::fabs(dv) * uMiddles / (middles * middles);
    }
    const auto seconds = [](const Interruption &x) {
        return x.length() > 0 ? std::optional(secondsOf(static_cast<long double>(x.length())))
                              : std::nullopt;
    };
    const std::pair<std::optional<long double>, long double> values[] = {
        {seconds(first), first.uncertainty()}, {seconds(i), i.uncertainty()},
        {v1.value, v1.uncertainty}, {v2.value, v2.uncertainty}, {a, ua}};
    run.extra = modeColumns(MeasurementMode::Acceleration);
    for (qsizetype k = 0; k < run.extra.size(); ++k)
        std::tie(run.extra[k].value, run.extra[k].uncertainty) = values[k];
    run.extra[0].late = first.late;
    run.extra[1].late = i.late;
    out.runs.push_back(std::move(run));
}

std::optional<Ticks> AccelerationMode::runningSince(const Interruptions &lines) const
{
    if (m_first)
        return m_first->start;
    return lines.openSince(1);
}

} // namespace timing
