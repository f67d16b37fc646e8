#include "analysis/Fit.h"

#include <gsl/gsl_fit.h>

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

FitResult failed(Model model, bool weighted, QString message)
{
    FitResult result;
    result.model = model;
    result.weighted = weighted;
    result.error = std::move(message);
    return result;
}

// Why the points cannot be fitted, or nothing. GSL would divide by zero or give NaN for
// most of these, so they are refused before it sees them.
QString refusal(std::span<const double> x, std::span<const double> y, std::span<const double> sigma,
                Model model)
{
    const bool weighted = !sigma.empty();
    if (x.size() != y.size() || (weighted && sigma.size() != x.size()))
        return QStringLiteral("Die Punkte haben nicht gleich viele x- und y-Werte.");
    // Without weights the scatter gives the uncertainty, and a line through two points
    // has no scatter.
    const std::size_t needed = model == Model::Linear && !weighted ? 3 : 2;
    if (x.size() < needed)
        return QStringLiteral("Für die Ausgleichsgerade sind mindestens %1 Punkte nötig, "
                              "vorhanden %2.")
            .arg(needed)
            .arg(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || (weighted && !std::isfinite(sigma[i])))
            return QStringLiteral("Punkt %1 hat keinen gültigen Wert.").arg(i + 1);
        if (weighted && !(sigma[i] > 0))
            return QStringLiteral("Punkt %1 hat keine Unsicherheit; ohne sie lässt er sich "
                                  "nicht gewichten.")
                .arg(i + 1);
    }
    if (std::all_of(x.begin(), x.end(), [&](double v) { return v == x[0]; }))
        return QStringLiteral("Alle Punkte liegen bei derselben Einstellung; für eine Gerade "
                              "sind mindestens zwei verschiedene nötig.");
    return {};
}

} // namespace

FitResult fit(std::span<const double> x, std::span<const double> y, std::span<const double> sigma,
              Model model)
{
    const bool weighted = !sigma.empty();
    if (QString why = refusal(x, y, sigma, model); !why.isEmpty())
        return failed(model, weighted, std::move(why));

    const std::size_t n = x.size();
    std::vector<double> w;
    if (weighted) {
        w.reserve(n);
        for (const double s : sigma)
            w.push_back(1 / (s * s));
    }
    FitResult r;
    r.model = model;
    r.weighted = weighted;
    double cov00 = 0;
    double cov11 = 0;
    int status = 0;
    if (model == Model::Linear) {
        status = weighted ? gsl_fit_wlinear(x.data(), 1, w.data(), 1, y.data(), 1, n, &r.intercept,
                                            &r.slope, &cov00, &r.covariance, &cov11, &r.chiSquared)
                          : gsl_fit_linear(x.data(), 1, y.data(), 1, n, &r.intercept, &r.slope,
                                           &cov00, &r.covariance, &cov11, &r.chiSquared);
        r.degreesOfFreedom = int(n) - 2;
    } else {
        status = weighted
                     ? gsl_fit_wmul(x.data(), 1, w.data(), 1, y.data(), 1, n, &r.slope, &cov11,
                                    &r.chiSquared)
                     : gsl_fit_mul(x.data(), 1, y.data(), 1, n, &r.slope, &cov11, &r.chiSquared);
        r.degreesOfFreedom = int(n) - 1;
    }
    if (status != 0 || !std::isfinite(r.slope) || !std::isfinite(r.intercept) ||
        !std::isfinite(cov11) || !std::isfinite(cov00))
        return failed(model, weighted,
                      QStringLiteral("Die Werte lassen sich nicht anpassen: sie liegen zu weit "
                                     "auseinander oder zu dicht beieinander."));
    r.slopeUncertainty = std::sqrt(cov11);
    r.interceptUncertainty = std::sqrt(cov00);

    // R²: the share of the spread about the mean (about zero without intercept) that
    // the line explains, with the fit's weights.
    double wSum = 0;
    double wySum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double wi = weighted ? w[i] : 1;
        wSum += wi;
        wySum += wi * y[i];
    }
    const double centre = model == Model::Linear ? wySum / wSum : 0;
    double residual = 0;
    double total = 0;
    r.residuals.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double wi = weighted ? w[i] : 1;
        const double d = y[i] - r.at(x[i]);
        r.residuals.push_back(d);
        residual += wi * d * d;
        total += wi * (y[i] - centre) * (y[i] - centre);
    }
    r.rSquared = total > 0 ? 1 - residual / total : 1;
    return r;
}

} // namespace analysis
