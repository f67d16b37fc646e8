#pragma once

#include "analysis/SeriesAnalysis.h"
#include "timing/Measurement.h"
#include "widgets/FitPlot.h"

#include <QChar>

namespace app {

// An analysis as the plot shows it: the points with their error bars, the fitted line,
// the axes with units, and above them the equation and the derived result (or why no
// line could be fitted).
widgets::FitPlotData analysisPlot(const analysis::Analysis &analysis, QChar decimalSeparator);

// A picket fence pass's speeds over the time since its first band, with the straight
// line whose slope is the pass's acceleration.
widgets::FitPlotData passPlot(const timing::ModeRun &pass, QChar decimalSeparator);

} // namespace app
