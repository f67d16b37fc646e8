#pragma once

#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

// Every status read of any fake port, numbered; lets a test tell whether the watcher's
// instant was taken after a given read.
inline std::atomic<std::int64_t> g_fakeReads{0};

// The wiring behind one fake port: the test sets the modem-status word, and every port
// opened on these lines reads it.
class FakeModemLines
{
public:
    enum Kind {
        Waits,  // the driver has a change wait
        Polled, // it has none: the watcher must poll
        Mute,   // opens, but cannot report its lines
    };

    explicit FakeModemLines(Kind kind = Waits) : m_kind(kind) {}

    void set(std::uint32_t word)
    {
        m_firstRead.store(0);
        m_word.store(word);
        std::lock_guard lock(m_mutex);
        for (int fd : m_waits)
            eventfd_write(fd, 1);
    }

    Kind kind() const { return m_kind; }
    std::uint32_t word() const { return m_word.load(); }
    int openPorts() const { return m_open.load(); }
    int timesOpened() const { return m_opened.load(); }
    std::int64_t waitsStarted() const { return m_waitsStarted.load(); }
    // The number (in g_fakeReads) of the first read that saw the word last set; 0 if none yet.
    std::int64_t firstRead() const { return m_firstRead.load(); }

private:
    friend class FakeSerialPort;

    const Kind m_kind;
    std::atomic<std::uint32_t> m_word{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_opened{0};
    std::atomic<std::int64_t> m_waitsStarted{0};
    std::atomic<std::int64_t> m_firstRead{0};
    std::mutex m_mutex;
    std::set<int> m_waits;
};

class FakeSerialPort final : public platform::SerialPort
{
public:
    explicit FakeSerialPort(std::shared_ptr<FakeModemLines> lines)
        : m_lines(std::move(lines)), m_event(eventfd(0, EFD_CLOEXEC))
    {
        ++m_lines->m_open;
        ++m_lines->m_opened;
        std::lock_guard lock(m_lines->m_mutex);
        m_lines->m_waits.insert(m_event);
    }

    ~FakeSerialPort() override
    {
        {
            std::lock_guard lock(m_lines->m_mutex);
            m_lines->m_waits.erase(m_event);
        }
        ::close(m_event);
        --m_lines->m_open;
    }

    bool modemStatus(std::uint32_t &word) override
    {
        if (m_lines->m_kind == FakeModemLines::Mute)
            return false;
        const std::uint32_t current = m_lines->m_word.load();
        const std::int64_t read = ++g_fakeReads;
        std::int64_t none = 0;
        m_lines->m_firstRead.compare_exchange_strong(none, read);
        word = current;
        return true;
    }

    Wait waitForChange() override
    {
        if (m_lines->m_kind != FakeModemLines::Waits)
            return Wait::Unsupported;
        ++m_lines->m_waitsStarted;
        // A set() since the last read has already counted the event up: no change is missed.
        // The raw call, as the watcher may jump out of it.
        eventfd_t value = 0;
        syscall(SYS_read, m_event, &value, sizeof value);
        return Wait::Changed;
    }

private:
    std::shared_ptr<FakeModemLines> m_lines;
    int m_event;
};

// Ports by number; numbers without lines fail to open.
class FakeSerialPorts final : public platform::SerialPorts
{
public:
    FakeSerialPorts() { platform::setSerialPorts(this); }
    ~FakeSerialPorts() override { platform::setSerialPorts(nullptr); }
    FakeSerialPorts(const FakeSerialPorts &) = delete;
    FakeSerialPorts &operator=(const FakeSerialPorts &) = delete;

    std::shared_ptr<FakeModemLines> add(std::uint8_t number,
                                        FakeModemLines::Kind kind = FakeModemLines::Waits)
    {
        auto lines = std::make_shared<FakeModemLines>(kind);
        m_lines[number] = lines;
        return lines;
    }

    std::unique_ptr<platform::SerialPort> open(std::uint8_t number) override
    {
        const auto it = m_lines.find(number);
        if (it == m_lines.end())
            return nullptr;
        return std::make_unique<FakeSerialPort>(it->second);
    }

private:
    std::map<std::uint8_t, std::shared_ptr<FakeModemLines>> m_lines;
};

// A 10 kHz counter the test moves by hand, safe to read from the watcher thread. It notes
// the last fake read that came before a reading of the clock off the test's thread.
class WatcherClock final : public platform::Clock
{
public:
    WatcherClock() { platform::setClock(this); }
    ~WatcherClock() override { platform::setClock(nullptr); }
    WatcherClock(const WatcherClock &) = delete;
    WatcherClock &operator=(const WatcherClock &) = delete;

    std::int64_t frequency() const override { return m_frequency.load(); }
    std::int64_t counter() const override
    {
        if (std::this_thread::get_id() != m_owner)
            m_stampedAfter.store(g_fakeReads.load());
        return m_counter.load();
    }

    void set(std::int64_t counter) { m_counter.store(counter); }
    void setFrequency(std::int64_t frequency) { m_frequency.store(frequency); }
    void advance(std::int64_t counts) { m_counter += counts; }
    // Whether the watcher has read the clock after the fake read numbered `read`.
    bool stampedAfter(std::int64_t read) const
    {
        return read != 0 && m_stampedAfter.load() >= read;
    }

private:
    const std::thread::id m_owner = std::this_thread::get_id();
    std::atomic<std::int64_t> m_counter{1'000'000};
    std::atomic<std::int64_t> m_frequency{10'000};
    mutable std::atomic<std::int64_t> m_stampedAfter{0};
};
