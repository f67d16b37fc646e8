#include "app/RunSummary.h"

namespace app {

RunSummary summarize(const QList<protocol::Run> &runs)
{
    RunSummary summary;
    summary.count = int(runs.size());
    if (!runs.isEmpty()) {
        summary.lastTicks = runs.last().ticks;
        summary.lastSpeed = runs.last().speed();
    }
    long double meanTicks = 0;
    long double meanSpeed = 0;
    int timed = 0;
    int withSpeed = 0;
    for (const protocol::Run &run : runs) {
        if (run.ticks) {
            ++timed;
            meanTicks += (static_cast<long double>(*run.ticks) - meanTicks) / timed;
        }
        if (const std::optional<long double> speed = run.speed()) {
            ++withSpeed;
            meanSpeed += (*speed - meanSpeed) / withSpeed;
        }
    }
    if (timed > 0)
        summary.meanTicks = meanTicks;
    if (withSpeed > 0)
        summary.meanSpeed = meanSpeed;
    return summary;
}

} // namespace app
