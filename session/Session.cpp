#include "session/Session.h"

#include "platform/Locale.h"
#include "protocol/ModeRuns.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace session {

using timing::MeasurementMode;
using timing::Ticks;

Session::Session(timing::LineSource &lines) : m_lines(lines)
{
    m_runs.addObserver(this);
}

Session::~Session()
{
    m_runs.removeObserver(this);
}

void Session::addObserver(Observer *observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void Session::removeObserver(Observer *observer)
{
    std::erase(m_observers, observer);
}

template <typename F> void Session::notify(F f)
{
    // An observer may remove itself while told.
    const std::vector<Observer *> observers = m_observers;
    for (Observer *o : observers)
        f(*o);
}

// --- Settings ----------------------------------------------------------------------

void Session::setMode(MeasurementMode mode)
{
    if (mode == m_engine.mode())
        return;
    m_engine.setMode(mode);
    reset();
}

void Session::setInverted(bool inverted)
{
    if (inverted == m_inverted)
        return;
    m_inverted = inverted;
    {
        // The lines as the new polarity reads them, without firing.
        const auto suppression = m_chrono.suppress();
        evaluate();
    }
    reset();
}

void Session::setMinimumMs(MeasurementMode mode, int ms)
{
    (mode == MeasurementMode::BetweenBarriers ? m_minContactMs : m_minDarkMs) = ms;
}

int Session::minimumMs(MeasurementMode mode) const
{
    return mode == MeasurementMode::BetweenBarriers ? m_minContactMs : m_minDarkMs;
}

long double Session::modeLength(MeasurementMode mode) const
{
    return mode == MeasurementMode::Pendulum ? m_pendulum
           : mode == MeasurementMode::PicketFence ? m_picket
                                                  : m_flag;
}

void Session::setModeLength(MeasurementMode mode, long double meters)
{
    (mode == MeasurementMode::Pendulum ? m_pendulum
     : mode == MeasurementMode::PicketFence ? m_picket
                                            : m_flag) = meters;
}

SeriesKey Session::currentKey() const
{
    protocol::Run next;
    next.mode = mode();
    next.meters = mode() == MeasurementMode::DarkTime ? m_flag
                  : mode() == MeasurementMode::Pendulum ? m_pendulum
                                                        : m_distance;
    next.label = protocol::cleanLabel(m_label);
    return keyOf(next);
}

bool Session::engineEvaluates() const
{
    return mode() != MeasurementMode::BetweenBarriers || m_minContactMs > 0;
}

void Session::syncEngine()
{
    m_engine.setDistanceMeters(m_distance);
    m_engine.setFlagMeters(m_flag);
    m_engine.setPicketMeters(m_picket);
    m_engine.setMinDark(Ticks(minimumMs(mode())) * timing::TicksPerSecond / 1000);
}

// --- Port and clock ----------------------------------------------------------------

void Session::openPort(std::uint8_t n)
{
    {
        const auto suppression = m_chrono.suppress();
        m_lines.setComm(n);
        evaluate();
    }
    // The opening reports the lines at rest whatever they are; only a read of the port
    // tells, and until then no line may fire.
    m_chrono.disarm(true);
    m_openedAt = m_lines.Active() ? std::optional<Ticks>(timing::GetTicks()) : std::nullopt;
    // A source that already vouches for the present has read the port: its lines count.
    const std::optional<Ticks> vouched = m_lines.quietUntil();
    if (!m_openedAt || (vouched && *vouched >= *m_openedAt)) {
        m_openedAt.reset();
        m_chrono.confirmLines();
    }
    reset();
}

void Session::keyContact1()
{
    // The other modes make their runs from the lines alone.
    if (mode() == MeasurementMode::BetweenBarriers)
        contact1(std::nullopt, false, 0);
}

void Session::keyContact2()
{
    if (mode() == MeasurementMode::BetweenBarriers)
        contact2(std::nullopt, false, 0);
}

void Session::contact1(std::optional<Ticks> at, bool late, double uncertainty)
{
    if (!m_chrono.DoContact1(at, late, uncertainty))
        return;
    m_note.clear();
    notify([](Observer &o) { o.runStarted(); });
    notify([](Observer &o) { o.clockChanged(); });
}

void Session::contact2(std::optional<Ticks> at, bool late, double uncertainty)
{
    if (!m_chrono.DoContact2(at, late, uncertainty))
        return;
    notify([](Observer &o) { o.clockChanged(); });
    addRun(timing::modeRunOf(m_chrono.entry(m_distance)));
}

void Session::reset()
{
    m_chrono.DoReset();
    m_engine.reset();
    m_note.clear();
    notify([](Observer &o) { o.clockChanged(); });
}

void Session::linesChanged()
{
    evaluate();
}

void Session::evaluate()
{
    m_chrono.setInverted(m_inverted);
    const bool quiet = m_chrono.suppressed();
    const bool wasRunning = running();
    const bool before[2] = {m_chrono.line1(), m_chrono.line2()};
    // A report after the opening that is not the port's first read follows a read that
    // found the lines as the opening said (at rest, or it would have been reported).
    if (!quiet && m_openedAt && !m_lines.changeFirstRead()) {
        m_chrono.confirmLines();
        m_openedAt.reset();
    }
    timing::ModeOutput out;
    timing::Fired fired;
    if (engineEvaluates() && m_lines.Active()) {
        syncEngine();
        fired = m_engine.evaluateLines(m_chrono, m_lines, out);
    } else {
        fired = m_chrono.EvaluateLines();
    }
    // A report after the opening is a read of the port.
    if (!quiet)
        m_openedAt.reset();
    if (!quiet && m_lines.Active()) {
        const bool after[2] = {m_chrono.line1(), m_chrono.line2()};
        const std::optional<Ticks> stamp = m_lines.changeTicks();
        for (int line = 1; line <= 2; ++line) {
            if (after[line - 1] == before[line - 1])
                continue;
            const timing::LineEdge edge{line, after[line - 1], stamp ? *stamp : timing::GetTicks(),
                                        stamp ? m_lines.changeUncertainty() : 0.0,
                                        stamp && m_lines.changeLate()};
            notify([&](Observer &o) { o.lineEdge(edge); });
        }
    }
    if (fired.both)
        m_note = QStringLiteral("beide Kontakte zugleich: keine Messung");
    if (fired.contact1) {
        m_note.clear();
        notify([](Observer &o) { o.runStarted(); });
    }
    if (fired.contact1 || fired.contact2 || fired.both)
        notify([](Observer &o) { o.clockChanged(); });
    if (fired.contact2)
        addRun(timing::modeRunOf(m_chrono.entry(m_distance)));
    take(out);
    if (!wasRunning && running() && mode() != MeasurementMode::BetweenBarriers)
        notify([](Observer &o) { o.runStarted(); });
    notify([](Observer &o) { o.linesChanged(); });
}

void Session::poll(Ticks now)
{
    if (!m_lines.Active())
        return;
    const std::optional<Ticks> vouched = m_lines.quietUntil();
    if (!vouched)
        return;
    // Lines that nothing has reported since the opening are as the opening said.
    if (m_openedAt && *vouched >= *m_openedAt) {
        m_openedAt.reset();
        m_chrono.confirmLines();
        notify([](Observer &o) { o.clockChanged(); });
    }
    if (!engineEvaluates())
        return;
    timing::ModeOutput out;
    syncEngine();
    m_engine.poll(std::min(now, *vouched), out);
    take(out);
}

void Session::take(const timing::ModeOutput &out)
{
    for (const timing::Contact &contact : out.contacts) {
        if (contact.line == 1)
            contact1(contact.at, contact.late, contact.uncertainty);
        else
            contact2(contact.at, contact.late, contact.uncertainty);
    }
    for (const timing::ModeRun &result : out.runs) {
        notify([](Observer &o) { o.clockChanged(); });
        addRun(result);
    }
}

QString Session::digitsText(Ticks now)
{
    if (mode() == MeasurementMode::BetweenBarriers)
        return m_chrono.DigitsText();
    return m_engine.DigitsText(now);
}

bool Session::running() const
{
    if (mode() == MeasurementMode::BetweenBarriers)
        return m_chrono.running();
    return m_engine.runningSince().has_value();
}

ArmedState Session::armedState() const
{
    ArmedInputs in;
    in.portOpen = m_lines.Active();
    in.line1 = m_chrono.line1();
    in.line2 = m_chrono.line2();
    in.running = running();
    in.flagMode = mode() != MeasurementMode::BetweenBarriers;
    in.hasStoppedRun = in.flagMode ? m_engine.shown() > 0 : m_chrono.stopTicks() > 0;
    in.held1 = m_chrono.arming(1) != timing::Arming::Armed;
    in.held2 = m_chrono.arming(2) != timing::Arming::Armed;
    // Right after the opening the lines are not known yet: nothing is judged.
    if (m_openedAt)
        in.line1 = in.line2 = in.held1 = in.held2 = false;
    return session::armedState(in);
}

// --- Runs --------------------------------------------------------------------------

void Session::addRun(const timing::ModeRun &result)
{
    // One reading of the clock: a stop at midnight is stamped with the right day.
    const QDateTime stop = platform::locale().currentDateTime();
    protocol::Run run = protocol::makeRun(result, mode(), stop.date(), stop.time(), m_label);
    // The engine times a pendulum without knowing its length; the series needs it.
    if (run.mode == MeasurementMode::Pendulum)
        run.meters = m_pendulum;
    if (m_journal) {
        // On the disk before it is shown; a journal that cannot be written stops nothing.
        const auto convention = protocol::CsvConvention::forDecimalSeparator(
            platform::locale().decimalSeparator());
        if (const int error = m_journal->append(run, convention); error && !m_journalErrorShown) {
            m_journalErrorShown = true;
            const QString message =
                protocol::journalErrorText(error, m_journal->filePath(run.date));
            notify([&](Observer &o) { o.problem(message); });
        }
    }
    m_runs.add(std::move(run));
    notify([](Observer &o) { o.runTaken(); });
}

int Session::seriesOfRow(int row) const
{
    for (int i = 0; i < m_series.size(); ++i)
        if (m_series.at(i).rows.contains(row))
            return i;
    return -1;
}

int Session::relabel(const QList<int> &rows, const QString &label)
{
    const QString clean = protocol::cleanLabel(label);
    QList<protocol::Run> runs = m_runs.runs();
    int changed = 0;
    for (const int row : rows) {
        if (row >= 0 && row < runs.size() && runs[row].label != clean) {
            runs[row].label = clean;
            ++changed;
        }
    }
    if (changed)
        m_runs.replace(std::move(runs));
    return changed;
}

void Session::runLogChanged()
{
    m_series = seriesOf(m_runs.runs());
    save();
    notify([](Observer &o) { o.sessionChanged(); });
}

// --- Keeping the session -----------------------------------------------------------

void Session::save()
{
    if (!m_store || m_path.isEmpty())
        return;
    m_texts.runs = m_runs.runs();
    const int error = m_store->save(m_path, m_texts);
    m_texts.runs.clear();
    if (!error) {
        m_saveErrorShown = false;
        return;
    }
    if (m_saveErrorShown)
        return;
    m_saveErrorShown = true;
    const QString message =
        QStringLiteral("Die Sitzung kann nicht gesichert werden (%1): %2")
            .arg(m_path, protocol::journalErrorText(error, m_path));
    notify([&](Observer &o) { o.problem(message); });
}

QStringList Session::restore(SessionStore *store)
{
    m_store = store;
    QStringList problems;
    const QString last = store ? store->lastPath() : QString();
    if (!last.isEmpty()) {
        if (std::optional<SessionData> data = SessionStore::load(last, &problems)) {
            m_path = last;
            QList<protocol::Run> runs = std::move(data->runs);
            m_texts = std::move(*data);
            m_texts.runs.clear();
            // A restored session is where the user left it, not an undoable change.
            m_runs.restore(std::move(runs));
            return problems;
        }
    }
    // Nothing to go on: a new session, kept from its first run on. A damaged file stays.
    m_texts = {};
    m_texts.created = QDateTime::currentDateTime();
    m_path = store ? store->newPath(m_texts.created) : QString();
    return problems;
}

void Session::newSession()
{
    m_texts = {};
    m_texts.created = QDateTime::currentDateTime();
    m_path = m_store ? m_store->newPath(m_texts.created) : QString();
    m_runs.clear();
}

bool Session::openSession(const QString &path, QStringList *problems)
{
    std::optional<SessionData> data = SessionStore::load(path, problems);
    if (!data)
        return false;
    m_path = path;
    QList<protocol::Run> runs = std::move(data->runs);
    m_texts = std::move(*data);
    m_texts.runs.clear();
    m_runs.replace(std::move(runs));
    return true;
}

void Session::setTexts(const QString &title, const QString &className, const QString &notes)
{
    m_texts.title = title;
    m_texts.className = className;
    m_texts.notes = notes;
    save();
    notify([](Observer &o) { o.sessionChanged(); });
}

} // namespace session
