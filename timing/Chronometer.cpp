#include "timing/Chronometer.h"

namespace timing {

long double RunEntry::speed() const
{
    return time ? meters * 10000.0L / static_cast<long double>(*time) : 0.0L;
}

bool Chronometer::DoContact1(std::optional<Ticks> at, bool late, double uncertainty)
{
    if (m_running)
        return false;
    m_startTicks = at ? *at : GetTicks();
    m_startLate = at && late;
    m_startUncertainty = at ? uncertainty : 0;
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
            const double uncertainty = m_lines.changeUncertainty();
            if (a && !m_running && !m_line1)
                fired.contact1 = DoContact1(at, late, uncertainty);
            if (b && m_running && !m_line2)
                fired.contact2 = DoContact2(at, late, uncertainty);
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
        e.uncertaintyMs = (m_startUncertainty + m_stopUncertainty) * 1000.0;
    }
    return e;
}

} // namespace timing
