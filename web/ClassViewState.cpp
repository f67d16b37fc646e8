#include "web/ClassViewState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace web {

namespace {

QJsonArray texts(const QStringList &list)
{
    QJsonArray array;
    for (const QString &text : list)
        array.append(text);
    return array;
}

// JSON has no NaN or infinity; a point the chart cannot place is left out.
QJsonArray points(const QList<QPointF> &list)
{
    QJsonArray array;
    for (const QPointF &p : list) {
        if (std::isfinite(p.x()) && std::isfinite(p.y()))
            array.append(QJsonArray{p.x(), p.y()});
    }
    return array;
}

} // namespace

QByteArray toJson(const ClassViewState &state)
{
    QJsonArray runs;
    for (const QStringList &row : state.runs)
        runs.append(texts(row));
    QJsonArray statistics;
    for (const auto &s : state.statistics)
        statistics.append(QJsonArray{s.label, s.value});

    const QJsonObject object{
        {QStringLiteral("running"), state.running},
        {QStringLiteral("runningMs"), double(state.runningMs)},
        {QStringLiteral("timeText"), state.timeText},
        {QStringLiteral("decimalSeparator"), state.decimalSeparator},
        {QStringLiteral("armedText"), state.armedText},
        {QStringLiteral("armedColor"), state.armedColor},
        {QStringLiteral("seriesLabel"), state.seriesLabel},
        {QStringLiteral("modeName"), state.modeName},
        {QStringLiteral("resultText"), state.resultText},
        {QStringLiteral("runColumns"), texts(state.runColumns)},
        {QStringLiteral("runs"), runs},
        {QStringLiteral("statistics"), statistics},
        {QStringLiteral("chartXLabel"), state.chartXLabel},
        {QStringLiteral("chartYLabel"), state.chartYLabel},
        {QStringLiteral("chartPoints"), points(state.chartPoints)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace web
