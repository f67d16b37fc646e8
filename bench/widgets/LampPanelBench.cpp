// One lamp render, one lamp paint and one paint of the whole wiring panel, as the main
// window has them. Goals: a render within 10 microseconds, a lamp paint within 2, a panel
// paint within 150. Each runs on idle cores and with every core kept busy (/1), since a
// classroom PC runs other programs too. The reference is a plain widget of the same size
// whose paint draws nothing: what the toolkit's paint machinery costs on its own.
#include "widgets/IAgaloLED.h"
#include "widgets/PicturePanel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// Keeps every core busy while it lives.
class CoreLoad
{
public:
    explicit CoreLoad(bool on)
    {
        if (!on)
            return;
        for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
            m_threads.emplace_back([this] {
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~CoreLoad()
    {
        m_stop.store(true);
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// The main window's panel: a 331 x 283 diagram centred on 349 x 345, four lamps on it.
struct WiringPanel
{
    widgets::TPicturePanel panel;
    widgets::TIAgaloLED *lamps[4];

    WiringPanel()
    {
        panel.resize(349, 345);
        QImage diagram(331, 283, QImage::Format_ARGB32);
        for (int y = 0; y < diagram.height(); ++y)
            for (int x = 0; x < diagram.width(); ++x)
                diagram.setPixel(x, y, (x + y) % 7 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        panel.setBitmapAlign(widgets::picpanel::paCenter);
        panel.setBitmap(diagram);
        const QPoint places[4] = {{199, 71}, {299, 71}, {199, 260}, {299, 260}};
        for (int i = 0; i < 4; ++i) {
            lamps[i] = new widgets::TIAgaloLED(&panel);
            lamps[i]->move(places[i]);
            lamps[i]->setLedPlasticColor(widgets::clLime);
            lamps[i]->setLedOn(true);
            lamps[i]->setLedWidth(20);
            lamps[i]->setLedHeight(10);
            lamps[i]->loaded();
        }
        panel.buffer();
    }
};

class Blank : public QWidget
{
public:
    Blank() { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent *) override {}
};

void BM_LampRender(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    WiringPanel wiring;
    widgets::TIAgaloLED *lamp = wiring.lamps[0];
    for (auto _ : state) {
        lamp->RenderLed();
        benchmark::DoNotOptimize(lamp->picture().constBits());
    }
}
BENCHMARK(BM_LampRender)->Arg(0)->Arg(1);

// What the lamp's paint does: copy its picture onto the window's surface.
void BM_LampPaint(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    WiringPanel wiring;
    widgets::TIAgaloLED *lamp = wiring.lamps[0];
    QImage surface(349, 345, QImage::Format_RGB32);
    QPainter painter(&surface);
    const QImage &picture = lamp->picture();
    for (auto _ : state) {
        painter.drawImage(lamp->pos(), picture);
        benchmark::DoNotOptimize(surface.constBits());
    }
}
BENCHMARK(BM_LampPaint)->Arg(0)->Arg(1);

// The lamp's whole paint through the toolkit, against the same for a blank widget.
void BM_LampPaintEvent(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    WiringPanel wiring;
    QImage target(24, 14, QImage::Format_RGB32);
    for (auto _ : state) {
        wiring.lamps[0]->render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_LampPaintEvent)->Arg(0)->Arg(1);

void BM_ReferenceBlankPaintEvent24x14(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    Blank blank;
    blank.resize(24, 14);
    QImage target(24, 14, QImage::Format_RGB32);
    for (auto _ : state) {
        blank.render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ReferenceBlankPaintEvent24x14)->Arg(0)->Arg(1);

// The panel's paint of its whole area, lamps left to themselves.
void BM_PanelPaint(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    WiringPanel wiring;
    QImage target(349, 345, QImage::Format_RGB32);
    for (auto _ : state) {
        wiring.panel.render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PanelPaint)->Arg(0)->Arg(1);

// The panel's buffer rebuilt, as after a change of its picture or layout.
void BM_PanelRebuild(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    WiringPanel wiring;
    for (auto _ : state) {
        wiring.panel.RenderBuffer();
        benchmark::DoNotOptimize(wiring.panel.buffer().constBits());
    }
}
BENCHMARK(BM_PanelRebuild)->Arg(0)->Arg(1);

void BM_ReferenceBlankPaintEvent349x345(benchmark::State &state)
{
    CoreLoad load(state.range(0) != 0);
    Blank blank;
    blank.resize(349, 345);
    QImage target(349, 345, QImage::Format_RGB32);
    for (auto _ : state) {
        blank.render(&target, {}, {}, {});
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ReferenceBlankPaintEvent349x345)->Arg(0)->Arg(1);

} // namespace
