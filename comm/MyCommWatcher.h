#pragma once

#include "comm/SerialPort.h"
#include "comm/SerialWake.h"
#include "comm/WakeLateness.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QObject;

namespace comm {

// The port the watcher reads, handed over between threads. The standard library's
// atomic shared pointer is a spin lock that ThreadSanitizer cannot see through; a
// mutex held only for the copy costs the same and can be checked.
class TMyCommPortSlot
{
public:
    // Hands `port` over; returns the number of this hand-over, which the reports read from
    // it carry.
    std::uint64_t store(std::shared_ptr<comm::SerialPort> port)
    {
        std::lock_guard lock(m_mutex);
        m_port.swap(port);
        return ++m_handed;
        // The previous port closes outside the lock, when `port` goes.
    }
    // On the watcher thread: the port handed over since hand-over `taken`, if any.
    bool take(std::uint64_t &taken, std::shared_ptr<comm::SerialPort> &port)
    {
        std::lock_guard lock(m_mutex);
        if (m_handed == taken)
            return false;
        taken = m_handed;
        port = m_port;
        return true;
    }
    // Empties the slot if it still holds `port`.
    void clearIf(const std::shared_ptr<comm::SerialPort> &port)
    {
        std::shared_ptr<comm::SerialPort> old;
        std::lock_guard lock(m_mutex);
        if (m_port == port)
            old.swap(m_port);
    }
    // On the watcher thread: it holds no port handed over before `taken` any more.
    void released(std::uint64_t taken)
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = taken;
        }
        m_releasedChanged.notify_all();
    }
    // Until the watcher holds no port handed over before `handed`, at most `ns`.
    void waitReleased(std::uint64_t handed, std::int64_t ns)
    {
        std::unique_lock lock(m_mutex);
        m_releasedChanged.wait_for(lock, std::chrono::nanoseconds(ns),
                                   [&] { return m_released >= handed; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_releasedChanged;
    std::shared_ptr<comm::SerialPort> m_port;
    std::uint64_t m_handed = 0;
    std::uint64_t m_released = 0;
};

// The performance counter and its frequency, read right after the status read that saw
// a change.
struct TMyCommInstant
{
    std::int64_t counter = 0;
    std::int64_t frequency = 0;
    // The change lies at most this far from the instant (before it, unless the instant is
    // the middle of a slow read): what the way it was read lets the watcher state.
    std::int64_t uncertaintyNs = 0;
    // The change was not caught as it happened but found later (a change wait slept
    // through it until a second look or the safety bound): it may lie well before the
    // instant, by up to uncertaintyNs.
    bool late = false;
    // The first read of a port just handed over: what it found was there when the port
    // opened, not a change since.
    bool firstRead = false;
};

// One change of the modem-status word as the watcher saw it.
struct TMyCommReport
{
    std::uint32_t word = 0;
    // The hand-over (TMyCommWatcher::setPort) of the port it was read from.
    std::uint64_t port = 0;
    TMyCommInstant at;
    // The port has gone (adapter removed, line hung up); the watcher has let go of it.
    bool gone = false;
    // The watcher met an error while following the port (`error` says which, as the
    // system put it) and has let go of it; it waits for the next port.
    bool failed = false;
    std::string error;
};

// How the watcher follows a port's lines.
enum class TMyCommTier {
    None,       // no port
    ChangeWait, // blocks in the driver's change wait, with a second look and a safety bound
    Polled,     // cheap reads: 1 kHz while idle, 10 kHz while a run is armed
    BackToBack, // slow reads (a USB transfer each): one after the other
};

// The tier for a port, from whether its driver waits for changes and what a read costs.
TMyCommTier tierFor(bool changeWait, std::int64_t readCostNs);

// Watches the modem-status word of one port on its own thread and hands every change of
// the whole word, with the instant of the read that saw it, to the user-interface thread.
// It never waits for that thread: changes queue, and the thread receives them in order,
// one at a time. With no port it sleeps; with a port it blocks in the driver's change wait
// (a lookout ends a wait that missed a change), or polls in tiers where the driver has none.
//
// The thread owns a reference to the watcher and lets go of it when its loop ends, on
// Terminate() or when the change target throws; the object itself may outlive the thread.
class TMyCommWatcher : public std::enable_shared_from_this<TMyCommWatcher>
{
public:
    using ChangeTarget = std::function<void(const TMyCommReport &report)>;

    // A change wait ends after this long at the latest, should the lookout ever miss a
    // change that slipped in before the wait.
    static constexpr std::int64_t WaitBoundNs = 1'000'000'000;
    // Reports waiting for the user-interface thread; beyond this the newest replaces the
    // last, so that the lines the window ends with are still right.
    static constexpr std::size_t MaxQueued = 4096;
    // The longest a port change waits for the watcher to let go of the old port.
    static constexpr std::int64_t HandOverNs = 2'000'000'000;
    // A run stays armed this long without any line change.
    static constexpr std::int64_t ArmedNs = 60'000'000'000;
    // Reads slower than this are not paced but done back to back.
    static constexpr std::int64_t SlowReadNs = 50'000;

    // Call on the user-interface thread; the change target is called there.
    static std::shared_ptr<TMyCommWatcher> start(ChangeTarget target);
    ~TMyCommWatcher();
    TMyCommWatcher(const TMyCommWatcher &) = delete;
    TMyCommWatcher &operator=(const TMyCommWatcher &) = delete;

    // The port to read from now on (nullptr: none); returns the number of the hand-over,
    // which the reports read from it carry. Returns once the watcher has let go of the
    // previous port (ending a wait on it at once), so that it closes with its last holder.
    std::uint64_t setPort(std::shared_ptr<comm::SerialPort> port);

    // A run is armed (polled ports are then read at the fine rate) until disarmed or
    // until no line has changed for ArmedNs.
    void arm(bool on);
    bool armed() const;

    // From any thread: the latest instant up to which every change of the lines whose
    // instant would come before it has been handed to the change target. None while a
    // report waits for the user-interface thread, without a port, before the port's first
    // read, or once the target failed. Polled: the instant of the last read. In a change
    // wait whose entry the lookout confirmed: now, less the bound on the watcher's wake
    // delay, since a change before that would have woken it.
    std::optional<TMyCommInstant> quietUntil() const;
    // How late the watcher's threads have lately woken: the margin of its instants.
    std::int64_t wakeBoundNs() const { return m_lateness.boundNs(); }

    // Asks the loop to end and does not wait for it.
    void Terminate();
    // On the user-interface thread: from now on no report reaches the change target.
    void clearChangeTarget() { m_changeTarget = nullptr; }

    bool ended() const { return m_ended.load(); }
    // Whether a report is queued or on its way to the user-interface thread.
    bool delivering() const
    {
        std::lock_guard lock(m_mailbox.mutex);
        return m_mailbox.posted || !m_mailbox.queue.empty();
    }
    // The watcher thread's kernel id while it runs, 0 otherwise.
    pid_t threadId() const { return m_wake.threadId(); }
    // The lookout's kernel id while it runs (it starts with the first change wait), 0 otherwise.
    pid_t lookoutThreadId() const { return m_lookoutTid.load(); }
    // Whether the lookout is done with the change wait the watcher is in: from then on only
    // the kernel's wake (or the safety bound) ends it.
    bool lookoutResting() const { return m_lookoutResting.load(); }
    TMyCommTier tier() const { return m_tier.load(); }
    // Whether the thread runs with real-time scheduling (granted at start or later).
    bool realTime() const;

    // Whether watchers started from now on ask for real-time scheduling (default yes).
    // Whether the thread asked for real-time scheduling itself and was refused: another
    // way (RealtimeKit) may then help.
    bool realTimeRefused() const { return m_realTimeRefused.load(); }
    static void setRealTimeWanted(bool wanted);
    static bool realTimeWanted();
    // The safety bound of change waits begun from now on (0: WaitBoundNs). A longer one
    // shows that nothing depends on it.
    static void setWaitBound(std::int64_t ns);

private:
    explicit TMyCommWatcher(ChangeTarget target);

    void RunLoop();
    // Where the driver's wake may have come late, the change lies this far before the read.
    std::int64_t wakeMarginNs() const;
    void report(const TMyCommReport &change);
    void NotifyChange(const TMyCommReport &change);
    friend class TMyCommRelay;
    // On the user-interface thread: hands the oldest queued report to the change target.
    void deliver();

    // Reports on their way, under a mutex that every checker understands (the toolkit's
    // own queue locks are invisible to ThreadSanitizer).
    struct Mailbox
    {
        mutable std::mutex mutex;
        std::deque<TMyCommReport> queue;
        bool posted = false; // a delivery is on its way to the user-interface thread
        bool failed = false; // the change target threw: nothing more is delivered
    };
    mutable Mailbox m_mailbox;

    TMyCommPortSlot m_port;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_ended{false};
    std::atomic<std::int64_t> m_armedUntil{0};
    std::atomic<TMyCommTier> m_tier{TMyCommTier::None};
    std::atomic<bool> m_realTimeRefused{false};
    std::atomic<pid_t> m_lookoutTid{0};
    std::atomic<bool> m_lookoutResting{false};
    // Set by the lookout once every look of the current wait found the lines still.
    std::atomic<bool> m_waitConfirmed{false};
    // Odd while the watcher sits in a change wait, counted up on entry and on exit.
    std::atomic<std::uint64_t> m_waitSeq{0};
    // The counter of the last read that found the lines as reported; NoInstant if none.
    static constexpr std::int64_t NoInstant = INT64_MIN;
    std::atomic<std::int64_t> m_quietCounter{NoInstant};
    comm::WakeLateness m_lateness;
    comm::SerialWake m_wake;
    // Lives on the user-interface thread; reports run in its thread. The watcher thread
    // hands it back for deletion as its last act. It holds the watcher weakly: a delivery
    // may still be on its way when the watcher has gone.
    QObject *m_relay = nullptr;
    // Touched on the user-interface thread only.
    ChangeTarget m_changeTarget;
};

} // namespace comm
