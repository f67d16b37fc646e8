// What one reported line change costs in each measurement mode, as the window pays it:
// the chronometer reads the lines and each changed line is fed to the mode's engine. The
// reference is the default mode's own line evaluation (Chronometer::EvaluateLines), which
// is all that mode does per change. The lines go through whole passes: barrier 1 dark and
// light, then barrier 2, every change 60 ms after the last, so every mode completes its
// results (a run per interruption, per pass, per period) as it would on a track.
//
// After the runs it prints each mode's time per change against the reference; the goal is
// at most 10 times the reference and under 2 microseconds per change, a thousandth of the
// finest polling interval.

#include "timing/Chronometer.h"
#include "timing/ModeEngine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Barrier states the bench sets; every change is stamped as the watcher stamps it.
class Lines final : public timing::LineSource
{
public:
    bool dsr = false;
    bool cts = false;
    timing::Ticks at = 1'000'000;

    bool Active() const override { return true; }
    bool DataSetReady() const override { return dsr; }
    bool ClearToSend() const override { return cts; }
    void setComm(std::uint8_t) override {}
    void setOnChanged(std::function<void()>) override {}
    std::optional<timing::Ticks> changeTicks() const override { return at; }
    double changeUncertainty() const override { return 0.00005; }

    // The next change of a pass: 1 dark, 1 light, 2 dark, 2 light.
    void step()
    {
        switch (m_phase++ % 4) {
        case 0:
        case 1:
            dsr = !dsr;
            break;
        default:
            cts = !cts;
        }
        at += 600;
    }

private:
    unsigned m_phase = 0;
};

void DefaultEvaluateLines(benchmark::State &state)
{
    Lines lines;
    timing::Chronometer chrono(lines);
    for (auto _ : state) {
        lines.step();
        benchmark::DoNotOptimize(chrono.EvaluateLines());
    }
}
BENCHMARK(DefaultEvaluateLines);

void ModeEvaluateLines(benchmark::State &state)
{
    Lines lines;
    timing::Chronometer chrono(lines);
    timing::ModeEngine engine(timing::measurementModeOf(int(state.range(0))));
    timing::ModeOutput out;
    std::size_t results = 0;
    for (auto _ : state) {
        lines.step();
        engine.evaluateLines(chrono, lines, out);
        results += out.runs.size() + out.contacts.size();
        out.runs.clear();
        out.contacts.clear();
    }
    state.counters["results"] = benchmark::Counter(double(results), benchmark::Counter::kAvgIterations);
}
BENCHMARK(ModeEvaluateLines)->DenseRange(0, timing::MeasurementModeCount - 1);

class Recorder : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> nanoseconds;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && (run.run_type != Run::RT_Iteration || run.iterations == 0))
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            nanoseconds[name] = run.GetAdjustedCPUTime();
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);

    const auto reference = recorder.nanoseconds.find("DefaultEvaluateLines");
    if (reference == recorder.nanoseconds.end() || reference->second <= 0)
        return 0;
    const char *names[] = {"Zwischen den Schranken (with a minimum time)", "Dunkelzeit",
                           "Beschleunigung", "Pendel", "Lattenzaun"};
    std::printf("\nCPU time per line change, against the default mode's EvaluateLines "
                "(%.1f ns):\n",
                reference->second);
    for (int mode = 0; mode < timing::MeasurementModeCount; ++mode) {
        const auto it = recorder.nanoseconds.find("ModeEvaluateLines/" + std::to_string(mode));
        if (it == recorder.nanoseconds.end())
            continue;
        const double ratio = it->second / reference->second;
        const bool met = ratio <= 10 && it->second < 2000;
        std::printf("  %-45s %7.1f ns  %5.2fx  %s\n", names[mode], it->second, ratio,
                    met ? "met" : "MISSED");
    }
    return 0;
}
