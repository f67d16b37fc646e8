#pragma once

#include "comm/SerialPort.h"
#include "platform/Clock.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

// Every status read of any fake port, numbered; lets a test tell whether the watcher's
// instant was taken after a given read.
inline std::atomic<std::int64_t> g_fakeReads{0};

// The wiring behind one fake port and the driver's state, as the kernel keeps it: the
// line word, a counter per line that every transition moves on, and whether the device
// is still there. Every port opened on these lines reads them.
class FakeModemLines
{
public:
    enum Kind {
        Waits,           // the driver has a change wait and line counters (16550, ftdi)
        WaitsNoCounters, // a change wait, but no counters (pl2303)
        Polled,          // no change wait, cheap reads: the watcher must poll
        SlowPolled,      // no change wait, every read a USB transfer (cp210x)
        Mute,            // opens, but cannot report its lines
    };
    static constexpr std::int64_t SlowReadNs = 300'000;

    explicit FakeModemLines(Kind kind = Waits) : m_kind(kind), m_event(eventfd(0, EFD_CLOEXEC)) {}
    ~FakeModemLines() { ::close(m_event); }
    FakeModemLines(const FakeModemLines &) = delete;
    FakeModemLines &operator=(const FakeModemLines &) = delete;

    // Lock-free, as a wake may abandon the watcher's thread anywhere inside a wait, also
    // inside a hook that calls this.
    void set(std::uint32_t word)
    {
        m_firstRead.store(0);
        const std::uint32_t changed = word ^ m_word.exchange(word);
        std::uint64_t step = 0;
        if (changed & comm::MS_CTS_ON)
            step += std::uint64_t(1) << 0;
        if (changed & comm::MS_DSR_ON)
            step += std::uint64_t(1) << 16;
        if (changed & comm::MS_RING_ON)
            step += std::uint64_t(1) << 32;
        if (changed & comm::MS_RLSD_ON)
            step += std::uint64_t(1) << 48;
        m_counts.fetch_add(step);
        m_changedNs.store(monotonicNs());
        eventfd_write(m_event, 1);
    }

    // Wired as a loopback plug: DTR feeds DSR, RTS feeds CTS. RTS's path holds a change
    // back `ctsDelayNs` (the switching call returns only after it).
    void setLoopback(bool on, std::int64_t ctsDelayNs = 0)
    {
        m_ctsDelayNs.store(ctsDelayNs);
        m_loopback.store(on);
    }

    // The outputs `bits` (TIOCM_DTR, TIOCM_RTS) switched on or off by a port.
    void drive(int bits, bool on)
    {
        const int before = on ? m_outputs.fetch_or(bits) : m_outputs.fetch_and(~bits);
        const int moved = (on ? ~before : before) & bits;
        if (!m_loopback.load())
            return;
        if (moved & TIOCM_DTR)
            set(on ? word() | comm::MS_DSR_ON : word() & ~comm::MS_DSR_ON);
        if (moved & TIOCM_RTS) {
            if (const std::int64_t delay = m_ctsDelayNs.load(); delay > 0) {
                const std::int64_t start = monotonicNs();
                const timespec held{time_t(delay / 1'000'000'000), long(delay % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, 0, &held, nullptr);
                // A loaded machine sleeps longer than asked: what was held counts.
                std::lock_guard lock(m_mutex);
                m_ctsHolds.push_back(monotonicNs() - start);
            }
            set(on ? word() | comm::MS_CTS_ON : word() & ~comm::MS_CTS_ON);
        }
    }

    // How long each change of CTS was actually held back, in nanoseconds.
    std::vector<std::int64_t> ctsHolds()
    {
        std::lock_guard lock(m_mutex);
        return m_ctsHolds;
    }

    // CLOCK_MONOTONIC nanoseconds when the last set() became visible to readers.
    std::int64_t changedNs() const { return m_changedNs.load(); }
    static std::int64_t monotonicNs()
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }

    // The adapter is pulled: every request fails with EIO from now on, waits included.
    void unplug()
    {
        m_gone.store(true);
        eventfd_write(m_event, 1);
    }

    // Plugged in again: ports opened from now on work.
    void replug() { m_gone.store(false); }

    // Runs `hook` once, inside the next change wait, before the driver takes its snapshot
    // of the counters: what it changes falls in the window between the caller's last look
    // and the wait.
    // Call it only while no hook is pending.
    void beforeNextWait(std::function<void()> hook)
    {
        m_beforeWait = std::move(hook);
        m_hookArmed.store(true);
    }

    // Runs `hook` once, inside the next status read of the lines, before the word is
    // taken: what it changes happens during that read. Call it only while no hook is pending.
    void beforeNextRead(std::function<void()> hook)
    {
        m_beforeRead = std::move(hook);
        m_readHookArmed.store(true);
    }

    void setFacts(comm::SerialPortFacts facts)
    {
        std::lock_guard lock(m_mutex);
        m_facts = std::move(facts);
    }
    comm::SerialPortFacts facts()
    {
        std::lock_guard lock(m_mutex);
        return m_facts;
    }

    Kind kind() const { return m_kind; }
    bool gone() const { return m_gone.load(); }
    std::uint32_t word() const { return m_word.load(); }
    int openPorts() const { return m_open.load(); }
    int timesOpened() const { return m_opened.load(); }
    std::int64_t waitsStarted() const { return m_waitsStarted.load(); }
    // Whether a change wait began after the first read of the word last set: the watcher
    // then waits on that word (or has moved on from it).
    bool waitingSinceLastSet() const
    {
        const std::int64_t first = m_firstRead.load();
        return first != 0 && m_waitEntryRead.load() >= first;
    }
    std::int64_t reads() const { return m_reads.load(); }
    // The number (in g_fakeReads) of the first read that saw the word last set; 0 if none yet.
    std::int64_t firstRead() const { return m_firstRead.load(); }

private:
    friend class FakeSerialDriver;

    // Four 16-bit counters in one word, so that a snapshot needs no lock.
    comm::LineCounters counts() const
    {
        const std::uint64_t c = m_counts.load();
        return {int(c & 0xFFFF), int((c >> 16) & 0xFFFF), int((c >> 32) & 0xFFFF),
                int((c >> 48) & 0xFFFF)};
    }

    const Kind m_kind;
    std::atomic<std::uint32_t> m_word{0};
    std::atomic<bool> m_gone{false};
    std::atomic<std::int64_t> m_changedNs{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_opened{0};
    std::atomic<std::int64_t> m_waitsStarted{0};
    std::atomic<std::int64_t> m_waitEntryRead{0};
    std::atomic<std::int64_t> m_reads{0};
    std::atomic<std::int64_t> m_firstRead{0};
    std::atomic<std::uint64_t> m_counts{0};
    std::atomic<int> m_outputs{0};
    std::atomic<bool> m_loopback{false};
    std::atomic<std::int64_t> m_ctsDelayNs{0};
    // Every change and the unplugging count it up; waits read it.
    const int m_event;
    std::function<void()> m_beforeWait;
    std::atomic<bool> m_hookArmed{false};
    std::function<void()> m_beforeRead;
    std::atomic<bool> m_readHookArmed{false};
    std::mutex m_mutex;
    comm::SerialPortFacts m_facts;
    std::vector<std::int64_t> m_ctsHolds;
};

// Answers the modem requests as the kernel's serial drivers do.
class FakeSerialDriver final : public comm::SerialDriver
{
public:
    explicit FakeSerialDriver(std::shared_ptr<FakeModemLines> lines) : m_lines(std::move(lines))
    {
        ++m_lines->m_open;
        ++m_lines->m_opened;
    }

    ~FakeSerialDriver() override { --m_lines->m_open; }
    FakeSerialDriver(const FakeSerialDriver &) = delete;
    FakeSerialDriver &operator=(const FakeSerialDriver &) = delete;

    int getModemBits(int &bits) override
    {
        if (m_lines->gone())
            return -EIO;
        if (m_lines->m_kind == FakeModemLines::Mute)
            return -ENOTTY;
        if (m_lines->m_kind == FakeModemLines::SlowPolled) {
            const timespec slow{0, FakeModemLines::SlowReadNs};
            clock_nanosleep(CLOCK_MONOTONIC, 0, &slow, nullptr);
        }
        if (m_lines->m_readHookArmed.exchange(false))
            m_lines->m_beforeRead();
        const std::uint32_t word = m_lines->m_word.load();
        const std::int64_t read = ++g_fakeReads;
        ++m_lines->m_reads;
        std::int64_t none = 0;
        m_lines->m_firstRead.compare_exchange_strong(none, read);
        bits = TIOCM_DTR | TIOCM_RTS | (word & comm::MS_CTS_ON ? TIOCM_CTS : 0) |
               (word & comm::MS_DSR_ON ? TIOCM_DSR : 0) |
               (word & comm::MS_RING_ON ? TIOCM_RNG : 0) | (word & comm::MS_RLSD_ON ? TIOCM_CD : 0);
        return 0;
    }

    int getCounters(comm::LineCounters &counts) override
    {
        if (m_lines->gone())
            return -EIO;
        if (m_lines->m_kind != FakeModemLines::Waits)
            return -EINVAL;
        counts = m_lines->counts();
        return 0;
    }

    int waitModemChange(int) override
    {
        if (m_lines->gone())
            return -EIO;
        if (m_lines->m_kind != FakeModemLines::Waits &&
            m_lines->m_kind != FakeModemLines::WaitsNoCounters)
            return -ENOTTY;
        ++m_lines->m_waitsStarted;
        m_lines->m_waitEntryRead.store(g_fakeReads.load());
        if (m_lines->m_hookArmed.exchange(false))
            m_lines->m_beforeWait();
        // The kernel's snapshot on entry: a change before it does not end the wait.
        const comm::LineCounters entry = m_lines->counts();
        for (;;) {
            if (m_lines->gone())
                return -EIO;
            if (m_lines->counts() != entry)
                return 0;
            // The raw call: a signal interrupts it as it interrupts the kernel's wait,
            // and the watcher may jump out of it.
            eventfd_t value = 0;
            if (syscall(SYS_read, m_lines->m_event, &value, sizeof value) < 0 && errno == EINTR)
                return -EINTR;
        }
    }

    int setModemBits(int bits) override
    {
        if (m_lines->gone())
            return -EIO;
        m_lines->drive(bits, true);
        return 0;
    }
    int clearModemBits(int bits) override
    {
        if (m_lines->gone())
            return -EIO;
        m_lines->drive(bits, false);
        return 0;
    }

private:
    std::shared_ptr<FakeModemLines> m_lines;
};

// Ports by number; numbers without lines fail to open.
class FakeSerialPorts final : public comm::SerialPorts
{
public:
    FakeSerialPorts() { comm::setSerialPorts(this); }
    ~FakeSerialPorts() override { comm::setSerialPorts(nullptr); }
    FakeSerialPorts(const FakeSerialPorts &) = delete;
    FakeSerialPorts &operator=(const FakeSerialPorts &) = delete;

    std::shared_ptr<FakeModemLines> add(std::uint8_t number,
                                        FakeModemLines::Kind kind = FakeModemLines::Waits)
    {
        auto lines = std::make_shared<FakeModemLines>(kind);
        m_lines[number] = lines;
        return lines;
    }

    std::unique_ptr<comm::SerialPort> open(std::uint8_t number,
                                           comm::SerialOpenError &error) override
    {
        error = {};
        const auto it = m_lines.find(number);
        if (it == m_lines.end() || it->second->gone()) {
            error.kind = comm::SerialOpenError::NoDevice;
            return nullptr;
        }
        return comm::openOnDriver(std::make_unique<FakeSerialDriver>(it->second),
                                  it->second->facts(), error);
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
        // Taken before the read is noted: once a test sees the note, moving the clock
        // cannot change this stamp.
        const std::int64_t counter = m_counter.load();
        if (std::this_thread::get_id() != m_owner)
            m_stampedAfter.store(g_fakeReads.load());
        return counter;
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
