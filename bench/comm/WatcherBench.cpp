// How the modem-status watcher meets its goals, with fake ports:
//  - the delay from a line change to the instant recorded for it (what a contact takes
//    as its time), with the user-interface thread idle or busy, the cores idle or loaded,
//    and whether every change reached the user-interface thread;
//  - the watcher thread's CPU use with no port, with a port that has a change wait, and
//    with one that must be polled.
#include "FakeSerialPort.h"
#include "comm/MyCommStatus.h"
#include "platform/SerialPollTimer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void spinFor(std::int64_t ns)
{
    const std::int64_t end = nowNs() + ns;
    while (nowNs() < end) {
    }
}

// Injection i sets the lines to the number (i + 1) modulo 16, so every injection
// changes at least one line.
int lineCode(int i)
{
    return (i + 1) % 16;
}

std::uint32_t wordOf(int code)
{
    return (code & 1 ? platform::MS_CTS_ON : 0) | (code & 2 ? platform::MS_DSR_ON : 0) |
           (code & 4 ? platform::MS_RING_ON : 0) | (code & 8 ? platform::MS_RLSD_ON : 0);
}

int numberOf(const TMyCommStatus &status)
{
    return (status.ClearToSend() ? 1 : 0) | (status.DataSetReady() ? 2 : 0) |
           (status.Ring() ? 4 : 0) | (status.ReceiveLine() ? 8 : 0);
}

// Keeps every core busy while it lives.
class CoreLoad
{
public:
    explicit CoreLoad(bool on)
    {
        if (!on)
            return;
        for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
            m_threads.emplace_back([this] {
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~CoreLoad()
    {
        m_stop.store(true);
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// The injector stands for the port's hardware, which no busy core delays between the
// instant noted and the change itself: with busy cores, where allowed, it runs as a
// real-time thread. On idle cores it stays a plain thread, so that the watcher is woken
// on the injector's core as an interrupt would wake it, not on a sleeping one.
bool actLikeHardware()
{
    sched_param param{};
    param.sched_priority = 1;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

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

// Arguments: port kind (0 change wait, 1 polled), user-interface thread busy, cores loaded.
void BM_ChangeToRecordedInstant(benchmark::State &state)
{
    const auto kind = state.range(0) == 0 ? FakeModemLines::Waits : FakeModemLines::Polled;
    const bool busyUi = state.range(1) != 0;
    const bool loaded = state.range(2) != 0;
    // Each change comes a while after the previous one has been handled, so that every
    // change is reportable: a count short of the injected one is a change lost.
    const int samples = 1000;
    const auto pause = std::chrono::microseconds(busyUi ? 1500 : 1000);

    for (auto _ : state) {
        FakeSerialPorts ports;
        std::shared_ptr<FakeModemLines> lines = ports.add(1, kind);
        TMyCommStatus status;
        status.ChangePort(1);

        std::vector<std::int64_t> injected(std::size_t(samples), 0);
        std::vector<double> recordedDelay;
        std::vector<double> handledDelay;
        recordedDelay.reserve(std::size_t(samples));
        handledDelay.reserve(std::size_t(samples));
        std::atomic<int> injectedCount{0};
        std::atomic<int> handledCount{0};
        int reported = 0;
        int matched = 0;
        status.setOnChanged([&](QObject *) {
            const std::optional<TMyCommInstant> at = status.changeInstant();
            if (!at)
                return;
            // The four lines carry the injection's number modulo 16: a skipped change
            // cannot shift the pairs.
            const int residue = numberOf(status);
            const int count = injectedCount.load();
            int i = matched;
            while (i < count && lineCode(i) != residue)
                ++i;
            if (i == count)
                return;
            matched = i + 1;
            ++reported;
            handledCount.store(matched);
            const std::int64_t change = injected[std::size_t(i)];
            recordedDelay.push_back(double(at->counter - change) / 1000.0);
            handledDelay.push_back(double(nowNs() - change) / 1000.0);
        });

        // A busy user-interface thread: 1 ms chunks of work with events in between.
        QTimer busy;
        busy.setInterval(0);
        QObject::connect(&busy, &QTimer::timeout, [] { spinFor(1'000'000); });
        if (busyUi)
            busy.start();

        CoreLoad load(loaded);
        const std::int64_t started = nowNs();
        std::atomic<bool> done{false};
        std::atomic<bool> realTime{false};
        std::thread injector([&] {
            realTime.store((busyUi || loaded) && actLikeHardware());
            for (int i = 0; i < samples; ++i) {
                // A change that is never reported holds the next one back for a second.
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                while (handledCount.load() < i && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                std::this_thread::sleep_for(pause);
                injected[std::size_t(i)] = nowNs();
                injectedCount.store(i + 1);
                lines->set(wordOf(lineCode(i)));
            }
            done.store(true);
        });
        while (!done.load())
            runEvents(20);
        runEvents(50);
        injector.join();
        busy.stop();

        state.SetIterationTime(double(nowNs() - started) / 1e9);
        state.counters["injected"] = samples;
        state.counters["injector_rt"] = realTime.load() ? 1 : 0;
        state.counters["reported"] = reported;
        state.counters["lost"] = samples - reported;
        state.counters["recorded_p50_us"] = percentile(recordedDelay, 0.5);
        state.counters["recorded_p99_us"] = percentile(recordedDelay, 0.99);
        state.counters["recorded_max_us"] = percentile(recordedDelay, 1.0);
        state.counters["handled_p50_us"] = percentile(handledDelay, 0.5);
    }
}
BENCHMARK(BM_ChangeToRecordedInstant)
    ->ArgNames({"polled", "busy_ui", "loaded"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Argument: 0 no port, 1 a port with a change wait, 2 a port that must be polled.
void BM_WatcherCpu(benchmark::State &state)
{
    constexpr int Seconds = 5;
    for (auto _ : state) {
        FakeSerialPorts ports;
        ports.add(1, FakeModemLines::Waits);
        ports.add(2, FakeModemLines::Polled);
        TMyCommStatus status;
        status.ChangePort(std::uint8_t(state.range(0)));
        runEvents(100);
        const pid_t tid = status.watcher()->threadId();
        g_fakeReads.store(0);
        const std::int64_t cpuBefore = threadCpuNs(tid);
        const std::int64_t wallBefore = nowNs();
        runEvents(Seconds * 1000);
        const std::int64_t cpu = threadCpuNs(tid) - cpuBefore;
        const std::int64_t wall = nowNs() - wallBefore;
        state.SetIterationTime(double(wall) / 1e9);
        state.counters["cpu_percent"] = 100.0 * double(cpu) / double(wall);
        state.counters["reads_per_s"] = double(g_fakeReads.exchange(0)) * 1e9 / double(wall);
    }
}
BENCHMARK(BM_WatcherCpu)
    ->ArgName("port")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// For comparison: a bare thread that only sleeps from one poll deadline to the next, what
// any poll every 100 us costs on this machine.
void BM_PollSleepAlone(benchmark::State &state)
{
    constexpr int Seconds = 5;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<pid_t> tid{0};
        std::thread sleeper([&] {
            tid.store(gettid());
            platform::SerialPollTimer timer;
            timer.start();
            while (!stop.load())
                timer.waitNext();
        });
        while (tid.load() == 0)
            std::this_thread::yield();
        runEvents(100);
        const std::int64_t cpuBefore = threadCpuNs(tid.load());
        const std::int64_t wallBefore = nowNs();
        runEvents(Seconds * 1000);
        const std::int64_t cpu = threadCpuNs(tid.load()) - cpuBefore;
        const std::int64_t wall = nowNs() - wallBefore;
        stop.store(true);
        sleeper.join();
        state.SetIterationTime(double(wall) / 1e9);
        state.counters["cpu_percent"] = 100.0 * double(cpu) / double(wall);
    }
}
BENCHMARK(BM_PollSleepAlone)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
