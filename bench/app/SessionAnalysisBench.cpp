// What the Auswertung window costs at each change of a session of 100 series of 100 runs:
// the series found in the runs, each series a point at its setting, t² over s fitted with
// the acceleration it gives (SessionAnalysis), the plot's data and its picture at the
// window's size. The goal is under 5 ms of CPU for all of it. The reference is a plain sum
// over the same 10,000 runs' ticks, the least any analysis of them must do.

#include "app/AnalysisPlot.h"
#include "session/SessionAnalysis.h"
#include "widgets/FitPlot.h"

#include <QApplication>
#include <QFont>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

// A cart from rest at 0,5 m/s² over 100 distances, each run off by up to ±5 ms.
const QList<protocol::Run> &runs()
{
    static const QList<protocol::Run> made = [] {
        QList<protocol::Run> list;
        unsigned state = 12345;
        for (int k = 0; k < 100; ++k) {
            for (int i = 0; i < 100; ++i) {
                state = state * 1103515245u + 12345u;
                const double jitter = (double((state >> 8) % 10001) / 10000 - 0.5) * 0.01;
                protocol::Run r;
                r.meters = 0.1L + 0.01L * k;
                r.ticks = std::llround((std::sqrt(2 * double(r.meters) / 0.5) + jitter) * 10000);
                list << r;
            }
        }
        return list;
    }();
    return made;
}

session::SessionAnalysis analyse()
{
    return session::analyseSession(runs(), session::seriesOf(runs()),
                                   timing::MeasurementMode::BetweenBarriers,
                                   analysis::Pair::TimeSquaredOverDistance);
}

void ReferenceSum(benchmark::State &state)
{
    for (auto _ : state) {
        long long sum = 0;
        for (const protocol::Run &r : runs())
            sum += *r.ticks;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(ReferenceSum);

void SessionAnalysis(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(analyse());
}
BENCHMARK(SessionAnalysis);

void AnalysisAndPicture(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(widgets::renderFitPlot(app::analysisPlot(analyse().analysis, u','),
                                                        {420, 360}, 1, QFont()));
}
BENCHMARK(AnalysisAndPicture);

class Recorder : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> nanoseconds;

    void ReportRuns(const std::vector<Run> &list) override
    {
        ConsoleReporter::ReportRuns(list);
        for (const Run &run : list)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                nanoseconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    const auto reference = recorder.nanoseconds.find("ReferenceSum");
    if (reference == recorder.nanoseconds.end() || reference->second <= 0)
        return 0;
    std::printf("\nCPU time against a plain sum over the 10,000 runs (%.1f µs):\n",
                reference->second / 1000);
    for (const char *name : {"SessionAnalysis", "AnalysisAndPicture"}) {
        const auto it = recorder.nanoseconds.find(name);
        if (it == recorder.nanoseconds.end())
            continue;
        std::printf("  %-20s %9.1f µs  %7.1fx", name, it->second / 1000, it->second / reference->second);
        if (std::string(name) == "AnalysisAndPicture")
            std::printf("  goal under 5 ms: %s", it->second < 5e6 ? "met" : "MISSED");
        std::printf("\n");
    }
    return 0;
}
