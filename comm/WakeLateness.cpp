#include "comm/WakeLateness.h"

#include <algorithm>

namespace comm {

namespace {

// The latest samples that count in full, whatever the quantile says.
constexpr std::size_t Recent = 4;

} // namespace

void WakeLateness::note(std::int64_t ns)
{
    std::lock_guard lock(m_mutex);
    m_ring[m_count % Window] = std::max<std::int64_t>(ns, 0);
    ++m_count;
}

std::int64_t WakeLateness::boundNs() const
{
    std::array<std::int64_t, Window> sorted;
    std::size_t n = 0;
    std::int64_t recent = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_count < MinSamples)
            return PriorNs;
        n = std::min(m_count, Window);
        std::copy_n(m_ring.begin(), n, sorted.begin());
        for (std::size_t i = 1; i <= std::min(Recent, n); ++i)
            recent = std::max(recent, m_ring[(m_count - i) % Window]);
    }
    const std::size_t index = (n * 99) / 100;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(index),
                     sorted.begin() + std::ptrdiff_t(n));
    return std::max({2 * sorted[index], recent, FloorNs});
}

std::size_t WakeLateness::samples() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

} // namespace comm
