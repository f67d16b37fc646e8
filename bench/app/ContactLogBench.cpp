// The contact display's costs while it is open: keeping 10000 edges, and one paint of its
// traces with 10000 edges in view (a long burst of bounces), at the default five seconds
// and zoomed in to 10 ms. References in the same run: the same edges appended to a plain
// vector, and a widget of the same size whose paint only fills its background, which is
// the least any paint of that area costs.
#include "app/ContactLog.h"
#include "app/ContactLogView.h"
#include "support/FakeClock.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int Edges = 10'000;
constexpr QSize ViewSize(800, 300);

// Both lines bouncing: bursts of edges 3 ticks apart, a burst every 20 ticks, all within
// the five seconds before `end`.
std::vector<timing::LineEdge> bouncing(timing::Ticks end)
{
    std::vector<timing::LineEdge> edges;
    edges.reserve(Edges);
    timing::Ticks at = end - 45'000;
    for (int i = 0; i < Edges; ++i) {
        at += i % 5 == 4 ? 8 : 3;
        edges.push_back({1 + (i / 5) % 2, i % 2 == 0, at, 0.00005, i % 997 == 0});
    }
    return edges;
}

// Argument 1: the display was just opened, its ring empty and without memory; 0: the ring
// has its memory, as after the first seconds (full after ten rounds, then overwriting).
void BM_ContactLogAdd10000(benchmark::State &state)
{
    const bool opened = state.range(0) != 0;
    const std::vector<timing::LineEdge> edges = bouncing(1'000'000);
    app::ContactLog log;
    for (auto _ : state) {
        if (opened)
            log.clear(0);
        for (const timing::LineEdge &e : edges)
            log.add(e);
        benchmark::DoNotOptimize(log.size());
    }
    state.SetItemsProcessed(state.iterations() * Edges);
}
BENCHMARK(BM_ContactLogAdd10000)->Arg(1)->Arg(0);

void BM_ReferenceVectorAppend10000(benchmark::State &state)
{
    const bool opened = state.range(0) != 0;
    const std::vector<timing::LineEdge> edges = bouncing(1'000'000);
    std::vector<timing::LineEdge> copy;
    for (auto _ : state) {
        if (opened)
            std::vector<timing::LineEdge>().swap(copy);
        else
            copy.clear();
        for (const timing::LineEdge &e : edges)
            copy.push_back(e);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations() * Edges);
}
BENCHMARK(BM_ReferenceVectorAppend10000)->Arg(1)->Arg(0);

// One paint of the traces; the argument is the stretch shown in ticks.
void BM_ContactLogPaint10000(benchmark::State &state)
{
    FakeClock clock;
    clock.set(1'000'000);
    app::ContactLog log;
    for (const timing::LineEdge &e : bouncing(1'000'000))
        log.add(e);
    app::ContactLogView view(log);
    view.resize(ViewSize);
    view.setPaused(true);
    view.zoom(state.range(0) == 100 ? 9 : 0);
    QImage target(ViewSize, QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["ticks_shown"] = double(view.span().length);
}
BENCHMARK(BM_ContactLogPaint10000)->Arg(50'000)->Arg(100);

class Background : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), QColor(24, 24, 24)); }
};

void BM_ReferenceBackgroundPaint(benchmark::State &state)
{
    Background blank;
    blank.resize(ViewSize);
    QImage target(ViewSize, QImage::Format_RGB32);
    for (auto _ : state) {
        blank.render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ReferenceBackgroundPaint);

} // namespace
