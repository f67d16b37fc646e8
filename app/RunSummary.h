#pragma once

#include "protocol/Run.h"
#include "timing/TimeBase.h"

#include <QList>

#include <optional>

namespace app {

// What the projector view shows of the protocol: the last run and the means.
struct RunSummary
{
    int count = 0; // runs in the protocol, timed or not
    std::optional<timing::Ticks> lastTicks;
    std::optional<long double> lastSpeed;
    // Over the runs with a time; unset when there is none.
    std::optional<long double> meanTicks;
    std::optional<long double> meanSpeed;

    bool operator==(const RunSummary &) const = default;
};

// Running means (Welford), so that many long runs lose no digits to one large sum.
RunSummary summarize(const QList<protocol::Run> &runs);

} // namespace app
