#include "timing/ModeEngine.h"

#include "timing/AccelerationMode.h"
#include "timing/BetweenBarriersMode.h"
#include "timing/Chronometer.h"
#include "timing/DarkTimeMode.h"
#include "timing/LineSource.h"
#include "timing/PendulumMode.h"
#include "timing/PicketFenceMode.h"

#include <QScopedValueRollback>

namespace timing {

MeasurementMode measurementModeOf(int index)
{
    if (index < 0 || index >= MeasurementModeCount)
        return MeasurementMode::BetweenBarriers;
    return MeasurementMode(index);
}

QList<ModeValue> modeColumns(MeasurementMode mode)
{
    const QString s = QStringLiteral("s");
    const QString speed = QStringLiteral("m/s");
    switch (mode) {
    case MeasurementMode::DarkTime:
        return {{QStringLiteral("Schranke"), QString(), {}, 0, 0},
                {QStringLiteral("v"), speed, {}, 0, 3}};
    case MeasurementMode::Acceleration:
        return {{QStringLiteral("t1"), s, {}, 0, 4},
                {QStringLiteral("t2"), s, {}, 0, 4},
                {QStringLiteral("v1"), speed, {}, 0, 3},
                {QStringLiteral("v2"), speed, {}, 0, 3},
                {QStringLiteral("a"), QStringLiteral("m/s²"), {}, 0, 3}};
    case MeasurementMode::Pendulum:
        return {{QStringLiteral("Periode"), s, {}, 0, 4}};
    case MeasurementMode::PicketFence:
        return {{QStringLiteral("Latten"), QString(), {}, 0, 0},
                {QStringLiteral("a"), QStringLiteral("m/s²"), {}, 0, 3}};
    case MeasurementMode::BetweenBarriers:
        break;
    }
    return {};
}

std::unique_ptr<ModeStrategy> makeStrategy(MeasurementMode mode)
{
    switch (mode) {
    case MeasurementMode::DarkTime:
        return std::make_unique<DarkTimeMode>();
    case MeasurementMode::Acceleration:
        return std::make_unique<AccelerationMode>();
    case MeasurementMode::Pendulum:
        return std::make_unique<PendulumMode>();
    case MeasurementMode::PicketFence:
        return std::make_unique<PicketFenceMode>();
    case MeasurementMode::BetweenBarriers:
        break;
    }
    return std::make_unique<BetweenBarriersMode>();
}

ModeEngine::ModeEngine(MeasurementMode mode)
{
    m_lines.setMinDark(m_settings.minDark);
    setMode(mode);
}

ModeEngine::~ModeEngine() = default;

void ModeEngine::setMode(MeasurementMode mode)
{
    m_mode = mode;
    m_strategy = makeStrategy(mode);
    m_lines.reset();
    m_shown = 0;
}

void ModeEngine::setMinDark(Ticks minimum)
{
    m_settings.minDark = minimum;
    m_lines.setMinDark(minimum);
}

void ModeEngine::feed(const LineEdge &edge, ModeOutput &out)
{
    const std::size_t before = out.runs.size();
    QScopedValueRollback<ModeOutput *> into(m_out, &out);
    m_lines.feed(edge, *this);
    noteResults(out, before);
}

void ModeEngine::poll(Ticks now, ModeOutput &out)
{
    const std::size_t before = out.runs.size();
    QScopedValueRollback<ModeOutput *> into(m_out, &out);
    m_lines.advance(now, *this);
    m_strategy->poll(now, m_settings, out);
    noteResults(out, before);
}

void ModeEngine::noteResults(const ModeOutput &out, std::size_t before)
{
    if (out.runs.size() > before)
        m_shown = out.runs.back().ticks.value_or(0);
}

void ModeEngine::reset()
{
    m_lines.reset();
    m_strategy->reset();
    m_shown = 0;
}

void ModeEngine::darkConfirmed(const Interruption &begun)
{
    m_strategy->darkConfirmed(begun, m_settings, *m_out);
}

void ModeEngine::completed(const Interruption &interruption)
{
    m_strategy->completed(interruption, m_settings, *m_out);
}

Fired ModeEngine::evaluateLines(Chronometer &chronometer, const LineSource &lines, ModeOutput &out)
{
    const bool before[2] = {chronometer.line1(), chronometer.line2()};
    const Arming armed[2] = {chronometer.arming(1), chronometer.arming(2)};
    const bool quiet = chronometer.suppressed();
    chronometer.setFiring(false);
    const Fired fired = chronometer.EvaluateLines();
    chronometer.setFiring(true);
    if (fired.both)
        reset();
    if (quiet || fired.both)
        return fired;
    const bool after[2] = {chronometer.line1(), chronometer.line2()};
    const std::optional<Ticks> stamp = lines.changeTicks();
    const Ticks at = stamp ? *stamp : GetTicks();
    const bool late = stamp && lines.changeLate();
    const double uncertainty = stamp ? lines.changeUncertainty() : 0.0;
    for (int line = 1; line <= 2; ++line) {
        const int i = line - 1;
        if (after[i] == before[i] || (after[i] && armed[i] != Arming::Armed))
            continue;
        feed({line, after[i], at, uncertainty, late}, out);
    }
    return fired;
}

std::optional<Ticks> ModeEngine::runningSince() const
{
    return m_strategy->runningSince(m_lines);
}

QString ModeEngine::DigitsText(Ticks now) const
{
    const std::optional<Ticks> since = runningSince();
    if (!since)
        return TicksToStr(m_shown);
    QString s = TicksToStr(Ticks(quint64(now) - quint64(*since)));
    for (qsizetype i = qMax<qsizetype>(0, s.size() - 3); i < s.size(); ++i)
        s[i] = u'-';
    return s;
}

} // namespace timing
