// What one more run costs once the protocol holds 10,000: the statistics over all rows
// grouped by label (kept run by run), the strip's texts and the chart's data (goal: under
// 1 ms of CPU), the same statistics taken anew over every row (as after a deletion), and
// the chart's picture that the next paint builds. The reference is what adding the row to
// the list view alone costs.
#include "app/RunReport.h"
#include "session/Series.h"
#include "app/RunTableModel.h"
#include "app/StatisticsStrip.h"
#include "protocol/RunLog.h"
#include "protocol/Statistics.h"
#include "widgets/ReportList.h"
#include "widgets/RunChart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr int Runs = 10000;

protocol::Run runNumber(int i)
{
    protocol::Run run;
    run.date = {2026, 12, 7};
    run.time = QTime(8, 0).addSecs(i);
    run.ticks = 8000 + i % 17;
    run.meters = 0.15L;
    run.label = i % 3 ? QStringLiteral("Wagen A") : QStringLiteral("Wagen B");
    return run;
}

QList<protocol::Run> protocolOf(int count)
{
    QList<protocol::Run> runs;
    for (int i = 0; i < count; ++i)
        runs << runNumber(i);
    return runs;
}

// The run appended to the protocol as the window holds it: the log, its table model and
// the list view over it.
void BM_ReferenceAddListRow(benchmark::State &state)
{
    protocol::RunLog runs;
    for (int i = 0; i < Runs; ++i)
        runs.add(runNumber(i));
    app::RunTableModel model(runs);
    widgets::TReportList list;
    list.setModel(&model);
    list.resize(409, 325);
    for (auto _ : state) {
        runs.add(runNumber(Runs));
        state.PauseTiming();
        runs.removeRows({Runs});
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReferenceAddListRow)->Unit(benchmark::kMicrosecond);

// What the window does after a run: the statistics of every series anew, strip and chart.
void BM_UpdateStatisticsAndChart(benchmark::State &state)
{
    QList<protocol::Run> runs = protocolOf(Runs);
    app::StatisticsStrip strip;
    widgets::RunChart chart;
    for (auto _ : state) {
        runs << runNumber(Runs);
        const QList<qsizetype> rows = protocol::statisticsRows({}, runs.size());
        const session::StatisticsView view =
            session::statisticsView(runs, session::seriesOf(runs), rows, u',');
        strip.showStatistics(view.groups(), u',');
        chart.setData(app::chartData(runs, view, u','));
        state.PauseTiming();
        runs.removeLast();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UpdateStatisticsAndChart)->Unit(benchmark::kMicrosecond);

void BM_StatisticsAnew(benchmark::State &state)
{
    const QList<protocol::Run> runs = protocolOf(Runs);
    const QList<qsizetype> rows = protocol::statisticsRows({}, runs.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(protocol::statisticsByLabel(runs, rows));
}
BENCHMARK(BM_StatisticsAnew)->Unit(benchmark::kMicrosecond);

// The picture the chart's next paint builds, at the window's size.
void BM_ChartPicture(benchmark::State &state)
{
    const QList<protocol::Run> runs = protocolOf(Runs);
    const widgets::ChartData data =
        app::chartData(runs, protocol::statisticsRows({}, runs.size()), u',');
    for (auto _ : state)
        benchmark::DoNotOptimize(widgets::renderRunChart(data, {360, 345}, 1, QFont()));
}
BENCHMARK(BM_ChartPicture)->Unit(benchmark::kMicrosecond);

} // namespace
