#pragma once

namespace analysis {

// How a value and its standard uncertainty are written together: the uncertainty with
// two significant digits, the value to the same decimal place. Both are shown divided
// by 10^exponent, with `decimals` digits after the separator; the exponent stays 0
// unless fixed notation would need more than six decimals or round to tens.
struct Rounding
{
    int decimals = 0;
    int exponent = 0;
    double uncertainty = 0; // as rounded, before the division by 10^exponent
};

// An uncertainty that is zero or not finite leaves the value with four significant
// digits.
Rounding roundTogether(double value, double uncertainty);

} // namespace analysis
