#include "analysis/Rounding.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

constexpr int MostDecimals = 6;

int powerOfTen(double v)
{
    return int(std::floor(std::log10(std::fabs(v))));
}

// v·10^decimals rounded half away from zero, divided back.
double roundedTo(double v, int decimals)
{
    const long double scale = std::pow(10.0L, decimals);
    return double(std::round(static_cast<long double>(v) * scale) / scale);
}

} // namespace

Rounding roundTogether(double value, double uncertainty)
{
    Rounding r;
    if (!(uncertainty > 0) || !std::isfinite(uncertainty)) {
        if (value == 0 || !std::isfinite(value))
            return r;
        r.decimals = 3 - powerOfTen(value);
        if (r.decimals > MostDecimals || r.decimals < 0) {
            r.exponent = powerOfTen(value);
            r.decimals = 3;
        }
        return r;
    }
    r.decimals = 1 - powerOfTen(uncertainty);
    r.uncertainty = roundedTo(uncertainty, r.decimals);
    // 0,0996 becomes 0,100: three digits, so one fewer decimal.
    if (r.uncertainty >= std::pow(10.0, 2 - r.decimals) * (1 - 1e-12)) {
        --r.decimals;
        r.uncertainty = roundedTo(uncertainty, r.decimals);
    }
    if (r.decimals > MostDecimals || r.decimals < 0) {
        const double larger =
            std::isfinite(value) ? std::max(std::fabs(value), r.uncertainty) : r.uncertainty;
        r.exponent = powerOfTen(larger);
        r.decimals = std::max(0, r.decimals + r.exponent);
    }
    return r;
}

} // namespace analysis
