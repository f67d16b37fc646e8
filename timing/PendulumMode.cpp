#include "timing/PendulumMode.h"

namespace timing {

void PendulumMode::completed(const Interruption &i, const ModeSettings &, ModeOutput &out)
{
    if (i.line != 1)
        return;
    if (!m_start || ++m_passages < 2) {
        if (!m_start)
            m_start = i;
        return;
    }
    ModeRun run;
    const Ticks period = i.start - m_start->start;
    if (period > 0)
        run.ticks = period;
    run.late = m_start->late || i.late;
    const double uncertainty = m_start->startUncertainty + i.startUncertainty;
    run.uncertaintyMs = uncertainty * 1000.0;
    run.extra = modeColumns(MeasurementMode::Pendulum);
    if (run.ticks)
        run.extra[0].value = secondsOf(static_cast<long double>(period));
    run.extra[0].uncertainty = uncertainty;
    run.extra[0].late = run.late;
    out.runs.push_back(std::move(run));
    m_start = i;
    m_passages = 0;
}

std::optional<Ticks> PendulumMode::runningSince(const Interruptions &lines) const
{
    if (m_start)
        return m_start->start;
    return lines.openSince(1);
}

} // namespace timing
