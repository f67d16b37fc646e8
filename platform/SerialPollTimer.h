#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// Paces the status reads of a port whose driver cannot wait for a line change: one read
// every 100 microseconds (one tick), on fixed deadlines so that the period never drifts,
// sleeping in between.
class SerialPollTimer
{
public:
    static constexpr std::int64_t PeriodNs = 100'000;

    // On the polling thread: the next deadline is one period from now.
    void start();
    // Sleeps until the next deadline. A thread that fell behind starts afresh from now.
    void waitNext();

private:
    timespec m_next{};
};

} // namespace platform
