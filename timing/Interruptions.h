#pragma once

#include "timing/Measurement.h"

#include <array>
#include <optional>

namespace timing {

// Receives what Interruptions makes of the edges, in the order of the instants.
class InterruptionSink
{
public:
    virtual ~InterruptionSink() = default;
    // The line has now been active for the minimum time since `begun.start`; its end is
    // not known yet.
    virtual void darkConfirmed(const Interruption &begun) = 0;
    // The line is light again, and has stayed so for the minimum time.
    virtual void completed(const Interruption &interruption) = 0;
};

// Turns the edges of both lines into interruptions. An interruption shorter than the
// minimum is dropped (a bouncing contact, a fly), and light shorter than it between two
// is bridged (a gap in a flag, a contact bouncing open), so that neither makes a result.
// Whether the light has lasted long enough is known only later: at the next edge or at
// the next `advance`, which the window's display timer calls.
class Interruptions
{
public:
    void setMinDark(Ticks minimum) { m_minDark = minimum; }
    Ticks minDark() const { return m_minDark; }

    void feed(const LineEdge &edge, InterruptionSink &sink);
    // Settles whatever `now` decides: a dark line that has lasted the minimum, a light
    // one that has.
    void advance(Ticks now, InterruptionSink &sink);
    // Forgets every open interruption; an edge still to come of one makes nothing.
    void reset();

    // Since when the line has been active, in an interruption that is not yet complete.
    std::optional<Ticks> openSince(int line) const;

private:
    enum class Phase { Light, Dark, Ending };
    struct LineState
    {
        Phase phase = Phase::Light;
        bool confirmed = false;
        Interruption interruption;
    };

    LineState &state(int line) { return m_lines[line == 2 ? 1 : 0]; }
    void confirm(LineState &s, InterruptionSink &sink);
    void complete(LineState &s, InterruptionSink &sink);

    Ticks m_minDark = 10;
    std::array<LineState, 2> m_lines;
};

} // namespace timing
