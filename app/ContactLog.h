#pragma once

#include "timing/Measurement.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace app {

// The edges of both lines as they came, for the contact display: a ring that keeps the
// newest `capacity` edges and forgets the oldest. No window: the display, its table and
// its export read it. Edges are expected in the order of their instants, as the watcher
// reports them.
class ContactLog
{
public:
    static constexpr std::size_t DefaultCapacity = 100'000;

    struct Entry
    {
        timing::LineEdge edge;
        // Ticks since the edge before it on the same line, kept when that one is forgotten;
        // -1 for a line's first edge.
        timing::Ticks sincePrevious = -1;
    };

    explicit ContactLog(std::size_t capacity = DefaultCapacity);

    // Edges of lines other than 1 and 2 are not kept.
    void add(const timing::LineEdge &edge);
    // Forgets every edge and gives the memory back; times are then counted from `origin`.
    void clear(timing::Ticks origin);

    std::size_t size() const { return m_entries.size(); }
    std::size_t capacity() const { return m_capacity; }
    // Oldest first.
    const Entry &at(std::size_t index) const;
    // Edges added since the last clear, forgotten ones included: the number of the entry at
    // `index` is added() - size() + index + 1.
    std::uint64_t added() const { return m_added; }
    timing::Ticks origin() const { return m_origin; }
    // Counts the clears, so that a reader notices one between two looks.
    std::uint64_t generation() const { return m_generation; }

    // The index of the first edge at or after `ticks` (size() when there is none).
    std::size_t firstAtOrAfter(timing::Ticks ticks) const;
    // The state of `line` just before the edge at `index` (size(): now). Unknown when the
    // line has shown no edge and its state was not given.
    std::optional<bool> stateBefore(int line, std::size_t index) const;
    // The lines' states before the first edge, as they stood when the log started.
    void setStates(std::optional<bool> line1, std::optional<bool> line2);

private:
    std::size_t slot(std::size_t index) const { return (m_head + index) % m_entries.size(); }

    std::size_t m_capacity;
    std::vector<Entry> m_entries;
    std::size_t m_head = 0; // slot of the oldest entry once the ring is full
    std::uint64_t m_added = 0;
    std::uint64_t m_generation = 0;
    timing::Ticks m_origin = 0;
    // Per line: the state before the oldest kept edge, and the instant of its last edge.
    std::array<std::optional<bool>, 2> m_statesBefore;
    std::array<std::optional<timing::Ticks>, 2> m_lastAt;
};

} // namespace app
