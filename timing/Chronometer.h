#pragma once

#include "timing/LineSource.h"
#include "timing/Measurement.h"
#include "timing/TimeBase.h"

#include <QScopedValueRollback>
#include <QString>

#include <array>
#include <optional>

namespace timing {

// The values of one protocol entry, taken when contact 2 ends a run.
struct RunEntry
{
    // Unset when the stop is not after the start (both contacts on one reading).
    std::optional<Ticks> time;
    long double meters = 0;
    // A contact instant was found late, so the time may be too long. Only with a time.
    bool late = false;
    // Half-width of the time's uncertainty: the start's and the stop's added. Only with a time.
    double uncertaintyMs = 0;
    // A key or button gave a contact: the time holds a hand's reaction, which no
    // uncertainty of the instrument covers. With or without a time.
    bool manual = false;

    // Metres per second; only with a time.
    long double speed() const;
};

// The chronometer's entry as a result like the other modes' (no further values).
ModeRun modeRunOf(const RunEntry &entry);

// Which contacts one evaluation of the lines fired, in this order.
struct Fired
{
    bool contact1 = false;
    bool contact2 = false;
    // Both lines became active in one reading (a cable pulled, the power lost): nothing fired.
    bool both = false;
};

// Whether a line's next active edge may fire its contact. A line that is active when the
// clock is reset, the polarity or mode changes or a port opens must first be released: a
// misaligned barrier or the wrong polarity would otherwise start a run by itself.
enum class Arming {
    Armed,   // at rest: its next active edge counts
    Held,    // active since it was disarmed: waits for its release
    Unknown, // a port just opened and has not been read yet
};

// The chronometer without its window: contacts, reset, polarity, the memory of each line's
// last state and the suppression of the line evaluation. The window mirrors this state
// into its buttons, lamps and display and never reads them back for a decision.
class Chronometer
{
public:
    explicit Chronometer(LineSource &lines) : m_lines(lines) {}
    Chronometer(const Chronometer &) = delete;
    Chronometer &operator=(const Chronometer &) = delete;

    // `at` is the instant a line change was read; without it the current one is taken.
    // `late`: that instant was found late; `uncertainty`: its half-width in seconds.
    // Both return whether the contact took effect.
    bool DoContact1(std::optional<Ticks> at = std::nullopt, bool late = false,
                    double uncertainty = 0);
    bool DoContact2(std::optional<Ticks> at = std::nullopt, bool late = false,
                    double uncertainty = 0);
    void DoReset();

    // Each line counts again only once it has been seen at rest. With `unknown` (a port
    // just opened) the remembered lines say nothing yet.
    void disarm(bool unknown = false);
    // The lines remembered are confirmed by a read after the port opened.
    void confirmLines();
    Arming arming(int line) const { return m_arming[line == 2 ? 1 : 0]; }

    // Reads the lines (none when the port is inactive), fires a contact on an armed line's
    // rising edge unless suppressed, and remembers the lines as read. A line read at rest
    // is armed again; an unsuppressed reading confirms the lines after a port opened.
    Fired EvaluateLines();

    // "AUS": a line counts as active while it is off.
    void setInverted(bool inverted) { m_inverted = inverted; }
    bool inverted() const { return m_inverted; }

    // Whether evaluations fire contacts; off while a measurement mode takes the edges.
    // The lines are remembered and armed either way.
    void setFiring(bool firing) { m_firing = firing; }

    // While the returned guard lives, evaluations remember the lines but fire nothing.
    [[nodiscard]] QScopedValueRollback<bool> suppress()
    {
        return QScopedValueRollback<bool>(m_suppressed, true);
    }
    bool suppressed() const { return m_suppressed; }

    // The last evaluated state of each line (contact 1: DSR, contact 2: CTS, after the
    // polarity). Starts as on, as the lamps do, so a line found on at first fires nothing.
    bool line1() const { return m_line1; }
    bool line2() const { return m_line2; }

    bool running() const { return m_running; }
    Ticks startTicks() const { return m_startTicks; }
    Ticks stopTicks() const { return m_stopTicks; }

    // The display's text: while running, the stop instant follows the clock and the last
    // three digits are dashes.
    QString DigitsText();

    // The entry for the run that ended last, over `meters`.
    RunEntry entry(long double meters) const;

private:
    LineSource &m_lines;
    bool m_running = false;
    bool m_suppressed = false;
    bool m_firing = true;
    bool m_inverted = false;
    bool m_line1 = true;
    bool m_line2 = true;
    Ticks m_startTicks = 0;
    Ticks m_stopTicks = 0;
    bool m_startLate = false;
    bool m_stopLate = false;
    double m_startUncertainty = 0;
    double m_stopUncertainty = 0;
    bool m_startManual = false;
    bool m_stopManual = false;
    Arming m_arming[2] = {Arming::Armed, Arming::Armed};
};

} // namespace timing
