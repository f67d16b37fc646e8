// Start-up of the program against a Qt Widgets hello-world window, measured side by side
// in one run: the two are started alternately, each from the moment it is spawned to the
// moment its first window is exposed, and each reports its resident memory a second
// after that. Reported are the medians of each and the medians of the per-pair ratios.
// Run it where the program runs (under xvfb-run with QT_QPA_PLATFORM=xcb for a real X
// server; offscreen otherwise).

#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <vector>

namespace {

struct Launch
{
    double startUpMs = 0;
    double rssKb = 0;
};

long long monotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::optional<Launch> launch(const QString &program, const QString &configFolder)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TACHOFLUX_STARTUP_REPORT"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")) &&
        !environment.contains(QStringLiteral("DISPLAY")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const long long spawned = monotonicNs();
    process.start(program, {});
    if (!process.waitForFinished(30000))
        return std::nullopt;
    Launch result;
    bool mapped = false;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("mapped ")) {
            result.startUpMs = double(line.mid(7).toLongLong() - spawned) / 1e6;
            mapped = true;
        } else if (line.startsWith("rss ")) {
            result.rssKb = line.mid(4).split(' ').value(0).toDouble();
        }
    }
    if (!mapped || result.rssKb <= 0)
        return std::nullopt;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void BM_StartUpAgainstHelloWorld(benchmark::State &state)
{
    QTemporaryDir config;
    std::vector<double> program, hello, programRss, helloRss, timeRatios, rssRatios;
    for (auto _ : state) {
        // Alternating, the program first in even pairs, so that neither profits from
        // caches the other warmed.
        for (int pair = 0; pair < state.range(0); ++pair) {
            std::optional<Launch> a, b;
            if (pair % 2 == 0) {
                a = launch(QStringLiteral(TF_TACHOFLUX), config.path());
                b = launch(QStringLiteral(TF_HELLO_WORLD), config.path());
            } else {
                b = launch(QStringLiteral(TF_HELLO_WORLD), config.path());
                a = launch(QStringLiteral(TF_TACHOFLUX), config.path());
            }
            if (!a || !b) {
                state.SkipWithError("a program did not report its window");
                return;
            }
            program.push_back(a->startUpMs);
            hello.push_back(b->startUpMs);
            programRss.push_back(a->rssKb);
            helloRss.push_back(b->rssKb);
            timeRatios.push_back(a->startUpMs / b->startUpMs);
            rssRatios.push_back(a->rssKb / b->rssKb);
        }
        state.SetIterationTime(median(program) / 1000.0);
    }
    state.counters["program_ms"] = median(program);
    state.counters["hello_ms"] = median(hello);
    state.counters["time_ratio"] = median(timeRatios);
    state.counters["program_rss_kB"] = median(programRss);
    state.counters["hello_rss_kB"] = median(helloRss);
    state.counters["rss_ratio"] = median(rssRatios);
}
BENCHMARK(BM_StartUpAgainstHelloWorld)->Arg(15)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
