#pragma once

#include <QColor>
#include <QString>

namespace session {

// Whether the barriers are ready for a run, as the class sees it from across the room.
enum class ArmedState {
    NoPort,       // no port open: only keys and buttons time a run
    Ready,        // port open, both lines at rest, clock reset
    Running,
    Stopped,      // a run has ended and its time is shown
    ContactFault, // a line is active while the run waits for its edge (barrier misaligned)
};

struct ArmedInputs
{
    bool portOpen = false;
    // The two contact lines after the polarity: true = active.
    bool line1 = false;
    bool line2 = false;
    bool running = false;
    // The clock holds a run's instants (not reset since the last run).
    bool hasStoppedRun = false;
    // A mode other than the default one: a flag or a pendulum stands in a barrier during a
    // run, so only a line held since the clock was armed counts against the state.
    bool flagMode = false;
    // A line that was active when the clock was armed and has not been released since.
    bool held1 = false;
    bool held2 = false;
};

// A line counts against the state only while a contact waits for its edge on it: both
// from a reset, contact 2's line while running. After a stop nothing is judged, since the
// object may still stand in a barrier. In the other modes only a held line does.
ArmedState armedState(const ArmedInputs &in);

// The words and colours that show a state.
QString armedStateText(ArmedState state);
QColor armedStateColor(ArmedState state);

} // namespace session
