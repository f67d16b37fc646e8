#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/Files.h"

namespace comm {

// How late the watcher's threads wake from their own timers (the lookout's looks, the
// poll deadlines, the wait's safety bound), over the latest samples. A wake by the driver
// goes through the same scheduler as a timer's, so this bounds the delay from a line
// change to the read that sees it, which no stamp of the driver's tells us. The bound
// follows the load as it comes and goes.
class WakeLateness
{
public:
    // The samples kept; the bound reads a high quantile of them.
    static constexpr std::size_t Window = 256;
    // Before this many samples the bound is the prior, which must hold on a loaded machine.
    static constexpr std::size_t MinSamples = 16;
    static constexpr std::int64_t PriorNs = 2'000'000;
    // Never below: the read itself and the clock's grain.
    static constexpr std::int64_t FloorNs = 20'000;

    // From any thread: one wake, `ns` after its deadline (a negative value counts as 0).
    void note(std::int64_t ns);

    // The bound on wake lateness: the 99th percentile of the window and half as much again,
    // and at least the largest of its latest samples, so that a load that just began
    // counts at once.
    std::int64_t boundNs() const;

    std::size_t samples() const;

private:
    mutable std::mutex m_mutex;
    std::array<std::int64_t, Window> m_ring{};
    std::size_t m_count = 0; // samples noted so far (the ring holds the last Window)
};

// How long the calling thread has waited, runnable, for a core: the part of a wake's
// delay that the scheduler itself counts (its schedstat), measured for every wake.
class RunQueueWait
{
public:
    // Opens the count of the calling thread, which alone may read it.
    RunQueueWait();
    // Nanoseconds so far; -1 where the kernel keeps no such count.
    std::int64_t ns() const;

private:
    platform::FileDescriptor m_fd;
};

} // namespace comm
