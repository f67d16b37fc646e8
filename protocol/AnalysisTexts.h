#pragma once

#include "analysis/SeriesAnalysis.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <span>

namespace protocol {

// The slope's unit: "s²/m"; a speed over a time, or a squared speed over a length, is an
// acceleration, "m/s²".
QString slopeUnit(const analysis::PairText &pair);

// The fitted line as an equation with rounded coefficients:
// "t² = (4,00 ± 0,05) s²/m · s", with the intercept first in the linear model.
QString equationText(const analysis::PairText &pair, const analysis::FitResult &fit,
                     QChar decimalSeparator);

// What a page or a panel says about an analysis, line by line: the equation, R², how it
// was weighted, the derived quantity and the notes; a failed fit gives its message and
// the notes.
QStringList fitSummary(const analysis::Analysis &analysis, QChar decimalSeparator);

// The series table: its captions with units ("l (m)", "n", "Mittelwert T (s)", "SD (s)",
// "SEM (s)"), and per series the setting, n, mean, SD and SEM, the three statistics to
// the decimals of the SEM's two significant digits.
QStringList seriesCaptions(const QString &settingSymbol, const QString &valueSymbol,
                           const QString &valueUnit);
QList<QStringList> seriesRows(std::span<const analysis::Point> points, QChar decimalSeparator);

} // namespace protocol
