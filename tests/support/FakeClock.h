#pragma once

#include "platform/Clock.h"

// A counter at 10 kHz, so one count is one tick. Installs itself while it lives.
class FakeClock : public platform::Clock
{
public:
    FakeClock() { platform::setClock(this); }
    ~FakeClock() override { platform::setClock(nullptr); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    std::int64_t frequency() const override { return m_frequency; }
    std::int64_t counter() const override { return m_counter; }

    void set(std::int64_t counter) { m_counter = counter; }
    void advance(std::int64_t counts) { m_counter += counts; }
    void setFrequency(std::int64_t frequency) { m_frequency = frequency; }

private:
    std::int64_t m_counter = 1'000'000;
    std::int64_t m_frequency = 10'000;
};
