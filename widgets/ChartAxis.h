#pragma once

#include <QChar>
#include <QList>
#include <QString>

namespace widgets::chart {

// 1, 2 or 5 times a power of ten, at least `rough`.
double niceStep(double rough);

// The decimals a grid of `step` needs.
int decimalsOf(double step);

// An axis label: fixed decimals, the locale's separator, never "-0,0".
QString number(double value, int decimals, QChar separator);

// The grid values of [low, high] at whole multiples of a step giving about `count`
// intervals, counted rather than summed so that no error creeps in.
QList<double> gridValues(double low, double high, int count, double *step = nullptr);

} // namespace widgets::chart
