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
    // Times are averaged as offsets from the first one: exact integers however large
    // the times, so only the spread is ever rounded.
    std::optional<timing::Ticks> reference;
    long double meanOffset = 0;
    long double meanSpeed = 0;
    int timed = 0;
    int withSpeed = 0;
    for (const protocol::Run &run : runs) {
        if (run.ticks) {
            if (!reference)
                reference = run.ticks;
            ++timed;
            const long double offset = static_cast<long double>(*run.ticks - *reference);
            meanOffset += (offset - meanOffset) / timed;
        }
        if (const std::optional<long double> speed = run.speed()) {
            ++withSpeed;
            meanSpeed += (*speed - meanSpeed) / withSpeed;
        }
    }
    if (reference)
        summary.meanTicks = static_cast<long double>(*reference) + meanOffset;
    if (withSpeed > 0)
        summary.meanSpeed = meanSpeed;
    return summary;
}

} // namespace app
