#pragma once

#include "analysis/Fit.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>
#include <vector>

namespace analysis {

// One series as a point at its setting (distance, flag length, pendulum length, in
// metres): the number of runs and their mean, standard deviation and standard error.
struct Point
{
    double setting = 0;
    int n = 0;
    double mean = 0;
    double sd = 0;  // sample standard deviation; 0 for a single run
    double sem = 0; // sd/√n; 0 for a single run
};

// The point of `values` (two passes, so that a large offset keeps its digits).
Point pointOf(double setting, std::span<const double> values);

// What is plotted over what.
enum class Pair {
    TimeOverDistance,         // t over s
    TimeSquaredOverDistance,  // t² over s; a = 2/slope
    DistanceOverTime,         // s over t
    SpeedOverTime,            // v over t; a = slope
    SpeedSquaredOverDistance, // v² over s; a = slope/2
    PeriodOverLength,         // T over l
    PeriodSquaredOverLength,  // T² over l; g = 4π²/slope
};

// Axis captions with units ("t² in s²") and the title ("t² über s").
struct PairText
{
    QString title;
    QString xSymbol;
    QString xUnit;
    QString ySymbol;
    QString yUnit;
};
PairText pairText(Pair pair);

// The pairs that make sense for a measurement mode, by its stored index (0 between the
// barriers, 1 dark time, 2 acceleration, 3 pendulum, 4 picket fence), the first being
// the one to show unless the user picks another.
QList<Pair> pairsForMode(int modeIndex);

// A plotted point with the standard uncertainties of both coordinates.
struct PlotPoint
{
    double x = 0;
    double y = 0;
    double ux = 0;
    double uy = 0;
    int n = 0; // runs behind it: the fewer of the two coordinates'
};

// The points of `pair`: `times` holds each series' main time (t, T), `speeds` the same
// series' speed where the pair needs one (v over t, v² over s). A squared mean m with
// standard error σ becomes m² with 2|m|σ.
std::vector<PlotPoint> plotPoints(Pair pair, std::span<const Point> times,
                                  std::span<const Point> speeds = {});

// A quantity the slope gives: "a" in m/s², "g" in m/s².
struct Derived
{
    QString symbol;
    QString unit;
    double value = 0;
    double uncertainty = 0;
};

struct Analysis
{
    Pair pair = Pair::TimeOverDistance;
    std::vector<PlotPoint> points;
    FitResult fit;
    std::optional<Derived> derived;
    // Remarks that do not stop the fit: why it is unweighted, a setting measured twice.
    QStringList notes;
};

// Fits the points, weighted by the standard errors of y when every point has repeats
// and a spread (the uncertainty of x is not weighed), unweighted otherwise.
Analysis analyse(Pair pair, Model model, std::vector<PlotPoint> points);

// The derived quantity of a successful fit, where the pair has one.
std::optional<Derived> derivedOf(Pair pair, const FitResult &fit);

} // namespace analysis
