#include "comm/WakeLateness.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace comm {

namespace {

// The latest samples that count in full, whatever the quantile says.
constexpr std::size_t Recent = 8;

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
    // Half more than the quantile: a driver's wake often comes from another core, which
    // takes longer than a timer's on the sleeper's own core, and goes a step further (the
    // read).
    return std::max({sorted[index] + sorted[index] / 2, recent, FloorNs});
}

std::size_t WakeLateness::samples() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

RunQueueWait::RunQueueWait() : m_fd(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC))
{
}

std::int64_t RunQueueWait::ns() const
{
    if (!m_fd.valid())
        return -1;
    // "<time on a core> <time waiting for one> <slices>", in nanoseconds.
    char text[96];
    const ssize_t n = ::pread(m_fd.get(), text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = 0;
    char *end = nullptr;
    std::strtoll(text, &end, 10);
    if (end == text)
        return -1;
    const char *second = end;
    const long long waited = std::strtoll(second, &end, 10);
    return end == second ? -1 : std::int64_t(waited);
}

} // namespace comm
