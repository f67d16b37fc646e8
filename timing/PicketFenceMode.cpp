#include "timing/PicketFenceMode.h"

#include "analysis/Fit.h"

namespace timing {

void PicketFenceMode::completed(const Interruption &i, const ModeSettings &settings,
                                ModeOutput &out)
{
    if (i.line != 1)
        return;
    // A band after a second of light begins a new pass, however late the poll comes.
    if (!m_bands.empty() && i.start - m_bands.back().end >= PassGap)
        finish(settings, out);
    m_bands.push_back(i);
    if (m_bands.size() >= MostBands)
        finish(settings, out);
}

void PicketFenceMode::poll(Ticks now, const ModeSettings &settings, ModeOutput &out)
{
    if (!m_bands.empty() && now - m_bands.back().end >= PassGap)
        finish(settings, out);
}

void PicketFenceMode::finish(const ModeSettings &settings, ModeOutput &out)
{
    const std::vector<Interruption> bands = std::move(m_bands);
    m_bands.clear();
    // A single band has no interval: nothing was measured.
    if (bands.size() < 2)
        return;
    const Interruption &first = bands.front();
    const Interruption &last = bands.back();

    ModeRun run;
    run.ticks = last.start - first.start;
    run.meters = settings.picketMeters * static_cast<long double>(bands.size() - 1);
    run.uncertaintyMs = (first.startUncertainty + last.startUncertainty) * 1000.0;
    std::vector<double> t;
    std::vector<double> v;
    for (std::size_t k = 0; k + 1 < bands.size(); ++k) {
        const Interruption &a = bands[k];
        const Interruption &b = bands[k + 1];
        run.late = run.late || a.late || b.late;
        const Ticks interval = b.start - a.start;
        if (interval <= 0)
            continue;
        // The mean speed over an interval is the speed at its middle under a constant
        // acceleration, so the line through these points has the acceleration as slope.
        const long double middle =
            secondsOf(static_cast<long double>((a.start - first.start) + (b.start - first.start))) /
            2;
        const long double speed =
            settings.picketMeters / secondsOf(static_cast<long double>(interval));
        t.push_back(double(middle));
        v.push_back(double(speed));
        run.speeds.append(QPointF(double(middle), double(speed)));
    }
    run.extra = modeColumns(MeasurementMode::PicketFence);
    run.extra[0].value = static_cast<long double>(bands.size());
    const analysis::FitResult line = analysis::fit(t, v, {}, analysis::Model::Linear);
    if (line.ok()) {
        run.extra[1].value = line.slope;
        run.extra[1].uncertainty = line.slopeUncertainty;
    }
    run.extra[1].late = run.late;
    out.runs.push_back(std::move(run));
}

std::optional<Ticks> PicketFenceMode::runningSince(const Interruptions &lines) const
{
    if (!m_bands.empty())
        return m_bands.front().start;
    return lines.openSince(1);
}

} // namespace timing
