#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

namespace web {

// What the class view shows, as the window formats it: every text is final (German
// numbers, the window's units), so the page only places it. The one figure the page
// computes itself is the running time, which it ticks on from runningMs.
struct ClassViewState
{
    struct Statistic
    {
        QString label;
        QString value;
    };

    bool running = false;
    qint64 runningMs = 0;     // time since the start when published, while running
                              // (the page ticks on locally as MM:SS.hh, like the display)
    QString timeText;         // the display's text when not running
    QString decimalSeparator = QStringLiteral(","); // the locale's, for the chart's scale
    QString armedText;        // e.g. "Bereit", "Läuft"
    QString armedColor;       // "#rrggbb"
    QString seriesLabel;
    QString modeName;
    QString resultText;
    QStringList runColumns;   // the runs table's headings
    QList<QStringList> runs;  // one row of cell texts per run
    QList<Statistic> statistics;
    QString chartXLabel;
    QString chartYLabel;
    QList<QPointF> chartPoints;
};

// Compact JSON, one line (a server-sent event's data must not hold a line break).
QByteArray toJson(const ClassViewState &state);

} // namespace web
