#include "session/SessionAnalysis.h"

#include "protocol/AnalysisTexts.h"

namespace session {

using timing::MeasurementMode;

namespace {

// The speed a pair of the mode takes: the flag's v, or v2 at the second barrier.
std::optional<double> speedOf(const protocol::Run &run)
{
    const QString name = run.mode == MeasurementMode::Acceleration ? QStringLiteral("v2")
                                                                   : QStringLiteral("v");
    for (const protocol::RunValue &value : run.extra)
        if (value.name == name && value.value)
            return double(*value.value);
    return std::nullopt;
}

QString settingSymbol(MeasurementMode mode)
{
    return mode == MeasurementMode::Pendulum ? QStringLiteral("l") : QStringLiteral("s");
}

QString timeSymbol(MeasurementMode mode)
{
    return mode == MeasurementMode::Pendulum ? QStringLiteral("T") : QStringLiteral("t");
}

} // namespace

SessionAnalysis analyseSession(const QList<protocol::Run> &runs, const QList<Series> &series,
                               MeasurementMode mode, std::optional<analysis::Pair> pair,
                               analysis::Model model)
{
    SessionAnalysis result;
    result.mode = mode;
    result.model = model;
    result.pairs = analysis::pairsForMode(int(mode));
    if (result.pairs.isEmpty()) {
        result.message = QStringLiteral("Der Lattenzaun wird je Durchgang ausgewertet: "
                                        "„v(t) anzeigen …“ im Kontextmenü der Liste.");
        return result;
    }
    result.pair = pair && result.pairs.contains(*pair) ? *pair : result.pairs.front();
    result.analysis.pair = result.pair;

    for (const Series &one : series) {
        if (one.key.mode != mode)
            continue;
        std::vector<double> times, speeds;
        for (const int row : one.rows) {
            if (row < 0 || row >= runs.size())
                continue;
            const protocol::Run &run = runs.at(row);
            if (!run.ticks || *run.ticks <= 0)
                continue; // a run without a time has nothing to plot
            times.push_back(double(*run.ticks) / double(timing::TicksPerSecond));
            if (const std::optional<double> v = speedOf(run))
                speeds.push_back(*v);
        }
        if (times.empty())
            continue;
        const double setting = double(one.key.setting);
        result.keys << one.key;
        result.times.push_back(analysis::pointOf(setting, times));
        result.speeds.push_back(analysis::pointOf(setting, speeds));
    }
    if (result.keys.isEmpty()) {
        result.message = QStringLiteral("Keine Messreihen in der Messart „%1“ – "
                                        "erst messen, dann auswerten.")
                             .arg(modeName(mode));
        return result;
    }
    result.analysis = analysis::analyse(result.pair, model,
                                        analysis::plotPoints(result.pair, result.times,
                                                             result.speeds));
    return result;
}

QStringList SessionAnalysis::captions() const
{
    return protocol::seriesCaptions(settingSymbol(mode), timeSymbol(mode), QStringLiteral("s"));
}

QList<QStringList> SessionAnalysis::rows(QChar decimalSeparator) const
{
    return protocol::seriesRows(times, decimalSeparator);
}

QStringList SessionAnalysis::summary(QChar decimalSeparator) const
{
    if (!message.isEmpty())
        return {message};
    return protocol::fitSummary(analysis, decimalSeparator);
}

} // namespace session
