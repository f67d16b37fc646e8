// Adding one run to a protocol of 10,000: the run log, its table model and the list view
// over it, until the view has laid out and painted the change. Goal: well under 1 ms of
// CPU. The reference adds a row of the same texts to a plain QStandardItemModel shown in a
// plain QTableView: what the toolkit's list costs on its own.
#include "app/RunTableModel.h"
#include "platform/Locale.h"
#include "protocol/RunLog.h"
#include "widgets/ReportList.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>

#include <benchmark/benchmark.h>

namespace {

constexpr int Runs = 10'000;

protocol::Run runAt(int i)
{
    protocol::Run run;
    run.date = QDate(2026, 12, 6);
    run.time = QTime(14, 0, 0).addSecs(i % 3600);
    run.ticks = 12'345 + i;
    run.meters = 0.15;
    run.label = i % 2 ? QStringLiteral("Wagen A") : QStringLiteral("Wagen B");
    return run;
}

// Lets the view do what the event loop does after a change: layout, scrolling, paint.
void settle(QWidget &view)
{
    QCoreApplication::processEvents();
    view.repaint();
}

void BM_AddRunToModelAndView(benchmark::State &state)
{
    protocol::RunLog log;
    QList<protocol::Run> runs;
    for (int i = 0; i < Runs; ++i)
        runs.append(runAt(i));
    log.replace(runs);
    app::RunTableModel model(log);
    widgets::TReportList view;
    view.setColumnCaptions(
        {"Datum/Zeit", "Stoppuhrzeit", "Entfernung", "Geschwindigkeit", "Bezeichnung"});
    view.setModel(&model);
    view.resize(409, 325);
    view.show();
    view.scrollToBottom();
    settle(view);
    int i = Runs;
    for (auto _ : state) {
        log.add(runAt(i++));
        settle(view);
    }
    state.counters["rows"] = double(log.size());
}
BENCHMARK(BM_AddRunToModelAndView)->Unit(benchmark::kMicrosecond);

// The log and its table model without a view: what the program's own code costs.
void BM_AddRunToModelOnly(benchmark::State &state)
{
    protocol::RunLog log;
    QList<protocol::Run> runs;
    for (int i = 0; i < Runs; ++i)
        runs.append(runAt(i));
    log.replace(runs);
    app::RunTableModel model(log);
    int i = Runs;
    for (auto _ : state)
        log.add(runAt(i++));
}
BENCHMARK(BM_AddRunToModelOnly)->Unit(benchmark::kMicrosecond);

void BM_ReferenceAddRowToPlainListView(benchmark::State &state)
{
    const auto row = [](int i) {
        QList<QStandardItem *> items;
        const protocol::Run run = runAt(i);
        for (const QString &text :
             {QStringLiteral("06.12.2026/") + run.time.toString(), QStringLiteral("00:01.2345"),
              QStringLiteral("0,150 m"), QStringLiteral("0,122 m/s"), run.label})
            items.append(new QStandardItem(text));
        return items;
    };
    QStandardItemModel model(0, 5);
    for (int i = 0; i < Runs; ++i)
        model.appendRow(row(i));
    QTableView view;
    view.setModel(&model);
    view.resize(409, 325);
    view.show();
    view.scrollToBottom();
    settle(view);
    int i = Runs;
    for (auto _ : state) {
        model.appendRow(row(i++));
        view.scrollToBottom();
        settle(view);
    }
    state.counters["rows"] = double(model.rowCount());
}
BENCHMARK(BM_ReferenceAddRowToPlainListView)->Unit(benchmark::kMicrosecond);

} // namespace
