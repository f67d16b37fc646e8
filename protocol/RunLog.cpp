#include "protocol/RunLog.h"

#include <algorithm>

namespace protocol {

namespace {

// Calls f(first, last) for each run of consecutive values in ascending `rows`, from the
// last range to the first when `backwards`.
template <typename F> void forRanges(const QList<int> &rows, bool backwards, F f)
{
    std::vector<std::pair<int, int>> ranges;
    for (int row : rows) {
        if (!ranges.empty() && ranges.back().second + 1 == row)
            ranges.back().second = row;
        else
            ranges.emplace_back(row, row);
    }
    if (backwards)
        std::reverse(ranges.begin(), ranges.end());
    for (const auto &[first, last] : ranges)
        f(first, last);
}

bool isControl(char32_t c)
{
    // C0, DEL, C1, and the line and paragraph separators that would break a CSV line.
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

void RunLog::addObserver(Observer *observer)
{
    m_observers.push_back(observer);
}

void RunLog::removeObserver(Observer *observer)
{
    std::erase(m_observers, observer);
}

template <typename F> void RunLog::notify(F f)
{
    // An observer may unregister itself while being told.
    const std::vector<Observer *> observers = m_observers;
    for (Observer *o : observers)
        f(*o);
}

void RunLog::add(Run run)
{
    m_undo.clear();
    const int row = size();
    notify([row](Observer &o) { o.runsAboutToBeInserted(row, row); });
    m_runs.append(std::move(run));
    notify([row](Observer &o) { o.runsInserted(row, row); });
    notify([](Observer &o) { o.runLogChanged(); });
}

int RunLog::removeRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeIf([this](int row) { return row < 0 || row >= size(); });
    if (rows.isEmpty())
        return 0;
    Removed removed;
    removed.rows.reserve(rows.size());
    for (int row : rows)
        removed.rows.append({row, m_runs.at(row)});
    forRanges(rows, true, [this](int first, int last) {
        notify([=](Observer &o) { o.runsAboutToBeRemoved(first, last); });
        m_runs.remove(first, last - first + 1);
        notify([=](Observer &o) { o.runsRemoved(first, last); });
    });
    m_undo.emplace_back(std::move(removed));
    notify([](Observer &o) { o.runLogChanged(); });
    return int(rows.size());
}

void RunLog::clear()
{
    if (m_runs.isEmpty())
        return;
    replace({});
}

void RunLog::replace(QList<Run> runs)
{
    m_undo.emplace_back(Snapshot{m_runs});
    resetTo(std::move(runs));
}

void RunLog::restore(QList<Run> runs)
{
    m_undo.clear();
    resetTo(std::move(runs));
}

void RunLog::resetTo(QList<Run> runs)
{
    notify([](Observer &o) { o.runsAboutToBeReset(); });
    m_runs = std::move(runs);
    notify([](Observer &o) { o.runsReset(); });
    notify([](Observer &o) { o.runLogChanged(); });
}

bool RunLog::undo()
{
    if (m_undo.empty())
        return false;
    auto step = std::move(m_undo.back());
    m_undo.pop_back();
    if (auto *snapshot = std::get_if<Snapshot>(&step)) {
        resetTo(std::move(snapshot->runs));
        return true;
    }
    const auto &removed = std::get<Removed>(step).rows;
    QList<int> rows;
    rows.reserve(removed.size());
    for (const auto &entry : removed)
        rows.append(entry.first);
    // Ascending, each range goes back where it was: the rows before it are already back.
    qsizetype next = 0;
    forRanges(rows, false, [&](int first, int last) {
        notify([=](Observer &o) { o.runsAboutToBeInserted(first, last); });
        for (int row = first; row <= last; ++row)
            m_runs.insert(row, removed.at(next++).second);
        notify([=](Observer &o) { o.runsInserted(first, last); });
    });
    notify([](Observer &o) { o.runLogChanged(); });
    return true;
}

bool RunLog::setLabel(int row, const QString &label)
{
    if (row < 0 || row >= size())
        return false;
    const QString clean = cleanLabel(label);
    if (m_runs.at(row).label == clean)
        return false;
    m_runs[row].label = clean;
    notify([row](Observer &o) { o.runChanged(row); });
    notify([](Observer &o) { o.runLogChanged(); });
    return true;
}

QString cleanLabel(const QString &label)
{
    QString clean;
    int characters = 0;
    for (char32_t c : label.toUcs4()) {
        if (isControl(c))
            continue;
        if (characters == MaxLabelLength)
            break;
        clean += QString::fromUcs4(&c, 1);
        ++characters;
    }
    return clean;
}

} // namespace protocol
