#include "timing/Chronometer.h"

namespace timing {

long double RunEntry::speed() const
{
    return time ? meters * 10000.0L / static_cast<long double>(*time) : 0.0L;
}

bool Chronometer::DoContact1(std::optional<Ticks> at, bool late)
{
    if (m_running)
        return false;
    m_startTicks = at ? *at : GetTicks();
    m_startLate = at && late;
    m_lines.setArmed(true);
    m_running = true;
    return true;
}

bool Chronometer::DoContact2(std::optional<Ticks> at, bool late)
{
    if (!m_running)
        return false;
    m_stopTicks = at ? *at : GetTicks();
    m_stopLate = at && late;
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
    m_lines.setArmed(true);
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
            if (a && !m_running && !m_line1)
                fired.contact1 = DoContact1(at, late);
            if (b && m_running && !m_line2)
                fired.contact2 = DoContact2(at, late);
        }
    }
    m_line1 = a;
    m_line2 = b;
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
    }
    return e;
}

} // namespace timing
