#include "timing/Chronometer.h"

namespace timing {

long double RunEntry::speed() const
{
    return time ? meters * TicksPerSecond / static_cast<long double>(*time) : 0.0L;
}

ModeRun modeRunOf(const RunEntry &entry)
{
    ModeRun run;
    run.ticks = entry.time;
    run.meters = entry.meters;
    run.late = entry.late;
    run.uncertaintyMs = entry.uncertaintyMs;
    run.manual = entry.manual;
    return run;
}

bool Chronometer::DoContact1(std::optional<Ticks> at, bool late, double uncertainty)
{
    if (m_running)
        return false;
    m_startTicks = at ? *at : GetTicks();
    m_startLate = at && late;
    m_startUncertainty = at ? uncertainty : 0;
    m_startManual = !at;
    m_lines.setArmed(true);
    m_running = true;
    return true;
}

bool Chronometer::DoContact2(std::optional<Ticks> at, bool late, double uncertainty)
{
    if (!m_running)
        return false;
    m_stopTicks = at ? *at : GetTicks();
    m_stopLate = at && late;
    m_stopUncertainty = at ? uncertainty : 0;
    m_stopManual = !at;
    m_lines.setArmed(false);
    m_running = false;
    return true;
}

void Chronometer::DoReset()
{
    m_running = false;
    m_startTicks = 0;
    m_stopTicks = 0;
    m_startLate = false;
    m_stopLate = false;
    m_startUncertainty = 0;
    m_stopUncertainty = 0;
    m_startManual = false;
    m_stopManual = false;
    disarm();
    m_lines.setArmed(true);
}

void Chronometer::disarm(bool unknown)
{
    const bool lines[2] = {m_line1, m_line2};
    for (int i = 0; i < 2; ++i) {
        if (unknown)
            m_arming[i] = Arming::Unknown;
        else if (m_arming[i] != Arming::Unknown)
            m_arming[i] = lines[i] ? Arming::Held : Arming::Armed;
    }
}

void Chronometer::confirmLines()
{
    const bool lines[2] = {m_line1, m_line2};
    for (int i = 0; i < 2; ++i) {
        if (m_arming[i] == Arming::Unknown)
            m_arming[i] = lines[i] ? Arming::Held : Arming::Armed;
    }
}

Fired Chronometer::EvaluateLines()
{
    Fired fired;
    bool a = false;
    bool b = false;
    if (m_lines.Active()) {
        a = m_lines.DataSetReady() != m_inverted;
        b = m_lines.ClearToSend() != m_inverted;
        if (!m_suppressed) {
            const std::optional<Ticks> at = m_lines.changeTicks();
            const bool late = m_lines.changeLate();
            const double uncertainty = m_lines.changeUncertainty();
            // Both contacts closing on one reading is no run: a cable pulled, the power lost.
            fired.both = a && !m_line1 && b && !m_line2;
            if (!fired.both && m_firing) {
                if (a && !m_running && !m_line1 && arming(1) == Arming::Armed)
                    fired.contact1 = DoContact1(at, late, uncertainty);
                if (b && m_running && !m_line2 && arming(2) == Arming::Armed)
                    fired.contact2 = DoContact2(at, late, uncertainty);
            }
        }
    }
    m_line1 = a;
    m_line2 = b;
    if (!m_suppressed) {
        confirmLines();
        // Both at once: whatever is active now waits for its release, as after a reset.
        if (fired.both)
            disarm();
        for (int i = 0; i < 2; ++i) {
            if (!(i == 0 ? a : b) && m_arming[i] == Arming::Held)
                m_arming[i] = Arming::Armed;
        }
    }
    return fired;
}

QString Chronometer::DigitsText()
{
    if (m_running && m_startTicks > 0)
        m_stopTicks = GetTicks();
    // Wrapping difference: the instants are never far apart, but must not be UB if they are.
    const auto interval = Ticks(quint64(m_stopTicks) - quint64(m_startTicks));
    QString s = TicksToStr(interval);
    if (m_running) {
        for (qsizetype i = qMax<qsizetype>(0, s.size() - 3); i < s.size(); ++i)
            s[i] = u'-';
    }
    return s;
}

RunEntry Chronometer::entry(long double meters) const
{
    RunEntry e;
    e.meters = meters;
    if (m_startTicks < m_stopTicks) {
        e.time = m_stopTicks - m_startTicks;
        e.late = m_startLate || m_stopLate;
        e.uncertaintyMs = (m_startUncertainty + m_stopUncertainty) * 1000.0;
    }
    e.manual = m_startManual || m_stopManual;
    return e;
}

} // namespace timing
