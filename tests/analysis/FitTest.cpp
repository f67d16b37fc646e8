#include "analysis/Fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using analysis::FitResult;
using analysis::Model;

namespace {

// NIST's data sets for straight lines with their certified results (StRD, linear least
// squares): a double-precision fit must give at least nine significant digits of each.
struct Certified
{
    const char *name;
    Model model;
    std::vector<double> x;
    std::vector<double> y;
    double slope, slopeSd;
    double intercept, interceptSd;
    double residualSumOfSquares;
    double rSquared;
};

std::vector<double> norrisX()
{
    return {0.2, 337.4, 118.2, 884.6, 10.1,  226.5, 666.3, 996.3, 448.6, 777.0, 558.2, 0.4,
            0.6, 775.5, 666.9, 338.0, 447.5, 11.6,  556.0, 228.1, 995.8, 887.6, 120.2, 0.3,
            0.3, 556.8, 339.1, 887.2, 999.0, 779.0, 11.1,  118.3, 229.2, 669.1, 448.9, 0.5};
}
std::vector<double> norrisY()
{
    return {0.1, 338.8, 118.1, 888.0, 9.2,   228.1, 668.5, 998.5, 449.1, 778.9, 559.2, 0.3,
            0.1, 778.1, 668.8, 339.3, 448.9, 10.8,  557.7, 228.3, 998.0, 888.8, 119.6, 0.3,
            0.6, 557.6, 339.3, 888.0, 998.5, 778.9, 10.2,  117.6, 228.9, 668.4, 449.2, 0.2};
}

std::vector<double> range(double from, int count)
{
    std::vector<double> v;
    for (int i = 0; i < count; ++i)
        v.push_back(from + i);
    return v;
}

void expectDigits(double got, double certified, const char *what)
{
    SCOPED_TRACE(what);
    if (certified == 0)
        EXPECT_NEAR(got, 0, 1e-12);
    else
        EXPECT_NEAR(got / certified, 1, 1e-9) << got << " vs " << certified;
}

TEST(FitTest, ReproducesNistCertifiedResults)
{
    const Certified sets[] = {
        {"Norris", Model::Linear, norrisX(), norrisY(), 1.00211681802045, 0.429796848199937E-03,
         -0.262323073774029, 0.232818234301152, 26.6173985294224, 0.999993745883712},
        {"NoInt1", Model::Proportional, range(60, 11), range(130, 11), 2.07438016528926,
         0.165289256198347E-01, 0, 0, 127.272727272727, 0.999365492298663},
        {"NoInt2",
         Model::Proportional,
         {4, 5, 6},
         {3, 4, 4},
         0.727272727272727,
         0.420827318078432E-01,
         0,
         0,
         0.272727272727273,
         0.993348115299335},
    };
    for (const Certified &set : sets) {
        SCOPED_TRACE(set.name);
        const FitResult r = analysis::fit(set.x, set.y, {}, set.model);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_FALSE(r.weighted);
        expectDigits(r.slope, set.slope, "slope");
        expectDigits(r.slopeUncertainty, set.slopeSd, "slope sd");
        expectDigits(r.intercept, set.intercept, "intercept");
        expectDigits(r.interceptUncertainty, set.interceptSd, "intercept sd");
        expectDigits(r.chiSquared, set.residualSumOfSquares, "residual sum of squares");
        expectDigits(r.rSquared, set.rSquared, "R²");
        ASSERT_EQ(r.residuals.size(), set.x.size());
        double squares = 0;
        for (std::size_t i = 0; i < set.x.size(); ++i) {
            EXPECT_DOUBLE_EQ(r.residuals[i], set.y[i] - r.at(set.x[i]));
            squares += r.residuals[i] * r.residuals[i];
        }
        expectDigits(squares, set.residualSumOfSquares, "sum of the residuals' squares");
    }
}

// The least-squares solution computed exactly: x = X/xScale, y = Y/yScale with integer X
// and Y, integer weights w (all 1 unweighted). Every sum is an exact 128-bit integer; only
// the final quotients are rounded, once, to long double.
__extension__ typedef __int128 Int;

struct Exact
{
    long double slope, slopeSd, intercept, interceptSd, chiSquared;
};

long double ratio(Int numerator, Int denominator)
{
    return static_cast<long double>(numerator) / static_cast<long double>(denominator);
}

Exact exactFit(const std::vector<long long> &X, long long xScale, const std::vector<long long> &Y,
               long long yScale, const std::vector<long long> &w, Model model)
{
    const bool weighted = !w.empty();
    Int W = 0, Sx = 0, Sy = 0, Sxx = 0, Sxy = 0, Syy = 0;
    for (std::size_t i = 0; i < X.size(); ++i) {
        const Int wi = weighted ? w[i] : 1;
        W += wi;
        Sx += wi * X[i];
        Sy += wi * Y[i];
        Sxx += wi * X[i] * X[i];
        Sxy += wi * X[i] * Y[i];
        Syy += wi * Y[i] * Y[i];
    }
    const long double sx = xScale, sy = yScale;
    const auto n = static_cast<long double>(X.size());
    Exact e{};
    if (model == Model::Linear) {
        const Int D = W * Sxx - Sx * Sx;
        const Int N = W * Sxy - Sx * Sy;
        const Int A = Sxx * Sy - Sx * Sxy;
        e.slope = ratio(N, D) * sx / sy;
        e.intercept = ratio(A, D) / sy;
        // chi² = (Syy'·D − N²)/(W·D), in y's units squared
        e.chiSquared = ratio((W * Syy - Sy * Sy) * D - N * N, W * D) / (sy * sy);
        const long double scale = weighted ? 1 : e.chiSquared / (n - 2);
        e.slopeSd = std::sqrt(scale * ratio(W, D) * sx * sx);
        e.interceptSd = std::sqrt(scale * ratio(Sxx, D));
    } else {
        e.slope = ratio(Sxy, Sxx) * sx / sy;
        e.chiSquared = ratio(Syy * Sxx - Sxy * Sxy, Sxx) / (sy * sy);
        const long double scale = weighted ? 1 : e.chiSquared / (n - 1);
        e.slopeSd = std::sqrt(scale * ratio(1, Sxx) * sx * sx);
    }
    return e;
}

struct ExactCase
{
    const char *name;
    std::vector<long long> X;
    long long xScale;
    std::vector<long long> Y;
    long long yScale;
    double tolerance; // relative; the ill-conditioned inputs are decimals off by half an ulp
};

TEST(FitTest, AgreesWithAnExactComputation)
{
    const ExactCase cases[] = {
        {"small integers", {1, 2, 3, 4, 5}, 1, {21, 39, 62, 78, 101}, 10, 1e-12},
        {"decimal times over distances",
         {250, 500, 750, 1000},
         1000,
         {1001, 1409, 1738, 2003},
         1000,
         1e-12},
        // Settings near 1000 m that differ by a millimetre at most: the sums of x² lose
        // every digit of the spread unless the fit centres the data.
        {"ill-conditioned: 1000 m ± 1 mm",
         {10000000, 10000002, 10000005, 10000007, 10000010},
         10000,
         {2003, 2011, 2019, 2032, 2041},
         1000,
         1e-9},
    };
    const std::vector<long long> weightSets[] = {{}, {1, 4, 2, 3, 1}};
    for (const ExactCase &c : cases) {
        for (const std::vector<long long> &weights : weightSets) {
            for (const Model model : {Model::Proportional, Model::Linear}) {
                const std::vector<long long> w(
                    weights.begin(),
                    weights.begin() + std::ptrdiff_t(weights.empty() ? 0 : c.X.size()));
                SCOPED_TRACE(testing::Message()
                             << c.name << (w.empty() ? ", unweighted" : ", weighted")
                             << (model == Model::Linear ? ", linear" : ", proportional"));
                std::vector<double> x, y, sigma;
                for (std::size_t i = 0; i < c.X.size(); ++i) {
                    x.push_back(double(c.X[i]) / double(c.xScale));
                    y.push_back(double(c.Y[i]) / double(c.yScale));
                    if (!w.empty())
                        sigma.push_back(1 / std::sqrt(double(w[i])));
                }
                const FitResult r = analysis::fit(x, y, sigma, model);
                ASSERT_TRUE(r.ok()) << r.error.toStdString();
                EXPECT_EQ(r.weighted, !w.empty());
                const Exact e = exactFit(c.X, c.xScale, c.Y, c.yScale, w, model);
                const auto near = [&](double got, long double want, const char *what) {
                    EXPECT_NEAR(got, double(want), c.tolerance * std::fabs(double(want)) + 1e-300)
                        << what;
                };
                near(r.slope, e.slope, "slope");
                near(r.slopeUncertainty, e.slopeSd, "slope's uncertainty");
                near(r.chiSquared, e.chiSquared, "chi²");
                if (model == Model::Linear) {
                    near(r.intercept, e.intercept, "intercept");
                    near(r.interceptUncertainty, e.interceptSd, "intercept's uncertainty");
                } else {
                    EXPECT_EQ(r.intercept, 0);
                    EXPECT_EQ(r.interceptUncertainty, 0);
                }
            }
        }
    }
}

struct Refused
{
    const char *name;
    Model model;
    std::vector<double> x, y, sigma;
    std::string message;
};

TEST(FitTest, RefusesWhatCannotBeFittedInGerman)
{
    const double nan = std::nan("");
    const double inf = INFINITY;
    const char *two = "Für die Ausgleichsgerade sind mindestens 2 Punkte nötig, vorhanden ";
    const char *same = "Alle Punkte liegen bei derselben Einstellung; für eine Gerade sind "
                       "mindestens zwei verschiedene nötig.";
    const char *noValue = " hat keinen gültigen Wert.";
    const char *noWeight = " hat keine Unsicherheit; ohne sie lässt er sich nicht gewichten.";
    const std::vector<double> none;
    // clang-format off
    const Refused cases[] = {
        {"no point",             Model::Proportional, none,            none,        none,            two + std::string("0.")},
        {"one point",            Model::Proportional, {0.5},           {1.4},       none,            two + std::string("1.")},
        {"one weighted point",   Model::Linear,       {0.5},           {1.4},       {0.1},           two + std::string("1.")},
        {"a line through two points has no scatter",
                                 Model::Linear,       {0.5, 1},        {1, 2},      none,
         "Für die Ausgleichsgerade sind mindestens 3 Punkte nötig, vorhanden 2."},
        {"one setting repeated", Model::Linear,       {0.5, 0.5, 0.5}, {1, 1.1, 0.9}, none,          same},
        {"one setting repeated, proportional",
                                 Model::Proportional, {0.5, 0.5},      {1, 1.1},    none,            same},
        {"not a number",         Model::Linear,       {0.5, 1, 2},     {1, nan, 3}, none,            "Punkt 2" + std::string(noValue)},
        {"infinite x",           Model::Proportional, {inf, 1, 2},     {1, 2, 3},   none,            "Punkt 1" + std::string(noValue)},
        {"infinite uncertainty", Model::Proportional, {1, 2, 3},       {1, 2, 3},   {0.1, 0.1, inf}, "Punkt 3" + std::string(noValue)},
        {"zero weight",          Model::Linear,       {1, 2, 3},       {1, 2, 3},   {0.1, 0, 0.1},   "Punkt 2" + std::string(noWeight)},
        {"negative uncertainty", Model::Proportional, {1, 2},          {1, 2},      {-0.1, 0.1},     "Punkt 1" + std::string(noWeight)},
        {"lists of different lengths",
                                 Model::Linear,       {1, 2, 3},       {1, 2},      none,
         "Die Punkte haben nicht gleich viele x- und y-Werte."},
        {"overflowing squares",  Model::Linear,       {1e300, 2e300, 3e300}, {1, 2, 3}, none,
         "Die Werte lassen sich nicht anpassen: sie liegen zu weit auseinander oder zu dicht "
         "beieinander."},
    };
    // clang-format on
    for (const Refused &c : cases) {
        SCOPED_TRACE(c.name);
        const FitResult r = analysis::fit(c.x, c.y, c.sigma, c.model);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error.toStdString(), c.message);
        EXPECT_TRUE(r.residuals.empty());
    }
}

TEST(FitTest, ExactDataFitsWithoutScatter)
{
    // y = 0,5 + 2x exactly, and y = 0 everywhere: R² 1, no uncertainty, no NaN.
    const std::vector<double> x{1, 2, 3, 4};
    for (const std::vector<double> &y :
         {std::vector<double>{2.5, 4.5, 6.5, 8.5}, std::vector<double>{0, 0, 0, 0}}) {
        for (const Model model : {Model::Proportional, Model::Linear}) {
            const FitResult r = analysis::fit(x, y, {}, model);
            ASSERT_TRUE(r.ok());
            EXPECT_TRUE(std::isfinite(r.rSquared));
            if (model == Model::Linear || y[0] == 0) {
                EXPECT_NEAR(r.rSquared, 1, 1e-15);
                EXPECT_NEAR(r.slopeUncertainty, 0, 1e-15);
            }
        }
    }
}

} // namespace
