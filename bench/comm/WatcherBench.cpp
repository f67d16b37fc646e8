// How the modem-status watcher meets its goals, with emulated drivers (tests/comm):
//  - the delay from a line change (stamped by the driver as the change becomes visible)
//    to the instant the watcher records for it, in each tier, idle and with every core
//    loaded by stress-ng, the watcher's real-time scheduling granted or refused (the
//    capability to raise priority dropped for its threads), and whether the uncertainty
//    the watcher states covers it; beside it, how late a bare sleep loop wakes;
//  - bouncing bursts under load: edges lost, reports flagged late, and whether the first
//    report of a burst is the read of its first edge;
//  - the watcher's CPU use (its thread and its lookout) in each tier, beside a bare sleep
//    loop of the same period.
// The injector is a plain thread: it stands for the hardware only in what it changes.
// TF_BENCH_SECONDS sets the length of each CPU measurement (default 10; the goals are
// stated for 60), TF_BENCH_BURSTS the number of bouncing bursts (default 10000),
// TF_BENCH_SAMPLES the changes per delay measurement (default 2000).
#include "support/FakeSerialPort.h"
#include "comm/MyCommStatus.h"
#include "comm/SerialPollTimer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <optional>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <linux/capability.h>
#include <mutex>
#include <random>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using comm::SerialPollTimer;

namespace {

std::int64_t nowNs()
{
    return SerialPollTimer::nowNs();
}

int cpuSeconds()
{
    const int seconds = qEnvironmentVariableIntValue("TF_BENCH_SECONDS");
    return seconds > 0 ? seconds : 10;
}

int burstCount()
{
    const int bursts = qEnvironmentVariableIntValue("TF_BENCH_BURSTS");
    return bursts > 0 ? bursts : 10'000;
}

// Threads started while this lives cannot raise their priority (unless a real-time
// priority limit allows it): the capability is taken out of this thread's effective set,
// which new threads inherit, and put back afterwards. Capabilities are per thread, so the
// rest of the process keeps them.
class NoPriorityRights
{
public:
    explicit NoPriorityRights(bool drop)
    {
        if (!drop || !get(m_saved))
            return;
        Caps dropped = m_saved;
        dropped.data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
        m_dropped = set(dropped);
    }
    ~NoPriorityRights()
    {
        if (m_dropped)
            set(m_saved);
    }
    NoPriorityRights(const NoPriorityRights &) = delete;
    NoPriorityRights &operator=(const NoPriorityRights &) = delete;

private:
    struct Caps
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    };
    static bool get(Caps &caps) { return syscall(SYS_capget, &caps.header, caps.data) == 0; }
    static bool set(Caps &caps) { return syscall(SYS_capset, &caps.header, caps.data) == 0; }

    Caps m_saved;
    bool m_dropped = false;
};

// Every core busy with stress-ng, niced so that the people sharing the machine keep it,
// for a bounded time.
class CoreLoad
{
public:
    CoreLoad(bool on, int seconds)
    {
        if (!on)
            return;
        const QString stress = QStandardPaths::findExecutable(QStringLiteral("stress-ng"));
        if (stress.isEmpty())
            return;
        m_process.start(
            QStringLiteral("nice"),
            {QStringLiteral("-n"), QStringLiteral("10"), stress, QStringLiteral("--cpu"),
             QString::number(std::thread::hardware_concurrency()), QStringLiteral("--timeout"),
             QString::number(seconds) + u's', QStringLiteral("--quiet")});
        m_running = m_process.waitForStarted(5000);
        // Let the workers start.
        QThread::msleep(300);
    }
    ~CoreLoad()
    {
        if (!m_running)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool running() const { return m_running; }

private:
    QProcess m_process;
    bool m_running = false;
};

// Runs the user-interface thread's event loop for `ms`.
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Time on a core of one thread of this process, in nanoseconds.
std::int64_t threadCpuNs(pid_t tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    return stat.readLine().split(' ').value(0).toLongLong();
}

bool becomeRealTime()
{
    sched_param param{};
    param.sched_priority = 10;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

int sampleCount()
{
    const int samples = qEnvironmentVariableIntValue("TF_BENCH_SAMPLES");
    return samples > 0 ? samples : 2000;
}

// Arguments: tier (0 change wait, 1 polled, 2 slow reads back to back), real-time (0:
// refused, the capability dropped), cores loaded. Per change: the true offset (the
// recorded instant less the driver's stamp of the change) against the uncertainty the
// watcher states for it.
void BM_ChangeToRecordedInstant(benchmark::State &state)
{
    const auto kind = state.range(0) == 0   ? FakeModemLines::Waits
                      : state.range(0) == 1 ? FakeModemLines::Polled
                                            : FakeModemLines::SlowPolled;
    const bool realTime = state.range(1) != 0;
    const bool loaded = state.range(2) != 0;
    const int samples = sampleCount();
    for (auto _ : state) {
        CoreLoad load(loaded, 120);
        if (loaded && !load.running()) {
            state.SkipWithError("stress-ng is not installed");
            break;
        }
        FakeSerialPorts ports;
        std::shared_ptr<FakeModemLines> lines = ports.add(1, kind);
        std::optional<comm::TMyCommStatus> status;
        {
            NoPriorityRights refused(!realTime);
            status.emplace();
            // The watcher asks as it starts: until then it must not get the rights back.
            while (status->watcher()->threadId() == 0)
                std::this_thread::yield();
            runEvents(20);
        }
        status->ChangePort(1);
        runEvents(50);
        const bool granted = status->watcher()->realTime();

        std::vector<double> offsets;
        std::vector<double> stated;
        int beyond = 0;
        std::atomic<int> handled{0};
        int late = 0;
        status->setOnChanged([&](QObject *) {
            const std::optional<comm::TMyCommInstant> at = status->changeInstant();
            if (!at)
                return;
            const double instantNs = double(at->counter) * 1e9 / double(at->frequency);
            const double offset = instantNs - double(lines->changedNs());
            offsets.push_back(offset / 1000.0);
            stated.push_back(double(at->uncertaintyNs) / 1000.0);
            beyond += std::abs(offset) > double(at->uncertaintyNs);
            late += at->late;
            ++handled;
        });
        std::atomic<bool> done{false};
        std::thread injector([&] {
            // It stands for the adapter's interrupt, which no thread delays between the
            // driver's stamp and the wake: above the watcher's priority, where allowed.
            sched_param param{};
            param.sched_priority = 50;
            const bool interruptLike =
                pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
            state.counters["injector_rt"] = interruptLike;
            std::mt19937 random(11);
            for (int i = 0; i < samples; ++i) {
                // Irregular, so that no change falls on the same phase of a poll.
                std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 500));
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                lines->set(i % 2 ? 0 : comm::MS_DSR_ON);
                while (handled.load() <= i && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            done.store(true);
        });
        while (!done.load())
            runEvents(20);
        injector.join();
        state.counters["wake_bound_us"] = double(status->watcher()->wakeBoundNs()) / 1000.0;
        status->ChangePort(0);

        std::vector<double> absolute(offsets.size());
        std::transform(offsets.begin(), offsets.end(), absolute.begin(),
                       [](double v) { return std::abs(v); });
        state.counters["rt_granted"] = granted;
        state.counters["loaded"] = load.running();
        state.counters["lost"] = samples - handled.load();
        state.counters["late"] = late;
        state.counters["p50_us"] = percentile(absolute, 0.5);
        state.counters["p99_us"] = percentile(absolute, 0.99);
        state.counters["max_us"] = percentile(absolute, 1.0);
        state.counters["stated_p50_us"] = percentile(stated, 0.5);
        state.counters["stated_p99_us"] = percentile(stated, 0.99);
        state.counters["beyond_percent"] =
            offsets.empty() ? 0.0 : 100.0 * beyond / double(offsets.size());
        // Useful only if it stays near what it bounds (goal: at most 10).
        const double p50 = percentile(absolute, 0.5);
        state.counters["stated_over_true_p50"] = p50 > 0 ? percentile(stated, 0.5) / p50 : 0.0;
    }
}
BENCHMARK(BM_ChangeToRecordedInstant)
    ->ArgNames({"tier", "rt", "loaded"})
    ->ArgsProduct({{0, 1, 2}, {1, 0}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The reference: how late a bare thread wakes from an absolute sleep of 700 us, with the
// same load and scheduling, measured the same way.
void BM_BareSleepLateness(benchmark::State &state)
{
    const bool realTime = state.range(0) != 0;
    const bool loaded = state.range(1) != 0;
    constexpr int Samples = 1000;
    for (auto _ : state) {
        CoreLoad load(loaded, 10);
        std::vector<double> late;
        bool granted = false;
        std::thread sleeper([&] {
            prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
            granted = realTime && becomeRealTime();
            for (int i = 0; i < Samples; ++i) {
                const std::int64_t deadline = nowNs() + 700'000;
                const timespec at{time_t(deadline / 1'000'000'000), long(deadline % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
                late.push_back(double(nowNs() - deadline) / 1000.0);
            }
        });
        sleeper.join();
        state.counters["rt_granted"] = granted;
        state.counters["p50_us"] = percentile(late, 0.5);
        state.counters["p99_us"] = percentile(late, 0.99);
        state.counters["max_us"] = percentile(late, 1.0);
    }
}
BENCHMARK(BM_BareSleepLateness)
    ->ArgNames({"rt", "loaded"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Bouncing contacts: each burst toggles DSR a few times, 5 to 50 us apart, and settles.
// A burst is lost when the watcher never reports its settled state. The bursts come as
// fast as the reports are handled, with the cores loaded. The first report of a burst
// should be the read of its first edge, stamped before the second edge came.
void BM_BouncingBursts(benchmark::State &state)
{
    const int bursts = burstCount();
    const bool realTime = state.range(0) != 0;
    for (auto _ : state) {
        CoreLoad load(true, 600);
        FakeSerialPorts ports;
        std::shared_ptr<FakeModemLines> lines = ports.add(1, FakeModemLines::Waits);
        std::optional<comm::TMyCommStatus> watched;
        {
            NoPriorityRights refused(!realTime);
            watched.emplace();
            while (watched->watcher()->threadId() == 0)
                std::this_thread::yield();
            runEvents(20);
        }
        comm::TMyCommStatus &status = *watched;
        status.ChangePort(1);
        runEvents(50);
        state.counters["rt_granted"] = status.watcher()->realTime();
        std::atomic<bool> dsr{false};
        // Instants of the reports, in order; the edges of each burst.
        std::vector<std::int64_t> reported;
        int lateReports = 0;
        status.setOnChanged([&](QObject *) {
            const std::optional<comm::TMyCommInstant> at = status.changeInstant();
            if (!at)
                return;
            lateReports += at->late;
            reported.push_back(at->counter);
            dsr.store(status.DataSetReady());
        });
        std::vector<std::pair<std::int64_t, std::int64_t>> edges(std::size_t(bursts),
                                                                 {0, INT64_MAX});
        std::atomic<int> lost{0};
        std::atomic<bool> done{false};
        std::thread injector([&] {
            std::mt19937 random(42);
            std::uint32_t word = 0;
            for (int b = 0; b < bursts; ++b) {
                const int toggles = 2 * int(random() % 4) + 1; // odd: the burst flips DSR
                for (int t = 0; t < toggles; ++t) {
                    word ^= comm::MS_DSR_ON;
                    lines->set(word);
                    if (t < 2)
                        (t == 0 ? edges[b].first : edges[b].second) = lines->changedNs();
                    const timespec gap{0, long(5'000 + random() % 45'000)};
                    clock_nanosleep(CLOCK_MONOTONIC, 0, &gap, nullptr);
                }
                const bool settled = word != 0;
                const auto giveUp =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
                while (dsr.load() != settled && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                if (dsr.load() != settled)
                    ++lost;
            }
            done.store(true);
        });
        while (!done.load())
            runEvents(20);
        injector.join();
        status.ChangePort(0);
        // The first report at or after each burst's first edge.
        std::vector<double> startDelays;
        int startsAfterSecondEdge = 0;
        auto next = reported.begin();
        for (const auto &[first, second] : edges) {
            // A report may be stamped a hair before the driver's stamp of the same edge.
            next = std::lower_bound(next, reported.end(), first - 1'000);
            if (next == reported.end())
                break;
            startDelays.push_back(double(*next - first) / 1000.0);
            startsAfterSecondEdge += *next >= second;
        }
        state.counters["bursts"] = bursts;
        state.counters["lost"] = lost.load();
        state.counters["reports"] = double(reported.size());
        state.counters["late_reports"] = lateReports;
        state.counters["late_percent"] =
            reported.empty() ? 0.0 : 100.0 * lateReports / double(reported.size());
        state.counters["start_p50_us"] = percentile(startDelays, 0.5);
        state.counters["start_p99_us"] = percentile(startDelays, 0.99);
        state.counters["start_max_us"] = percentile(startDelays, 1.0);
        state.counters["starts_after_2nd_edge"] = startsAfterSecondEdge;
    }
}
BENCHMARK(BM_BouncingBursts)->ArgName("rt")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

// Watcher CPU. Argument: 0 no port, 1 change wait, 2 polled idle (1 kHz), 3 polled armed
// (10 kHz), 4 slow reads back to back, 5 a port that was pulled and closed.
void BM_WatcherCpu(benchmark::State &state)
{
    const int mode = int(state.range(0));
    for (auto _ : state) {
        FakeSerialPorts ports;
        std::shared_ptr<FakeModemLines> lines =
            ports.add(1, mode == 1 || mode == 5 ? FakeModemLines::Waits
                         : mode == 4            ? FakeModemLines::SlowPolled
                                                : FakeModemLines::Polled);
        comm::TMyCommStatus status;
        if (mode != 0)
            status.ChangePort(1);
        status.setArmed(mode == 3);
        if (mode == 5)
            lines->unplug();
        runEvents(200);
        const pid_t tid = status.watcher()->threadId();
        const pid_t lookout = status.watcher()->lookoutThreadId();
        const std::int64_t reads = lines->reads();
        const std::int64_t cpuBefore = threadCpuNs(tid);
        const std::int64_t lookoutBefore = lookout ? threadCpuNs(lookout) : 0;
        const std::int64_t wallBefore = nowNs();
        // The armed tier is kept armed, as a run in progress would.
        for (int s = 0; s < cpuSeconds(); ++s) {
            runEvents(1000);
            if (mode == 3)
                status.setArmed(true);
        }
        const std::int64_t watcherCpu = threadCpuNs(tid) - cpuBefore;
        const std::int64_t lookoutCpu = lookout ? threadCpuNs(lookout) - lookoutBefore : 0;
        const std::int64_t wall = nowNs() - wallBefore;
        state.counters["cpu_percent"] = 100.0 * double(watcherCpu + lookoutCpu) / double(wall);
        state.counters["lookout_cpu_percent"] = 100.0 * double(lookoutCpu) / double(wall);
        state.counters["reads_per_s"] = double(lines->reads() - reads) * 1e9 / double(wall);
        state.counters["tier"] = int(status.watcher()->tier());
    }
}
BENCHMARK(BM_WatcherCpu)
    ->ArgName("mode")
    ->DenseRange(0, 5)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The reference for the polled tiers: a bare thread that only sleeps from one fixed
// deadline to the next, at the same period and timer slack. Argument: period in us.
void BM_BareSleepLoopCpu(benchmark::State &state)
{
    const std::int64_t period = state.range(0) * 1000;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<pid_t> tid{0};
        std::atomic<std::int64_t> wakes{0};
        std::thread sleeper([&] {
            prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
            tid.store(gettid());
            SerialPollTimer timer;
            timer.start();
            while (!stop.load()) {
                timer.waitNext(period);
                ++wakes;
            }
        });
        while (tid.load() == 0)
            std::this_thread::yield();
        runEvents(200);
        const std::int64_t before = wakes.load();
        const std::int64_t cpuBefore = threadCpuNs(tid.load());
        const std::int64_t wallBefore = nowNs();
        runEvents(cpuSeconds() * 1000);
        const std::int64_t cpu = threadCpuNs(tid.load()) - cpuBefore;
        const std::int64_t wall = nowNs() - wallBefore;
        stop.store(true);
        sleeper.join();
        state.counters["cpu_percent"] = 100.0 * double(cpu) / double(wall);
        state.counters["wakes_per_s"] = double(wakes.load() - before) * 1e9 / double(wall);
    }
}
BENCHMARK(BM_BareSleepLoopCpu)
    ->ArgName("period_us")
    ->Arg(1000)
    ->Arg(100)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
