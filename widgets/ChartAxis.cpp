#include "widgets/ChartAxis.h"

#include <algorithm>
#include <cmath>

namespace widgets::chart {

double niceStep(double rough)
{
    if (!(rough > 0) || !std::isfinite(rough))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double f : {1.0, 2.0, 5.0, 10.0})
        if (f * power >= rough * (1 - 1e-9))
            return f * power;
    return 10 * power;
}

int decimalsOf(double step)
{
    return std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
}

QString number(double value, int decimals, QChar separator)
{
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // no "-0,0"
    return QString::number(value, 'f', decimals).replace(u'.', separator);
}

QList<double> gridValues(double low, double high, int count, double *step)
{
    const double s = niceStep((high - low) / std::max(1, count));
    if (step)
        *step = s;
    QList<double> values;
    for (double i = std::ceil(low / s); i <= std::floor(high / s) && values.size() < 100; ++i)
        values << i * s;
    return values;
}

} // namespace widgets::chart
