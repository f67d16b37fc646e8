#include "comm/MyCommWatcher.h"

#include "comm/SerialPollTimer.h"
#include "platform/Clock.h"

#include <QObject>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <exception>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <utility>

using platform::SerialPollTimer;
using platform::SerialPort;

namespace {

std::atomic<bool> g_realTimeWanted{true};

// The counter at the moment of the call, or at the middle between `before` and now.
TMyCommInstant now(std::int64_t before = -1)
{
    const platform::Clock &clock = platform::clock();
    TMyCommInstant at;
    at.counter = clock.counter();
    if (before >= 0)
        at.counter = before + (at.counter - before) / 2;
    at.frequency = clock.frequency();
    return at;
}

// The kernel's scheduling attributes (sched_setattr has no C library wrapper).
struct SchedAttr
{
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime;
    std::uint64_t deadline;
    std::uint64_t period;
};

// Real-time scheduling where the user may have it (a real-time priority limit, or the
// rights of the administrator); otherwise normal priority with short time slices, so
// that the scheduler lets the thread run soon after its wake. Kernels before 6.12
// ignore the slice.
bool askForRealTime()
{
    if (g_realTimeWanted.load()) {
        rlimit limit{};
        getrlimit(RLIMIT_RTPRIO, &limit);
        // Above the desktop's audio threads' usual 1..5, well below the kernel's own.
        const int wanted = 10;
        const int priority =
            limit.rlim_cur == RLIM_INFINITY ? wanted : std::clamp(int(limit.rlim_cur), 1, wanted);
        sched_param param{};
        param.sched_priority = priority;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
            return true;
    }
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.runtime = 100'000;
    syscall(SYS_sched_setattr, 0, &attr, 0);
    return false;
}

} // namespace

// Runs the watcher's reports on the user-interface thread. Called by name, so that no
// data of ours travels inside the toolkit's queued call.
class TMyCommRelay : public QObject
{
    Q_OBJECT

public:
    explicit TMyCommRelay(TMyCommWatcher *watcher) : m_watcher(watcher) {}
    Q_INVOKABLE void deliver() { m_watcher->deliver(); }

private:
    TMyCommWatcher *m_watcher;
};

TMyCommTier tierFor(bool changeWait, std::int64_t readCostNs)
{
    if (changeWait)
        return TMyCommTier::ChangeWait;
    return readCostNs > TMyCommWatcher::SlowReadNs ? TMyCommTier::BackToBack : TMyCommTier::Polled;
}

bool TMyCommWatcher::realTimeWanted()
{
    return g_realTimeWanted.load();
}

void TMyCommWatcher::setRealTimeWanted(bool wanted)
{
    g_realTimeWanted.store(wanted);
}

std::shared_ptr<TMyCommWatcher> TMyCommWatcher::start(ChangeTarget target)
{
    std::shared_ptr<TMyCommWatcher> watcher(new TMyCommWatcher(std::move(target)));
    // The thread starts with every signal blocked, so no wake reaches it before it is ready.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        std::thread([self = watcher] { self->RunLoop(); }).detach();
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return watcher;
}

TMyCommWatcher::TMyCommWatcher(ChangeTarget target)
    : m_relay(new TMyCommRelay(this)), m_changeTarget(std::move(target))
{
}

TMyCommWatcher::~TMyCommWatcher()
{
    // Only reached once the thread has ended and handed the relay back, or if it never ran.
    if (!m_ended.load())
        delete m_relay;
}

void TMyCommWatcher::setPort(std::shared_ptr<platform::SerialPort> port)
{
    m_port.store(std::move(port));
    m_wake.wake();
}

void TMyCommWatcher::arm(bool on)
{
    m_armedUntil.store(on ? SerialPollTimer::nowNs() + ArmedNs : 0);
}

bool TMyCommWatcher::realTime() const
{
    const pid_t tid = threadId();
    if (tid == 0)
        return false;
    const int policy = sched_getscheduler(tid);
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

bool TMyCommWatcher::armed() const
{
    return SerialPollTimer::nowNs() < m_armedUntil.load();
}

void TMyCommWatcher::Terminate()
{
    m_terminated.store(true);
    m_wake.wake();
}

void TMyCommWatcher::RunLoop()
{
    m_wake.attach();
    // Sleeps end when asked for, not up to 50 us later: on this thread only.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    m_realTimeRefused.store(!askForRealTime() && g_realTimeWanted.load());
    std::shared_ptr<SerialPort> port;
    try {
        SerialPollTimer pollTimer;
        TMyCommTier tier = TMyCommTier::None;
        std::uint32_t last = 0;
        std::int64_t previousRead = 0;
        std::int64_t pollGap = 0;
        // The next change found was not caught as it happened.
        bool late = false;
        while (!m_terminated.load()) {
            if (std::shared_ptr<SerialPort> current = m_port.load(); current != port) {
                port = std::move(current);
                last = 0;
                late = false;
                tier = port ? TMyCommTier::ChangeWait : TMyCommTier::None;
                m_tier.store(tier);
                previousRead = SerialPollTimer::nowNs();
            }
            if (!port) {
                m_wake.sleep();
                continue;
            }

            std::uint32_t word = last;
            const std::int64_t counterBefore =
                tier == TMyCommTier::BackToBack ? platform::clock().counter() : -1;
            const std::int64_t readStart = SerialPollTimer::nowNs();
            const SerialPort::Read read = port->readStatus(word);
            TMyCommInstant at = now(counterBefore);
            const std::int64_t readEnd = SerialPollTimer::nowNs();

            if (read == SerialPort::Read::Gone) {
                // Nobody hands this port to the loop again, whatever the report's fate.
                m_port.clearIf(port);
                report(TMyCommReport{0, port.get(), at, true});
                port.reset();
                tier = TMyCommTier::None;
                m_tier.store(tier);
                continue;
            }
            if (word != last) {
                switch (tier) {
                case TMyCommTier::Polled:
                    at.uncertaintyNs = pollGap / 2;
                    break;
                case TMyCommTier::BackToBack:
                    at.uncertaintyNs = (readEnd - readStart) / 2;
                    break;
                default:
                    at.uncertaintyNs = (readEnd - readStart) / 2;
                    break;
                }
                if (late) {
                    at.late = true;
                    at.uncertaintyNs = readEnd - previousRead;
                }
                last = word;
                if (armed())
                    arm(true);
                report(TMyCommReport{word, port.get(), at, false});
                // Whatever changes while the user-interface thread handles this is
                // found only afterwards.
                late = true;
                previousRead = readEnd;
                continue;
            }
            late = false;
            previousRead = readEnd;

            if (tier == TMyCommTier::ChangeWait) {
                SerialPort *const waiting = port.get();
                SerialPort::Wait result = SerialPort::Wait::Expired;
                auto wait = [waiting, &result] { result = waiting->waitForChange(); };
                m_wake.bound(WaitBoundNs);
                if (!m_wake.run(wait))
                    result = SerialPort::Wait::Expired;
                m_wake.bound(0);
                switch (result) {
                case SerialPort::Wait::Changed:
                    break;
                case SerialPort::Wait::Gone:
                    break; // the next read says so
                case SerialPort::Wait::Expired:
                    late = true;
                    break;
                case SerialPort::Wait::Unsupported:
                    tier = tierFor(false, port->readCostNs());
                    m_tier.store(tier);
                    pollTimer.start();
                    break;
                }
                continue;
            }
            // Reads that have become cheap would spin a core back to back: pace them.
            if (tier == TMyCommTier::BackToBack && readEnd - readStart < SlowReadNs / 2) {
                tier = TMyCommTier::Polled;
                m_tier.store(tier);
                pollTimer.start();
            }
            if (tier == TMyCommTier::Polled) {
                // A port change or the end waits at most one period here.
                const std::int64_t period =
                    armed() ? SerialPollTimer::FinePeriodNs : SerialPollTimer::CoarsePeriodNs;
                pollTimer.waitNext(period);
                pollGap = SerialPollTimer::nowNs() - readEnd;
            }
        }
    } catch (...) {
        // An error of the change target or of the port ends the watcher silently.
    }
    port.reset();
    m_port.store(nullptr);
    m_tier.store(TMyCommTier::None);
    m_wake.detach();
    m_ended.store(true);
    m_relay->deleteLater();
}

void TMyCommWatcher::report(const TMyCommReport &change)
{
    std::unique_lock lock(m_mailbox.mutex);
    m_mailbox.change = &change;
    m_mailbox.done = false;
    m_mailbox.error = nullptr;
    QMetaObject::invokeMethod(m_relay, "deliver", Qt::QueuedConnection);
    m_mailbox.handled.wait(lock, [this] { return m_mailbox.done; });
    m_mailbox.change = nullptr;
    if (std::exception_ptr error = std::exchange(m_mailbox.error, nullptr))
        std::rethrow_exception(error);
}

void TMyCommWatcher::deliver()
{
    const TMyCommReport *change = nullptr;
    {
        std::lock_guard lock(m_mailbox.mutex);
        change = m_mailbox.change;
    }
    if (!change)
        return;
    std::exception_ptr error;
    try {
        NotifyChange(*change);
    } catch (...) {
        error = std::current_exception();
    }
    std::lock_guard lock(m_mailbox.mutex);
    m_mailbox.error = error;
    m_mailbox.done = true;
    m_mailbox.handled.notify_one();
}

void TMyCommWatcher::NotifyChange(const TMyCommReport &change)
{
    if (m_changeTarget)
        m_changeTarget(change);
}

#include "MyCommWatcher.moc"
