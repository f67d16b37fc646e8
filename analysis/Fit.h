#pragma once

#include <QString>

#include <span>
#include <vector>

namespace analysis {

// Through the origin (y = m·x) or with an intercept (y = a + m·x).
enum class Model { Proportional, Linear };

// A straight line fitted to points. Unweighted fits give the standard uncertainties
// scaled by the residual scatter (as NIST certifies them); weighted fits take them from
// the weights alone, since those are the points' own measured standard errors, and give
// chi² beside them to judge whether the scatter agrees.
struct FitResult
{
    QString error; // German; empty when the fit succeeded
    Model model = Model::Linear;
    bool weighted = false;
    double slope = 0;
    double slopeUncertainty = 0;
    double intercept = 0; // 0 for the proportional model
    double interceptUncertainty = 0;
    double covariance = 0; // of intercept and slope
    // Centred for the linear model, about zero for the proportional one; weighted where
    // the fit is.
    double rSquared = 0;
    double chiSquared = 0; // sum of the squared residuals, weighted where the fit is
    int degreesOfFreedom = 0;
    std::vector<double> residuals; // y − fitted y, in the points' order

    bool ok() const { return error.isEmpty(); }
    double at(double x) const { return intercept + slope * x; }
};

// Fits `y` over `x`. `sigma` empty fits unweighted; otherwise each point weighs
// 1/sigma². Points that cannot be fitted (too few, no spread in x, not finite, a
// standard error of zero) give a result with `error` set and no numbers.
FitResult fit(std::span<const double> x, std::span<const double> y, std::span<const double> sigma,
              Model model);

} // namespace analysis
