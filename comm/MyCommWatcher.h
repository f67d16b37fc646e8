#pragma once

#include "comm/SerialPort.h"
#include "comm/SerialWake.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// The port the watcher reads, handed over between threads. The standard library's
// atomic shared pointer is a spin lock that ThreadSanitizer cannot see through; a
// mutex held only for the copy costs the same and can be checked.
class TMyCommPortSlot
{
public:
    std::shared_ptr<platform::SerialPort> load() const
    {
        std::lock_guard lock(m_mutex);
        return m_port;
    }
    void store(std::shared_ptr<platform::SerialPort> port)
    {
        std::lock_guard lock(m_mutex);
        m_port.swap(port);
        // The previous port closes outside the lock, when `port` goes.
    }
    // Empties the slot if it still holds `port`.
    void clearIf(const std::shared_ptr<platform::SerialPort> &port)
    {
        std::shared_ptr<platform::SerialPort> old;
        std::lock_guard lock(m_mutex);
        if (m_port == port)
            old.swap(m_port);
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<platform::SerialPort> m_port;
};

// The performance counter and its frequency, read right after the status read that saw
// a change.
struct TMyCommInstant
{
    std::int64_t counter = 0;
    std::int64_t frequency = 0;
    // The change lies at most this far before (or, for a read stamped in its middle,
    // around) the instant.
    std::int64_t uncertaintyNs = 0;
    // The change was not caught as it happened but found later (by the bounded re-check
    // of a change wait, or right after a report): it may lie well before the instant.
    bool late = false;
};

// One change of the modem-status word as the watcher saw it.
struct TMyCommReport
{
    std::uint32_t word = 0;
    // The port it was read from; it stays open until the report has been handled.
    const platform::SerialPort *port = nullptr;
    TMyCommInstant at;
    // The port has gone (adapter removed, line hung up); the watcher has let go of it.
    bool gone = false;
};

// How the watcher follows a port's lines.
enum class TMyCommTier {
    None,       // no port
    ChangeWait, // blocks in the driver's change wait, bounded by a re-check
    Polled,     // cheap reads: 1 kHz while idle, 10 kHz while a run is armed
    BackToBack, // slow reads (a USB transfer each): one after the other
};

// The tier for a port, from whether its driver waits for changes and what a read costs.
TMyCommTier tierFor(bool changeWait, std::int64_t readCostNs);

// Watches the modem-status word of one port on its own thread and hands every change of
// the whole word to the user-interface thread, waiting until it has been handled. With no
// port it sleeps; with a port it blocks in the driver's change wait, or polls in tiers
// where the driver has none.
//
// The thread owns a reference to the watcher and lets go of it when its loop ends, on
// Terminate() or when the change target throws; the object itself may outlive the thread.
class TMyCommWatcher : public std::enable_shared_from_this<TMyCommWatcher>
{
public:
    using ChangeTarget = std::function<void(const TMyCommReport &report)>;

    // A change wait is re-checked this often: the longest a change that slipped in
    // before the wait can stay unseen.
    static constexpr std::int64_t WaitBoundNs = 25'000'000;
    // A run stays armed this long without any line change.
    static constexpr std::int64_t ArmedNs = 60'000'000'000;
    // Reads slower than this are not paced but done back to back.
    static constexpr std::int64_t SlowReadNs = 50'000;

    // Call on the user-interface thread; the change target is called there.
    static std::shared_ptr<TMyCommWatcher> start(ChangeTarget target);
    ~TMyCommWatcher();
    TMyCommWatcher(const TMyCommWatcher &) = delete;
    TMyCommWatcher &operator=(const TMyCommWatcher &) = delete;

    // The port to read from now on (nullptr: none). The previous one is read no more and
    // is closed once nobody holds it; a wait on it ends at once.
    void setPort(std::shared_ptr<platform::SerialPort> port);

    // A run is armed (polled ports are then read at the fine rate) until disarmed or
    // until no line has changed for ArmedNs.
    void arm(bool on);
    bool armed() const;

    // Asks the loop to end and does not wait for it.
    void Terminate();
    // On the user-interface thread: from now on no report reaches the change target.
    void clearChangeTarget() { m_changeTarget = nullptr; }

    bool ended() const { return m_ended.load(); }
    // The watcher thread's kernel id while it runs, 0 otherwise.
    pid_t threadId() const { return m_wake.threadId(); }
    TMyCommTier tier() const { return m_tier.load(); }
    // Whether the thread runs with real-time scheduling (granted at start or later).
    bool realTime() const;

    // Whether watchers started from now on ask for real-time scheduling (default yes).
    // Whether the thread asked for real-time scheduling itself and was refused: another
    // way (RealtimeKit) may then help.
    bool realTimeRefused() const { return m_realTimeRefused.load(); }
    static void setRealTimeWanted(bool wanted);
    static bool realTimeWanted();

private:
    explicit TMyCommWatcher(ChangeTarget target);

    void RunLoop();
    void report(const TMyCommReport &change);
    void NotifyChange(const TMyCommReport &change);
    friend class TMyCommRelay;
    // On the user-interface thread: handles the report the watcher thread waits on.
    void deliver();

    // The report in hand and its outcome, passed under a mutex that every checker
    // understands (the toolkit's own queue locks are invisible to ThreadSanitizer).
    struct Mailbox
    {
        std::mutex mutex;
        std::condition_variable handled;
        const TMyCommReport *change = nullptr;
        bool done = false;
        std::exception_ptr error;
    };
    Mailbox m_mailbox;

    TMyCommPortSlot m_port;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_ended{false};
    std::atomic<std::int64_t> m_armedUntil{0};
    std::atomic<TMyCommTier> m_tier{TMyCommTier::None};
    std::atomic<bool> m_realTimeRefused{false};
    platform::SerialWake m_wake;
    // Lives on the user-interface thread; reports run in its thread. The watcher thread
    // hands it back for deletion as its last act.
    QObject *m_relay = nullptr;
    // Touched on the user-interface thread only.
    ChangeTarget m_changeTarget;
};
