#include "comm/MyCommWatcher.h"

#include "comm/SerialLookout.h"
#include "comm/SerialPollTimer.h"
#include "platform/Clock.h"
#include "platform/ProcessSignals.h"

#include <QObject>

#include <algorithm>
#include <cmath>
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

namespace comm {

using comm::SerialPollTimer;
using comm::SerialPort;

namespace {

std::atomic<bool> g_realTimeWanted{true};
std::atomic<std::int64_t> g_waitBoundNs{0};

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

TMyCommReport reportOf(std::uint32_t word, std::uint64_t port, const TMyCommInstant &at)
{
    TMyCommReport report;
    report.word = word;
    report.port = port;
    report.at = at;
    return report;
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
    void setWatcher(std::weak_ptr<TMyCommWatcher> watcher) { m_watcher = std::move(watcher); }
    Q_INVOKABLE void deliver()
    {
        if (const std::shared_ptr<TMyCommWatcher> watcher = m_watcher.lock())
            watcher->deliver();
    }

private:
    std::weak_ptr<TMyCommWatcher> m_watcher;
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

void TMyCommWatcher::setWaitBound(std::int64_t ns)
{
    g_waitBoundNs.store(ns);
}

std::shared_ptr<TMyCommWatcher> TMyCommWatcher::start(ChangeTarget target)
{
    std::shared_ptr<TMyCommWatcher> watcher(new TMyCommWatcher(std::move(target)));
    static_cast<TMyCommRelay *>(watcher->m_relay)->setWatcher(watcher);
    platform::startWithSignalsBlocked([self = watcher] { self->RunLoop(); }).detach();
    return watcher;
}

TMyCommWatcher::TMyCommWatcher(ChangeTarget target)
    : m_relay(new TMyCommRelay), m_changeTarget(std::move(target))
{
}

TMyCommWatcher::~TMyCommWatcher()
{
    // Only reached once the thread has ended and handed the relay back, or if it never ran.
    if (!m_ended.load())
        delete m_relay;
}

std::uint64_t TMyCommWatcher::setPort(std::shared_ptr<comm::SerialPort> port)
{
    const std::uint64_t handed = m_port.store(std::move(port));
    m_wake.wake();
    // The watcher never waits for this thread, so it lets go within one of its steps
    // (a wait it leaves at once, a poll period, a read). The bound is for a read that hangs.
    m_port.waitReleased(handed, HandOverNs);
    return handed;
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
    std::uint64_t portId = 0;
    // Started with the first change wait; it inherits this thread's scheduling.
    std::unique_ptr<comm::SerialLookout> lookout;
    SerialPollTimer pollTimer;
    TMyCommTier tier = TMyCommTier::None;
    std::uint32_t last = 0;
    bool fresh = false; // no read of the port handed over yet
    // How the read to come follows the one before, which decides what can be said of
    // the instant of a change it finds.
    enum class After {
        Read,    // another read or a poll period: the change lies since that read began
        Wake,    // the kernel's wait saw the change and woke the watcher: timely
        Expiry,  // the wait ended otherwise (its bound, a wake for another reason)
        Lookout, // the lookout found a change that the wait had slept through: late
    };
    After after = After::Read;
    std::int64_t previousReadStart = 0;
    // Expiry and Lookout: when the wait ended, the lookout's findings, and the last
    // moment the lines were known as `last`.
    std::int64_t waitEnd = 0;
    comm::SerialLookout::Verdict verdict;
    std::int64_t quietNs = 0;
    // The thread's wait for a core before the change wait began: whatever it waited from
    // the wake to its read is the part of the wake delay that the scheduler counts.
    const comm::RunQueueWait runQueue;
    std::int64_t runQueueBefore = -1;
    // How far a change that woke the watcher may lie before the read that saw it: what its
    // timers say of wakes lately, or what this wake waited for a core, if that was longer
    // (a load that has just begun, which no timer has seen yet).
    const auto wakeMargin = [&] {
        const std::int64_t lately = wakeMarginNs();
        const std::int64_t waited = runQueue.ns();
        if (waited < 0 || runQueueBefore < 0)
            return lately;
        return std::max(lately, waited - runQueueBefore + comm::WakeLateness::FloorNs);
    };
    // Lets go of the port after an error, so that the window hears of it and closes it;
    // the loop then waits for the next port as after an unplugged adapter.
    const auto fail = [&](std::string error) {
        m_wake.bound(0);
        if (m_waitSeq.load() % 2 == 1)
            ++m_waitSeq;
        m_quietCounter.store(NoInstant);
        // A lookout in doubt is started afresh with the next change wait.
        lookout.reset();
        m_lookoutTid.store(0);
        if (port) {
            m_port.clearIf(port);
            TMyCommReport failure = reportOf(0, portId, now());
            failure.failed = true;
            failure.error = std::move(error);
            report(failure);
        }
        port.reset();
        tier = TMyCommTier::None;
        m_tier.store(tier);
    };
    while (!m_terminated.load()) {
        try {
            if (std::shared_ptr<SerialPort> taken; m_port.take(portId, taken)) {
                port = std::move(taken);
                m_quietCounter.store(NoInstant);
                m_port.released(portId);
                last = 0;
                fresh = true;
                after = After::Read;
                tier = port ? TMyCommTier::ChangeWait : TMyCommTier::None;
                m_tier.store(tier);
                previousReadStart = SerialPollTimer::nowNs();
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
            at.firstRead = std::exchange(fresh, false);

            if (read == SerialPort::Read::Gone) {
                m_quietCounter.store(NoInstant);
                // Nobody hands this port to the loop again, whatever the report's fate.
                m_port.clearIf(port);
                TMyCommReport gone = reportOf(0, portId, at);
                gone.gone = true;
                report(gone);
                port.reset();
                tier = TMyCommTier::None;
                m_tier.store(tier);
                continue;
            }
            if (word != last) {
                // The change lies after `since` (as far as this way of reading can tell).
                std::int64_t since = previousReadStart;
                switch (after) {
                case After::Read:
                    break;
                case After::Wake:
                    // The kernel saw a change after its snapshot; one just before it would
                    // show in the same read. Only a look inside the wait rules that out;
                    // after it, the change came at most one wake delay before the read.
                    since = verdict.quietLook ? std::max(quietNs, readStart - wakeMargin())
                                              : quietNs;
                    break;
                case After::Expiry:
                    // Changed during this very read, or after a look inside the wait
                    // that found the lines still: either way no later than the wait
                    // would have seen it, had its wake come in time.
                    if (port->quietBeforeRead())
                        since = readStart;
                    else if (verdict.quietLook)
                        since = std::max(quietNs, std::min(readStart, waitEnd) - wakeMargin());
                    else {
                        at.late = true;
                        since = quietNs;
                    }
                    break;
                case After::Lookout:
                    at.late = true;
                    since = quietNs;
                    break;
                }
                if (tier == TMyCommTier::BackToBack) {
                    // Stamped in the middle of the read.
                    const std::int64_t middle = readStart + (readEnd - readStart) / 2;
                    at.uncertaintyNs = std::max(middle - since, readEnd - middle);
                } else {
                    at.uncertaintyNs = readEnd - since;
                }
                last = word;
                if (armed())
                    arm(true);
                report(reportOf(word, portId, at));
                // Read again at once: a contact that bounces goes on while the window
                // handles the report.
                after = After::Read;
                previousReadStart = readStart;
                // Queued before it is vouched for.
                m_quietCounter.store(at.counter);
                continue;
            }
            if (read == SerialPort::Read::Ok)
                m_quietCounter.store(at.counter);
            after = After::Read;
            previousReadStart = readStart;

            if (tier == TMyCommTier::ChangeWait) {
                if (!lookout) {
                    lookout = std::make_unique<comm::SerialLookout>(m_wake, &m_lookoutResting,
                                                                    &m_waitConfirmed, &m_lateness);
                    while (lookout->threadId() == 0)
                        std::this_thread::yield();
                    m_lookoutTid.store(lookout->threadId());
                }
                SerialPort *const waiting = port.get();
                SerialPort::Wait result = SerialPort::Wait::Expired;
                auto wait = [waiting, &result] { result = waiting->waitForChange(); };
                std::int64_t bound = g_waitBoundNs.load();
                if (bound <= 0)
                    bound = WaitBoundNs;
                quietNs = SerialPollTimer::nowNs();
                m_wake.bound(bound);
                runQueueBefore = runQueue.ns();
                lookout->watch(*waiting);
                ++m_waitSeq;
                const bool whole = m_wake.run(wait);
                ++m_waitSeq;
                waitEnd = SerialPollTimer::nowNs();
                if (!whole) {
                    result = SerialPort::Wait::Expired;
                    // Ended by its safety bound: a timer like any other.
                    if (waitEnd - quietNs >= bound)
                        m_lateness.note(waitEnd - quietNs - bound);
                }
                verdict = lookout->stop();
                m_lookoutResting.store(false);
                m_wake.bound(0);
                if (verdict.quietLook)
                    quietNs = verdict.quietNs;
                switch (result) {
                case SerialPort::Wait::Before:
                case SerialPort::Wait::Gone: // the next read says so
                    break;
                case SerialPort::Wait::Changed:
                    after = After::Wake;
                    break;
                case SerialPort::Wait::Expired:
                    after = verdict.moved ? After::Lookout : After::Expiry;
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
            }
        } catch (const std::exception &error) {
            fail(error.what());
        } catch (...) {
            fail({});
        }
    }
    lookout.reset();
    m_lookoutTid.store(0);
    m_quietCounter.store(NoInstant);
    port.reset();
    m_port.store(nullptr);
    // Nobody waits for a hand-over any more.
    m_port.released(UINT64_MAX);
    m_tier.store(TMyCommTier::None);
    m_wake.detach();
    m_ended.store(true);
    m_relay->deleteLater();
}

std::int64_t TMyCommWatcher::wakeMarginNs() const
{
    return m_lateness.boundNs();
}

std::optional<TMyCommInstant> TMyCommWatcher::quietUntil() const
{
    const platform::Clock &clock = platform::clock();
    TMyCommInstant at;
    at.frequency = clock.frequency();
    if (at.frequency <= 0)
        return std::nullopt;
    // Read in this order, the wait's number before the counter that it may extend: the
    // watcher queues a report before it vouches past the report's instant.
    const std::uint64_t waitSeq = m_waitSeq.load();
    const bool confirmed = m_waitConfirmed.load();
    at.counter = m_quietCounter.load();
    if (at.counter == NoInstant)
        return std::nullopt;
    if (waitSeq % 2 == 1 && confirmed) {
        const std::int64_t nowCounter = clock.counter();
        const auto margin = std::int64_t(
            std::ceil(double(wakeMarginNs()) * double(at.frequency) / 1e9));
        // Still the same wait: nothing was read since the counter was taken.
        if (m_waitSeq.load() == waitSeq)
            at.counter = std::max(at.counter, nowCounter - margin);
    }
    std::lock_guard lock(m_mailbox.mutex);
    if (!m_mailbox.queue.empty() || m_mailbox.failed)
        return std::nullopt;
    return at;
}

void TMyCommWatcher::report(const TMyCommReport &change)
{
    {
        std::lock_guard lock(m_mailbox.mutex);
        if (m_mailbox.failed)
            return;
        if (m_mailbox.queue.size() < MaxQueued)
            m_mailbox.queue.push_back(change);
        else
            m_mailbox.queue.back() = change;
        if (m_mailbox.posted)
            return;
        m_mailbox.posted = true;
    }
    QMetaObject::invokeMethod(m_relay, "deliver", Qt::QueuedConnection);
}

void TMyCommWatcher::deliver()
{
    TMyCommReport change;
    {
        std::lock_guard lock(m_mailbox.mutex);
        if (m_mailbox.queue.empty() || m_mailbox.failed) {
            m_mailbox.posted = false;
            return;
        }
        change = m_mailbox.queue.front();
        m_mailbox.queue.pop_front();
    }
    try {
        NotifyChange(change);
    } catch (...) {
        // An error of the change target ends the watcher silently; what is queued goes.
        {
            std::lock_guard lock(m_mailbox.mutex);
            m_mailbox.failed = true;
            m_mailbox.queue.clear();
            m_mailbox.posted = false;
        }
        Terminate();
        return;
    }
    {
        std::lock_guard lock(m_mailbox.mutex);
        if (m_mailbox.queue.empty()) {
            m_mailbox.posted = false;
            return;
        }
    }
    // One report per call: the window's other events come in between.
    QMetaObject::invokeMethod(m_relay, "deliver", Qt::QueuedConnection);
}

void TMyCommWatcher::NotifyChange(const TMyCommReport &change)
{
    if (m_changeTarget)
        m_changeTarget(change);
}

} // namespace comm

#include "MyCommWatcher.moc"
