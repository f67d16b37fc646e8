// What the analysis of a session costs: 100 series of 100 runs each become points at their
// setting (mean, SD, SEM of each series), t² over s, a weighted straight line through GSL
// and the acceleration it gives; then the plot of it as a picture, at the window's size.
// The goal is under 5 ms of CPU for both together. The reference is a plain sum over the
// same 10,000 values, the least any analysis of them must do.
//
// After the runs it prints each step against the reference and whether the goal was met.

#include "analysis/SeriesAnalysis.h"
#include "widgets/FitPlot.h"

#include <QApplication>
#include <QFont>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int Series = 100;
constexpr int RunsPerSeries = 100;

struct Session
{
    std::vector<double> settings;
    std::vector<std::vector<double>> times;
};

// A cart from rest at 0,5 m/s² over 100 distances, each run off by up to ±5 ms.
const Session &session()
{
    static const Session s = [] {
        Session made;
        unsigned state = 12345;
        for (int k = 0; k < Series; ++k) {
            const double distance = 0.1 + 0.01 * k;
            made.settings.push_back(distance);
            std::vector<double> runs;
            for (int i = 0; i < RunsPerSeries; ++i) {
                state = state * 1103515245u + 12345u;
                const double jitter = (double((state >> 8) % 10001) / 10000 - 0.5) * 0.01;
                runs.push_back(std::sqrt(2 * distance / 0.5) + jitter);
            }
            made.times.push_back(std::move(runs));
        }
        return made;
    }();
    return s;
}

analysis::Analysis analyseSession(const Session &s)
{
    std::vector<analysis::Point> points;
    points.reserve(s.times.size());
    for (std::size_t k = 0; k < s.times.size(); ++k)
        points.push_back(analysis::pointOf(s.settings[k], s.times[k]));
    const analysis::Pair pair = analysis::Pair::TimeSquaredOverDistance;
    return analysis::analyse(pair, analysis::Model::Proportional,
                             analysis::plotPoints(pair, points));
}

widgets::FitPlotData plotOf(const analysis::Analysis &a)
{
    widgets::FitPlotData data;
    const analysis::PairText text = analysis::pairText(a.pair);
    data.xCaption = text.xSymbol + QStringLiteral(" in ") + text.xUnit;
    data.yCaption = text.ySymbol + QStringLiteral(" in ") + text.yUnit;
    for (const analysis::PlotPoint &p : a.points)
        data.points << widgets::FitPoint{p.x, p.y, p.ux, p.uy};
    data.line = widgets::FitLine{a.fit.intercept, a.fit.slope};
    data.equation = QStringLiteral("t² = 4,000 s²/m · s");
    return data;
}

void ReferenceSum(benchmark::State &state)
{
    const Session &s = session();
    for (auto _ : state) {
        double sum = 0;
        for (const std::vector<double> &runs : s.times)
            for (const double t : runs)
                sum += t;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(ReferenceSum);

void AnalyseSession(benchmark::State &state)
{
    const Session &s = session();
    for (auto _ : state)
        benchmark::DoNotOptimize(analyseSession(s));
}
BENCHMARK(AnalyseSession);

void PlotPicture(benchmark::State &state)
{
    const widgets::FitPlotData data = plotOf(analyseSession(session()));
    for (auto _ : state)
        benchmark::DoNotOptimize(widgets::renderFitPlot(data, {420, 360}, 1, QFont()));
}
BENCHMARK(PlotPicture);

void AnalyseAndPlot(benchmark::State &state)
{
    const Session &s = session();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            widgets::renderFitPlot(plotOf(analyseSession(s)), {420, 360}, 1, QFont()));
}
BENCHMARK(AnalyseAndPlot);

class Recorder : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> nanoseconds;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
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
    std::printf("\nCPU time against a plain sum over the 10,000 values (%.1f µs):\n",
                reference->second / 1000);
    for (const char *name : {"AnalyseSession", "PlotPicture", "AnalyseAndPlot"}) {
        const auto it = recorder.nanoseconds.find(name);
        if (it == recorder.nanoseconds.end())
            continue;
        std::printf("  %-16s %9.1f µs  %7.1fx", name, it->second / 1000,
                    it->second / reference->second);
        if (std::string(name) == "AnalyseAndPlot")
            std::printf("  goal under 5 ms: %s", it->second < 5e6 ? "met" : "MISSED");
        std::printf("\n");
    }
    return 0;
}
