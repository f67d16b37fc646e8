#pragma once

#include "web/ClassViewState.h"

namespace webtest {

// A session as the window would show it after `runs` runs of a cart between two barriers
// 0,150 m apart: German numbers, the display's time text.
inline web::ClassViewState demoState(int runs, bool running, qint64 runningMs = 0)
{
    web::ClassViewState s;
    s.running = running;
    s.runningMs = runningMs;
    s.timeText = runs == 0 ? QStringLiteral("00:00.0000")
                           : QStringLiteral("00:00.%1").arg(4800 + 37 * runs % 400, 4, 10, QLatin1Char('0'));
    s.armedText = running ? QStringLiteral("Messung läuft") : QStringLiteral("Bereit");
    s.armedColor = running ? QStringLiteral("#c62828") : QStringLiteral("#1b6e20");
    s.seriesLabel = QStringLiteral("Serie 1: Wagen auf der Schiene");
    s.modeName = QStringLiteral("Zwischen den Schranken");
    s.runColumns = {QStringLiteral("Nr."), QStringLiteral("Zeit in s"), QStringLiteral("v in m/s")};
    double sum = 0;
    for (int i = 1; i <= runs; ++i) {
        const double t = 0.48 + (37 * i % 400) / 10000.0;
        sum += 0.15 / t;
        s.runs.append({QString::number(i), QString::number(t, 'f', 4).replace(u'.', u','),
                       QString::number(0.15 / t, 'f', 3).replace(u'.', u',')});
        s.chartPoints.append({double(i), 0.15 / t});
    }
    if (runs > 0) {
        const QString mean = QString::number(sum / runs, 'f', 3).replace(u'.', u',');
        s.resultText = QStringLiteral("v = %1 m/s").arg(mean);
        s.statistics = {{QStringLiteral("Anzahl"), QString::number(runs)},
                        {QStringLiteral("Mittelwert v"), mean + QStringLiteral(" m/s")},
                        {QStringLiteral("Strecke"), QStringLiteral("0,150 m")}};
    }
    s.chartXLabel = QStringLiteral("Lauf");
    s.chartYLabel = QStringLiteral("v in m/s");
    return s;
}

} // namespace webtest
