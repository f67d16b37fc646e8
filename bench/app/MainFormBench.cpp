// Cost of the main window's periodic refresh and of appending a protocol entry.
#include "app/MainForm.h"
#include "support/FakeClock.h"
#include "support/NoPortLineSource.h"
#include "widgets/IAeverLiquidIndicator.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTableWidget>

#include <benchmark/benchmark.h>

namespace {

struct Window
{
    timing::NoPortLineSource lines;
    app::TForm1 form{lines};
};

// While running, every refresh shows a new time, so the display rebuilds.
void BM_DigitsTimerTimer_Running(benchmark::State &state)
{
    FakeClock clock;
    Window w;
    w.form.DoContact1();
    for (auto _ : state) {
        clock.advance(1000);
        w.form.DigitsTimerTimer();
    }
}
BENCHMARK(BM_DigitsTimerTimer_Running);

// Stopped, the text stays the same and the display does nothing.
void BM_DigitsTimerTimer_Stopped(benchmark::State &state)
{
    FakeClock clock;
    Window w;
    for (auto _ : state)
        w.form.DigitsTimerTimer();
}
BENCHMARK(BM_DigitsTimerTimer_Stopped);

void BM_AddProtocolEntry(benchmark::State &state)
{
    FakeClock clock;
    Window w;
    int rows = 0;
    for (auto _ : state) {
        // A run from its start to its row in the list, the statistics and the session file.
        w.form.DoContact1();
        clock.advance(12345);
        w.form.DoContact2();
        // Keep the list at a realistic length.
        if (++rows == 200) {
            state.PauseTiming();
            w.form.Reset1Click();
            rows = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AddProtocolEntry);

} // namespace
