#pragma once

#include "protocol/RunJournal.h"
#include "protocol/RunLog.h"
#include "session/ArmedState.h"
#include "session/Series.h"
#include "session/SessionFile.h"
#include "timing/Chronometer.h"
#include "timing/LineSource.h"
#include "timing/ModeEngine.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace session {

// The experiment as the program knows it, without a window: the chronometer and the
// measurement modes fed by the lines' instants, the runs grouped in series, their edits and
// undo, the state a class sees, the journal and the session file. Every view (the main
// window's list, statistics and chart, the projector, the strip and tones, the report,
// the exports, the class view) observes it and holds no data of its own.
class Session final : private protocol::RunLog::Observer
{
public:
    class Observer
    {
    public:
        virtual ~Observer() = default;
        // A run started or stopped, the clock was reset, or what a class sees changed.
        virtual void clockChanged() {}
        // The lines were read (the lamps).
        virtual void linesChanged() {}
        // Runs, series or the session's texts changed; the RunLog has told its own
        // observers before.
        virtual void sessionChanged() {}
        // For the tones: a run began; a run was taken.
        virtual void runStarted() {}
        virtual void runTaken() {}
        // Every change of a line that a report from the port brought, after the polarity,
        // for a live log of the contacts.
        virtual void lineEdge(const timing::LineEdge &edge) { (void)edge; }
        // Something the user must hear of (a file that cannot be written), in German.
        virtual void problem(const QString &message) { (void)message; }
    };

    explicit Session(timing::LineSource &lines);
    ~Session() override;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void addObserver(Observer *observer);
    void removeObserver(Observer *observer);

    // --- What the next run is taken under. Mode and polarity start afresh.
    void setMode(timing::MeasurementMode mode);
    timing::MeasurementMode mode() const { return m_engine.mode(); }
    void setInverted(bool inverted);
    bool inverted() const { return m_inverted; }
    void setDistance(long double meters) { m_distance = meters; }
    long double distance() const { return m_distance; }
    void setFlagLength(long double meters) { m_flag = meters; }
    long double flagLength() const { return m_flag; }
    // The pendulum's length l, kept in each pendulum run as its setting.
    void setPendulumLength(long double meters) { m_pendulum = meters; }
    long double pendulumLength() const { return m_pendulum; }
    // The length a mode's second field sets: the flag's, the pendulum's, the spacing.
    long double modeLength(timing::MeasurementMode mode) const;
    void setModeLength(timing::MeasurementMode mode, long double meters);
    // The picket fence's band spacing.
    void setPicketSpacing(long double meters) { m_picket = meters; }
    long double picketSpacing() const { return m_picket; }
    // Contacts in the default mode, darkness in the others; whole milliseconds.
    void setMinimumMs(timing::MeasurementMode mode, int ms);
    int minimumMs(timing::MeasurementMode mode) const;
    void setLabel(const QString &label) { m_label = label; }
    QString label() const { return m_label; }
    // The series the next run joins.
    SeriesKey currentKey() const;

    // --- Port and clock.
    // The lines' port n (0: none). What the opening reports says nothing of the lines
    // until the port has been read.
    void openPort(std::uint8_t n);
    bool portActive() const { return m_lines.Active(); }
    // F5 and F6, and the buttons: the current instant, marked as a hand's; only between the
    // barriers, the other modes make their runs from the lines alone.
    void keyContact1();
    void keyContact2();
    // A contact at a line's instant `at`, or now (a hand's) without one.
    void contact1(std::optional<timing::Ticks> at, bool late = false, double uncertainty = 0);
    void contact2(std::optional<timing::Ticks> at, bool late = false, double uncertainty = 0);
    void reset();
    // The lines' change report.
    void linesChanged();
    // The display's timer: settles minimum times up to what the lines vouch for, never
    // further, so that a late queue cannot change a result.
    void poll(timing::Ticks now);
    QString digitsText(timing::Ticks now);
    bool running() const;
    ArmedState armedState() const;
    // Why the last change made no run (both lines at once), empty otherwise.
    QString stateNote() const { return m_note; }
    const timing::Chronometer &chronometer() const { return m_chrono; }
    timing::Chronometer &chronometer() { return m_chrono; }
    const timing::ModeEngine &engine() const { return m_engine; }

    // --- Runs and series.
    const protocol::RunLog &runs() const { return m_runs; }
    protocol::RunLog &runs() { return m_runs; }
    const QList<Series> &series() const { return m_series; }
    // The series a row belongs to.
    int seriesOfRow(int row) const;
    // Gives every given row `label`, as one undoable step; returns how many changed.
    int relabel(const QList<int> &rows, const QString &label);

    // --- Keeping the session.
    void setJournal(protocol::RunJournal *journal) { m_journal = journal; }
    // Opens the last session kept in `store` (a new one when there is none) and keeps every
    // change there from now on. Returns what could not be read, in German.
    QStringList restore(SessionStore *store);
    // A fresh session in a new file; the runs left behind come back with undo.
    void newSession();
    // Opens a kept session in place of this one; undoable. False when it cannot be read.
    bool openSession(const QString &path, QStringList *problems);
    QString path() const { return m_path; }
    const SessionData &texts() const { return m_texts; }
    void setTexts(const QString &title, const QString &className, const QString &notes);

private:
    void runLogChanged() override;

    bool engineEvaluates() const;
    void syncEngine();
    void evaluate();
    void take(const timing::ModeOutput &out);
    void addRun(const timing::ModeRun &result);
    void save();
    template <typename F> void notify(F f);

    timing::LineSource &m_lines;
    timing::Chronometer m_chrono{m_lines};
    timing::ModeEngine m_engine;
    bool m_inverted = false;
    long double m_distance = 0.15L;
    long double m_flag = 0.025L;
    long double m_pendulum = 1.0L;
    long double m_picket = 0.05L;
    int m_minContactMs = 0;
    int m_minDarkMs = 1;
    QString m_label;
    QString m_note;
    // The port opened at this instant and has not been read since.
    std::optional<timing::Ticks> m_openedAt;

    protocol::RunLog m_runs;
    QList<Series> m_series;
    protocol::RunJournal *m_journal = nullptr;
    bool m_journalErrorShown = false;
    SessionStore *m_store = nullptr;
    QString m_path;
    SessionData m_texts;
    bool m_saveErrorShown = false;
    std::vector<Observer *> m_observers;
};

} // namespace session
