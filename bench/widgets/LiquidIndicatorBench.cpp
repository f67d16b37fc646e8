// One rebuild and one paint of the main window's display. Goal: both together within
// 100 microseconds, so the 100 ms refresh costs the user-interface thread next to nothing.
#include "widgets/IAeverLiquidIndicator.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Set up like the main window's layout: nine 9-segment cells, lime on black.
struct MainWindowDisplay
{
    QWidget host;
    widgets::TIAeverLiquidIndicator *digits = new widgets::TIAeverLiquidIndicator(&host);

    MainWindowDisplay()
    {
        host.resize(800, 400);
        digits->setGeometry(432, 8, 349, 85);
        digits->setSignNumber(9);
        digits->setIndicatorWidth(349);
        digits->setIndicatorHeight(85);
        digits->setIndicatorstring(QStringLiteral("01:07.0452"));
        digits->setIndicatorKind(widgets::TIAeverLiquidIndicator::ik9segment);
        digits->setBackColor(widgets::clBlack);
        digits->setNumberForeColor(widgets::clLime);
        digits->setNumberBackColor(widgets::clBlack);
        digits->setIndicatorStyle(widgets::TIAeverLiquidIndicator::isThick);
        digits->loaded();
    }
};

void BM_RenderIndicator(benchmark::State &state)
{
    MainWindowDisplay display;
    for (auto _ : state) {
        display.digits->RenderIndicator();
        benchmark::DoNotOptimize(display.digits->picture().constBits());
    }
}
BENCHMARK(BM_RenderIndicator);

void BM_Paint(benchmark::State &state)
{
    MainWindowDisplay display;
    QImage target(display.digits->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        display.digits->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_Paint);

// What one refresh with a changed time costs: the assignment rebuilds, then a paint.
void BM_RebuildAndPaint(benchmark::State &state)
{
    MainWindowDisplay display;
    QImage target(display.digits->size(), QImage::Format_RGB32);
    const QString times[2] = {QStringLiteral("01:07.0452"), QStringLiteral("01:07.0453")};
    int next = 0;
    for (auto _ : state) {
        display.digits->setIndicatorstring(times[next]);
        next ^= 1;
        display.digits->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_RebuildAndPaint);

} // namespace
