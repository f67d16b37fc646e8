#include "support/ConfigFolder.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// The main of the benchmarks that build widgets: offscreen, with a config folder of their
// own so that the user's settings and run journal stay out of it.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const ConfigFolder config;
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
