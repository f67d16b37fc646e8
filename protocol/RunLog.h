#pragma once

#include "protocol/Run.h"

#include <QList>
#include <QString>

#include <variant>
#include <vector>

namespace protocol {

// The protocol's runs in the order they were taken, with the undo of removals. Everything
// that shows or writes runs reads them here; widgets hold none.
class RunLog
{
public:
    // Told of every change. The "about to" calls come before the runs change, the others
    // after; removals and re-insertions come as contiguous ranges (first..last, inclusive).
    class Observer
    {
    public:
        virtual ~Observer() = default;
        virtual void runsAboutToBeInserted(int first, int last) { (void)first, (void)last; }
        virtual void runsInserted(int first, int last) { (void)first, (void)last; }
        virtual void runsAboutToBeRemoved(int first, int last) { (void)first, (void)last; }
        virtual void runsRemoved(int first, int last) { (void)first, (void)last; }
        virtual void runsAboutToBeReset() {}
        virtual void runsReset() {}
        // A run's label changed.
        virtual void runChanged(int row) { (void)row; }
        // Once after every change of any kind, when the runs are consistent again.
        virtual void runLogChanged() {}
    };

    RunLog() = default;
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

    void addObserver(Observer *observer);
    void removeObserver(Observer *observer);

    const QList<Run> &runs() const { return m_runs; }
    int size() const { return int(m_runs.size()); }
    bool isEmpty() const { return m_runs.isEmpty(); }
    const Run &at(int row) const { return m_runs.at(row); }

    // Appends a new run. The undo of earlier removals is gone from now on: their rows
    // would no longer be where they were.
    void add(Run run);
    // Removes the given rows (any order; duplicates and rows out of range are ignored).
    // Undoable. Returns how many were removed.
    int removeRows(QList<int> rows);
    // Removes every run; undoable.
    void clear();
    // Puts `runs` in place of the current ones (runs read back from a file); undoable.
    void replace(QList<Run> runs);
    // Puts `runs` in place as where the work was left (a session reopened): nothing to undo.
    void restore(QList<Run> runs);

    bool canUndo() const { return !m_undo.empty(); }
    // Brings back what the last removal, clear or replacement took away, in its places and
    // order. Returns false when there is nothing to undo.
    bool undo();

    // Sets a run's label, cleaned by cleanLabel(). Returns whether it changed.
    bool setLabel(int row, const QString &label);

private:
    // Runs taken out of their rows, ascending by row.
    struct Removed
    {
        QList<std::pair<int, Run>> rows;
    };
    // The whole protocol as it was.
    struct Snapshot
    {
        QList<Run> runs;
    };

    void resetTo(QList<Run> runs);
    template <typename F> void notify(F f);

    QList<Run> m_runs;
    std::vector<std::variant<Removed, Snapshot>> m_undo;
    std::vector<Observer *> m_observers;
};

// Longest label kept, in characters.
inline constexpr int MaxLabelLength = 40;

// A label as it is stored: control characters removed, cut to MaxLabelLength characters
// (never inside a character that takes two UTF-16 units).
QString cleanLabel(const QString &label);

} // namespace protocol
