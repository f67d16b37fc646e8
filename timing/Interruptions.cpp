#include "timing/Interruptions.h"

namespace timing {

void Interruptions::confirm(LineState &s, InterruptionSink &sink)
{
    s.confirmed = true;
    sink.darkConfirmed(s.interruption);
}

void Interruptions::complete(LineState &s, InterruptionSink &sink)
{
    s.phase = Phase::Light;
    sink.completed(s.interruption);
}

void Interruptions::advance(Ticks now, InterruptionSink &sink)
{
    // At most one step per line is due; the earlier goes first.
    struct Due
    {
        LineState *state = nullptr;
        Ticks at = 0;
    };
    std::array<Due, 2> due;
    std::size_t count = 0;
    for (LineState &s : m_lines) {
        if (s.phase == Phase::Dark && !s.confirmed && s.interruption.start + m_minDark <= now)
            due[count++] = {&s, s.interruption.start + m_minDark};
        else if (s.phase == Phase::Ending && s.interruption.end + m_minDark <= now)
            due[count++] = {&s, s.interruption.end + m_minDark};
    }
    if (count == 2 && due[1].at < due[0].at)
        std::swap(due[0], due[1]);
    for (std::size_t i = 0; i < count; ++i) {
        LineState &s = *due[i].state;
        if (s.phase == Phase::Dark)
            confirm(s, sink);
        else
            complete(s, sink);
    }
}

void Interruptions::feed(const LineEdge &edge, InterruptionSink &sink)
{
    advance(edge.at, sink);
    LineState &s = state(edge.line);
    Interruption &i = s.interruption;
    if (edge.active) {
        if (s.phase == Phase::Light) {
            s.phase = Phase::Dark;
            s.confirmed = false;
            i = {edge.line == 2 ? 2 : 1, edge.at, edge.at, edge.uncertainty, 0, edge.late};
            if (m_minDark <= 0)
                confirm(s, sink);
        } else if (s.phase == Phase::Ending) {
            // Light too short to count: the interruption goes on.
            s.phase = Phase::Dark;
            i.late = i.late || edge.late;
        }
        return;
    }
    if (s.phase != Phase::Dark)
        return;
    if (!s.confirmed) {
        if (edge.at - i.start < m_minDark) {
            s.phase = Phase::Light;
            return;
        }
        confirm(s, sink);
    }
    i.end = edge.at;
    i.endUncertainty = edge.uncertainty;
    i.late = i.late || edge.late;
    if (m_minDark <= 0)
        complete(s, sink);
    else
        s.phase = Phase::Ending;
}

void Interruptions::reset()
{
    m_lines = {};
}

std::optional<Ticks> Interruptions::openSince(int line) const
{
    const LineState &s = m_lines[line == 2 ? 1 : 0];
    if (s.phase == Phase::Light)
        return std::nullopt;
    return s.interruption.start;
}

} // namespace timing
