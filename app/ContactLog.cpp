#include "app/ContactLog.h"

#include <algorithm>
#include <stdexcept>

namespace app {

ContactLog::ContactLog(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)) {}

void ContactLog::add(const timing::LineEdge &edge)
{
    if (edge.line != 1 && edge.line != 2)
        return;
    const auto line = std::size_t(edge.line - 1);
    Entry entry{edge, m_lastAt[line] ? edge.at - *m_lastAt[line] : -1};
    m_lastAt[line] = edge.at;
    ++m_added;
    if (m_entries.size() < m_capacity) {
        m_entries.push_back(entry);
        return;
    }
    // The forgotten edge leaves its state behind as the state before the oldest kept one.
    Entry &oldest = m_entries[m_head];
    m_statesBefore[std::size_t(oldest.edge.line - 1)] = oldest.edge.active;
    oldest = entry;
    m_head = (m_head + 1) % m_entries.size();
}

void ContactLog::clear(timing::Ticks origin)
{
    std::vector<Entry>().swap(m_entries);
    m_head = 0;
    m_added = 0;
    ++m_generation;
    m_origin = origin;
    m_statesBefore = {};
    m_lastAt = {};
}

const ContactLog::Entry &ContactLog::at(std::size_t index) const
{
    if (index >= m_entries.size())
        throw std::out_of_range("ContactLog::at");
    return m_entries[slot(index)];
}

std::size_t ContactLog::firstAtOrAfter(timing::Ticks ticks) const
{
    std::size_t low = 0;
    std::size_t high = m_entries.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (m_entries[slot(middle)].edge.at < ticks)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::optional<bool> ContactLog::stateBefore(int line, std::size_t index) const
{
    if (line != 1 && line != 2)
        return std::nullopt;
    index = std::min(index, m_entries.size());
    for (std::size_t i = index; i-- > 0;) {
        const timing::LineEdge &edge = m_entries[slot(i)].edge;
        if (edge.line == line)
            return edge.active;
    }
    if (const std::optional<bool> known = m_statesBefore[std::size_t(line - 1)])
        return known;
    // Before its first edge a line stood the other way.
    for (std::size_t i = index; i < m_entries.size(); ++i) {
        const timing::LineEdge &edge = m_entries[slot(i)].edge;
        if (edge.line == line)
            return !edge.active;
    }
    return std::nullopt;
}

void ContactLog::setStates(std::optional<bool> line1, std::optional<bool> line2)
{
    m_statesBefore = {line1, line2};
}

} // namespace app
