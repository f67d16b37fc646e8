#pragma once

#include "platform/SerialPort.h"
#include "platform/SerialWake.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;

// The performance counter and its frequency, read right after the status read that saw
// a change.
struct TMyCommInstant
{
    std::int64_t counter = 0;
    std::int64_t frequency = 0;
};

// One change of the modem-status word as the watcher saw it.
struct TMyCommReport
{
    std::uint32_t word = 0;
    // The port it was read from; it stays open until the report has been handled.
    const platform::SerialPort *port = nullptr;
    TMyCommInstant at;
};

// Watches the modem-status word of one port on its own thread and hands every change of
// the whole word to the user-interface thread, waiting until it has been handled. With no
// port it sleeps; with a port it blocks in the driver's change wait, or polls every tick
// where the driver has none.
//
// The thread owns a reference to the watcher and lets go of it when its loop ends, on
// Terminate() or when the change target throws; the object itself may outlive the thread.
class TMyCommWatcher : public std::enable_shared_from_this<TMyCommWatcher>
{
public:
    using ChangeTarget = std::function<void(const TMyCommReport &report)>;

    // Call on the user-interface thread; the change target is called there.
    static std::shared_ptr<TMyCommWatcher> start(ChangeTarget target);
    ~TMyCommWatcher();
    TMyCommWatcher(const TMyCommWatcher &) = delete;
    TMyCommWatcher &operator=(const TMyCommWatcher &) = delete;

    // The port to read from now on (nullptr: none). The previous one is read no more and
    // is closed once nobody holds it; a wait on it ends at once.
    void setPort(std::shared_ptr<platform::SerialPort> port);

    // Asks the loop to end and does not wait for it.
    void Terminate();
    // On the user-interface thread: from now on no report reaches the change target.
    void clearChangeTarget() { m_changeTarget = nullptr; }

    bool ended() const { return m_ended.load(); }
    // The watcher thread's kernel id while it runs, 0 otherwise.
    pid_t threadId() const { return m_wake.threadId(); }

private:
    explicit TMyCommWatcher(ChangeTarget target);

    void RunLoop();
    void report(const TMyCommReport &change);
    void NotifyChange(const TMyCommReport &change);

    std::atomic<std::shared_ptr<platform::SerialPort>> m_port;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_ended{false};
    platform::SerialWake m_wake;
    // Lives on the user-interface thread; reports run in its thread. The watcher thread
    // hands it back for deletion as its last act.
    QObject *m_relay = nullptr;
    // Touched on the user-interface thread only.
    ChangeTarget m_changeTarget;
};
