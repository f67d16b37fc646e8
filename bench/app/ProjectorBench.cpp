// One frame of the projector view at 1920 x 1080, as the 100 ms display tick of a running
// clock makes it: a new time in the big display, the state and figures handed over again,
// and what that left to paint painted. Beside it the reference: a blank black window of the
// same size, painted whole. Goal: a tick's frame under 2 ms of CPU time.
// The whole window painted at once (as when it is first shown) is measured too: its large
// lines of text cost most of it.
#include "app/ProjectorView.h"
#include "timing/TimeBase.h"
#include "widgets/IAeverLiquidIndicator.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr QSize Screen(1920, 1080);

// The running display: tenths only, the rest dashes.
QString runningText(timing::Ticks ticks)
{
    QString text = timing::TicksToStr(ticks);
    text.replace(text.size() - 3, 3, QStringLiteral("---"));
    return text;
}

// Counts the display's paints, so the benchmark shows that each frame really drew one.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Projector
{
    Projector()
    {
        look.setSignNumber(9);
        look.setIndicatorKind(widgets::TIAeverLiquidIndicator::ik9segment);
        look.setBackColor(widgets::clBlack);
        look.setNumberForeColor(widgets::clLime);
        look.setNumberBackColor(widgets::clBlack);
        look.setIndicatorStyle(widgets::TIAeverLiquidIndicator::isThick);
        view.copyLook(look);
        view.resize(Screen);
        view.show();
        QCoreApplication::processEvents();
        view.display()->installEventFilter(&counter);
    }

    void tick()
    {
        ticks += 1000; // 100 ms
        view.setTime(runningText(ticks));
        view.setArmedState(session::ArmedState::Running);
        view.setFigures(summary);
    }

    widgets::TIAeverLiquidIndicator look;
    app::ProjectorView view;
    PaintCounter counter;
    app::ProjectorFigures summary{std::nullopt,
                                  {QStringLiteral("Wagen A"), QStringLiteral("s = 1,500 m"), 12,
                                   0.5100L, {QStringLiteral("v = 0,294 m/s")}}};
    timing::Ticks ticks = 0;
};

void BM_ProjectorTickFrame(benchmark::State &state)
{
    Projector p;
    for (auto _ : state) {
        p.tick();
        QCoreApplication::sendPostedEvents(); // the update the tick asked for
    }
    state.counters["paints/frame"] =
        benchmark::Counter(p.counter.paints, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ProjectorTickFrame)->Unit(benchmark::kMicrosecond);

void BM_ProjectorWholeWindow(benchmark::State &state)
{
    Projector p;
    for (auto _ : state) {
        p.tick();
        p.view.repaint();
    }
}
BENCHMARK(BM_ProjectorWholeWindow)->Unit(benchmark::kMicrosecond);

void BM_BlankFullScreenWidget(benchmark::State &state)
{
    QWidget blank;
    QPalette dark = blank.palette();
    dark.setColor(QPalette::Window, Qt::black);
    blank.setPalette(dark);
    blank.setAutoFillBackground(true);
    blank.resize(Screen);
    blank.show();
    QCoreApplication::processEvents();
    for (auto _ : state)
        blank.repaint();
}
BENCHMARK(BM_BlankFullScreenWidget)->Unit(benchmark::kMicrosecond);

} // namespace
