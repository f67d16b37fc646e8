#pragma once

#include <QColor>
#include <QString>

namespace app {

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
};

// A line counts against the state only while a contact waits for its edge on it: both
// from a reset, contact 2's line while running. After a stop nothing is judged, since the
// object may still stand in a barrier.
ArmedState armedState(const ArmedInputs &in);

// The words and colours that show a state.
QString armedStateText(ArmedState state);
QColor armedStateColor(ArmedState state);

} // namespace app
