#pragma once

#include "timing/TimeBase.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace timing {

// The two watched modem-status lines as the chronometer sees them, and the port they
// come from. The serial watcher implements it; without one, tests put a stand-in of their own.
class LineSource
{
public:
    virtual ~LineSource() = default;

    virtual bool Active() const = 0;
    virtual bool DataSetReady() const = 0;
    virtual bool ClearToSend() const = 0;

    // Closes the current port and opens port n (0 = none); reports the change at once.
    virtual void setComm(std::uint8_t n) = 0;

    // Called on the user-interface thread for every reported line change.
    virtual void setOnChanged(std::function<void()> handler) = 0;

    // While a change read from the port is being reported: the tick count taken right
    // after the read that saw it. Contacts fired by that change use this instant.
    virtual std::optional<Ticks> changeTicks() const { return std::nullopt; }
    // Whether that change was found late, so that its instant may lie well after it.
    virtual bool changeLate() const { return false; }
    // Whether that report is the port's first read since it opened: its lines were so
    // before the opening, and no line changed.
    virtual bool changeFirstRead() const { return false; }
    // Half-width, in seconds, of that instant's uncertainty as the source states it for
    // the way it read the change (its tier); 0 when it cannot tell.
    virtual double changeUncertainty() const { return 0; }

    // The latest instant up to which the source vouches that the lines have not changed
    // beyond what it has already reported to the handler: a minimum time may be settled up
    // to it, never further. None while a change is still on its way to the handler, without
    // a port, or when the source cannot tell. Called on the user-interface thread.
    virtual std::optional<Ticks> quietUntil() const { return std::nullopt; }

    // In the user's language: why the port chosen last cannot be used, that it has gone,
    // or what limits it. Empty when all is well.
    virtual QString portMessage() const { return {}; }

    // A run is armed from a reset or contact 1 until contact 2: the port is then
    // watched at its finest rate.
    virtual void setArmed(bool on) { (void)on; }
};

} // namespace timing
