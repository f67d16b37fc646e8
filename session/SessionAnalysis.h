#pragma once

#include "analysis/SeriesAnalysis.h"
#include "session/Series.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace session {

// The analysis of a session's series in one mode: each series a point at its setting,
// the pair and model chosen, the fit, and the texts a view or a page shows.
struct SessionAnalysis
{
    timing::MeasurementMode mode = timing::MeasurementMode::BetweenBarriers;
    QList<analysis::Pair> pairs; // what the mode can plot; empty for the picket fence
    analysis::Pair pair = analysis::Pair::TimeOverDistance;
    analysis::Model model = analysis::Model::Proportional;
    QList<SeriesKey> keys;               // the series analysed, in the session's order
    std::vector<analysis::Point> times;  // per series: t, dark time or T at its setting
    std::vector<analysis::Point> speeds; // per series: v (dark time) or v2 (acceleration)
    analysis::Analysis analysis;
    // Why there is nothing to fit ("Keine Reihen …"); empty when the fit was tried.
    QString message;

    bool fitted() const { return message.isEmpty() && analysis.fit.ok(); }
    // The series table: captions with units, and a row per series.
    QStringList captions() const;
    QList<QStringList> rows(QChar decimalSeparator) const;
    // The equation, R², weighting, derived quantity and notes (or why it failed).
    QStringList summary(QChar decimalSeparator) const;
};

// The series of `mode` among `series` of `runs`, plotted as `pair` (the mode's first
// when none is given or it does not fit the mode) and fitted with `model`.
SessionAnalysis analyseSession(const QList<protocol::Run> &runs, const QList<Series> &series,
                               timing::MeasurementMode mode,
                               std::optional<analysis::Pair> pair = std::nullopt,
                               analysis::Model model = analysis::Model::Proportional);

} // namespace session
