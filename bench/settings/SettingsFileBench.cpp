// What the program's start and close cost with a settings file that another program has
// crowded: one load and one save (each a read of the whole file and, for the save, a
// write of it) with 10,000 to 100,000 values in the settings key, or beside them a key
// 32,000 levels deep. The reference is the least any save can cost: reading the same file
// and writing it back the safe way (temporary file, flush, rename). A busy thread keeps
// one core loaded all the time, as a user's other programs would.
//
// After the runs it prints the goals: a load and a save each under one second, and the
// time per value growing at most 1.5 times from 10,000 to 100,000 values.

#include "registry/RegFile.h"
#include "registry/RegistryStore.h"
#include "settings/Settings.h"

#include "Version.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Store = QStringLiteral(TACHOFLUX_TITLE);
const QString Section = Store + QStringLiteral("\\Settings");

class Target : public settings::SettingsTarget
{
public:
    int port = 0;
    void applyComPort(int index) override { port = index; }
    void applyComAlg(int) override {}
    void applyMeters(long double) override {}
};

// A config folder of its own holding a crowded settings file.
class Config
{
public:
    Config(int values, int levels)
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QDir().mkpath(folder());
        registry::RegFile hive;
        hive.setValue(Section, QStringLiteral("COMPort"), registry::RegValue::string("1"));
        for (int i = 0; i < values; ++i)
            hive.setValue(Section, QStringLiteral("Extra%1").arg(i),
                          registry::RegValue::string(QString::number(i)));
        if (levels > 0)
            hive.createKey(QStringList(levels, QStringLiteral("d")).join(u'\\'));
        QFile file(this->hive());
        if (file.open(QIODevice::WriteOnly))
            m_size = file.write(hive.serialize());
    }
    QString folder() const { return m_dir.path() + QStringLiteral("/tachoflux"); }
    QString hive() const { return folder() + QStringLiteral("/registry.reg"); }
    qint64 size() const { return m_size; }

private:
    QTemporaryDir m_dir;
    qint64 m_size = 0;
};

void loadAndSave(benchmark::State &state, int values, int levels)
{
    const Config config(values, levels);
    Target target;
    int round = 0;
    for (auto _ : state) {
        settings::LoadSettings(target);
        // A different distance each time, so every save writes.
        settings::SaveSettings({target.port, 0, 0.001 * (++round % 1000)});
    }
    state.counters["bytes"] = double(config.size());
    state.counters["values"] = values;
}

void LoadAndSave(benchmark::State &state)
{
    loadAndSave(state, int(state.range(0)), 0);
}

void LoadAndSaveDeepKey(benchmark::State &state)
{
    loadAndSave(state, 0, int(state.range(0)));
}

// Reading the file and writing it back whole, safely: what no save can undercut.
void CopyReference(benchmark::State &state)
{
    const Config config(int(state.range(0)), 0);
    const QByteArray path = QFile::encodeName(config.hive());
    const QByteArray temporary = path + ".copy";
    for (auto _ : state) {
        QFile in(config.hive());
        if (!in.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read");
        const QByteArray bytes = in.readAll();
        const int fd =
            ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() ||
            ::fsync(fd) != 0)
            state.SkipWithError("cannot write");
        ::close(fd);
        ::rename(temporary.constData(), path.constData());
    }
    state.counters["bytes"] = double(config.size());
}

// The two halves of the work, apart from the file.
registry::RegFile crowded(int values)
{
    registry::RegFile hive;
    for (int i = 0; i < values; ++i)
        hive.setValue(Section, QStringLiteral("Extra%1").arg(i),
                      registry::RegValue::string(QString::number(i)));
    return hive;
}

void Parse(benchmark::State &state)
{
    const QByteArray text = crowded(int(state.range(0))).serialize();
    for (auto _ : state)
        benchmark::DoNotOptimize(registry::RegFile::parse(text));
}

void Serialize(benchmark::State &state)
{
    const registry::RegFile hive = crowded(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(hive.serialize());
}

BENCHMARK(Parse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Serialize)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// Medians of five runs: the other programs' load comes and goes.
BENCHMARK(LoadAndSave)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(LoadAndSaveDeepKey)
    ->Arg(32000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(CopyReference)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// Keeps the console output and notes each benchmark's time per iteration: the median of
// its repetitions where it has them.
class Recorder : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && (run.run_type != Run::RT_Iteration || run.iterations == 0))
                continue;
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            seconds[name] = run.GetAdjustedRealTime() / 1000.0;
            cpuSeconds[name] = run.GetAdjustedCPUTime() / 1000.0;
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::atomic<bool> done{false};
    std::thread busy([&done] {
        volatile unsigned long spin = 0;
        while (!done.load(std::memory_order_relaxed))
            spin = spin + 1;
    });
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    done = true;
    busy.join();

    const auto time = [](const std::map<std::string, double> &s, const char *name) {
        const auto it = s.find(name);
        return it == s.end() ? -1.0 : it->second;
    };
    // Wall time is what the user waits; the thread's CPU time shows the work itself, apart
    // from what the other programs on the machine take.
    for (const auto *kind : {&recorder.seconds, &recorder.cpuSeconds}) {
        const char *what = kind == &recorder.seconds ? "wall time" : "CPU time";
        const double small = time(*kind, "LoadAndSave/10000");
        const double large = time(*kind, "LoadAndSave/100000");
        const double deep = time(*kind, "LoadAndSaveDeepKey/32000");
        const double copy = time(*kind, "CopyReference/100000");
        std::printf("\nIn %s:\n", what);
        if (small > 0 && large > 0) {
            const double growth = (large / 100000) / (small / 10000);
            std::printf("  time per value, 100,000 against 10,000 values: %.2fx (goal: at most "
                        "1.5x) %s\n",
                        growth, growth <= 1.5 ? "met" : "MISSED");
            std::printf("  a load and a save with 100,000 values: %.0f ms (goal: each under "
                        "1000 ms) %s\n",
                        large * 1000, large < 1.0 ? "met" : "MISSED");
        }
        if (deep > 0)
            std::printf("  a load and a save with a key 32,000 levels deep: %.0f ms %s\n",
                        deep * 1000, deep < 1.0 ? "met" : "MISSED");
        if (copy > 0 && large > 0)
            std::printf("  against reading and writing back the same 100,000-value file: %.1fx\n",
                        large / copy);
    }
    return 0;
}
