#include "analysis/SeriesAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace analysis {

namespace {

// Where the plotted point's coordinates come from.
enum class Source { Setting, Time, Speed };

struct PairShape
{
    Source x;
    Source y;
    bool ySquared;
};

PairShape shapeOf(Pair pair)
{
    switch (pair) {
    case Pair::TimeOverDistance:
    case Pair::PeriodOverLength:
        return {Source::Setting, Source::Time, false};
    case Pair::TimeSquaredOverDistance:
    case Pair::PeriodSquaredOverLength:
        return {Source::Setting, Source::Time, true};
    case Pair::DistanceOverTime:
        return {Source::Time, Source::Setting, false};
    case Pair::SpeedOverTime:
        return {Source::Time, Source::Speed, false};
    case Pair::SpeedSquaredOverDistance:
        return {Source::Setting, Source::Speed, true};
    }
    return {Source::Setting, Source::Time, false};
}

struct Coordinate
{
    double value = 0;
    double uncertainty = 0;
    int n = 0;
};

Coordinate coordinate(Source source, const Point &time, const Point *speed)
{
    switch (source) {
    case Source::Setting:
        return {time.setting, 0, time.n};
    case Source::Time:
        return {time.mean, time.sem, time.n};
    case Source::Speed:
        if (!speed)
            return {std::nan(""), 0, 0};
        return {speed->mean, speed->sem, speed->n};
    }
    return {};
}

} // namespace

Point pointOf(double setting, std::span<const double> values)
{
    Point p;
    p.setting = setting;
    p.n = int(values.size());
    if (values.empty())
        return p;
    double sum = 0;
    for (const double v : values)
        sum += v;
    p.mean = sum / double(values.size());
    if (values.size() < 2)
        return p;
    double squares = 0;
    for (const double v : values)
        squares += (v - p.mean) * (v - p.mean);
    p.sd = std::sqrt(squares / double(values.size() - 1));
    p.sem = p.sd / std::sqrt(double(values.size()));
    return p;
}

PairText pairText(Pair pair)
{
    const QString s = QStringLiteral("s");
    const QString m = QStringLiteral("m");
    switch (pair) {
    case Pair::TimeOverDistance:
        return {QStringLiteral("t über s"), s, m, QStringLiteral("t"), s};
    case Pair::TimeSquaredOverDistance:
        return {QStringLiteral("t² über s"), s, m, QStringLiteral("t²"), QStringLiteral("s²")};
    case Pair::DistanceOverTime:
        return {QStringLiteral("s über t"), QStringLiteral("t"), s, s, m};
    case Pair::SpeedOverTime:
        return {QStringLiteral("v über t"), QStringLiteral("t"), s, QStringLiteral("v"),
                QStringLiteral("m/s")};
    case Pair::SpeedSquaredOverDistance:
        return {QStringLiteral("v² über s"), s, m, QStringLiteral("v²"), QStringLiteral("m²/s²")};
    case Pair::PeriodOverLength:
        return {QStringLiteral("T über l"), QStringLiteral("l"), m, QStringLiteral("T"), s};
    case Pair::PeriodSquaredOverLength:
        return {QStringLiteral("T² über l"), QStringLiteral("l"), m, QStringLiteral("T²"),
                QStringLiteral("s²")};
    }
    return {};
}

QList<Pair> pairsForMode(int modeIndex)
{
    switch (modeIndex) {
    case 0:
        return {Pair::TimeOverDistance, Pair::TimeSquaredOverDistance, Pair::DistanceOverTime};
    case 1:
    case 2:
        return {Pair::SpeedOverTime, Pair::SpeedSquaredOverDistance};
    case 3:
        return {Pair::PeriodOverLength, Pair::PeriodSquaredOverLength};
    default:
        // The picket fence fits each pass on its own.
        return {};
    }
}

std::vector<PlotPoint> plotPoints(Pair pair, std::span<const Point> times,
                                  std::span<const Point> speeds)
{
    const PairShape shape = shapeOf(pair);
    std::vector<PlotPoint> points;
    points.reserve(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        const Point *speed = i < speeds.size() ? &speeds[i] : nullptr;
        const Coordinate x = coordinate(shape.x, times[i], speed);
        Coordinate y = coordinate(shape.y, times[i], speed);
        if (shape.ySquared)
            y = {y.value * y.value, 2 * std::fabs(y.value) * y.uncertainty, y.n};
        PlotPoint p;
        p.x = x.value;
        p.ux = x.uncertainty;
        p.y = y.value;
        p.uy = y.uncertainty;
        p.n = std::min(x.n, y.n);
        points.push_back(p);
    }
    return points;
}

std::optional<Derived> derivedOf(Pair pair, const FitResult &fit)
{
    if (!fit.ok())
        return std::nullopt;
    const double m = fit.slope;
    const double um = fit.slopeUncertainty;
    const QString acceleration = QStringLiteral("m/s²");
    switch (pair) {
    case Pair::TimeSquaredOverDistance:
        // t² = (2/a)·s
        if (!(m > 0))
            return std::nullopt;
        return Derived{QStringLiteral("a"), acceleration, 2 / m, 2 * um / (m * m)};
    case Pair::SpeedOverTime:
        return Derived{QStringLiteral("a"), acceleration, m, um};
    case Pair::SpeedSquaredOverDistance:
        // v² = v₀² + 2a·s
        return Derived{QStringLiteral("a"), acceleration, m / 2, um / 2};
    case Pair::PeriodSquaredOverLength: {
        // T² = (4π²/g)·l
        if (!(m > 0))
            return std::nullopt;
        const double k = 4 * std::numbers::pi * std::numbers::pi;
        return Derived{QStringLiteral("g"), acceleration, k / m, k * um / (m * m)};
    }
    case Pair::TimeOverDistance:
    case Pair::DistanceOverTime:
    case Pair::PeriodOverLength:
        break;
    }
    return std::nullopt;
}

Analysis analyse(Pair pair, Model model, std::vector<PlotPoint> points)
{
    Analysis a;
    a.pair = pair;
    a.points = std::move(points);
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> sigma;
    for (const PlotPoint &p : a.points) {
        x.push_back(p.x);
        y.push_back(p.y);
        sigma.push_back(p.uy);
    }
    const bool repeats =
        std::all_of(a.points.begin(), a.points.end(), [](const PlotPoint &p) { return p.n >= 2; });
    const bool spread =
        std::all_of(a.points.begin(), a.points.end(), [](const PlotPoint &p) { return p.uy > 0; });
    // Said only of a line that was fitted.
    QString unweighted;
    if (!repeats)
        unweighted =
            QStringLiteral("Ungewichtet angepasst: nicht jede Serie hat mehrere Messungen.");
    else if (!spread)
        unweighted = QStringLiteral("Ungewichtet angepasst: die Werte auf der y-Achse haben "
                                    "keine Streuung.");
    if (!repeats || !spread)
        sigma.clear();
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = i + 1; j < x.size(); ++j)
            if (x[i] == x[j]) {
                a.notes << QStringLiteral("Punkte %1 und %2 liegen bei demselben x-Wert; jede "
                                          "Serie zählt als eigener Punkt.")
                               .arg(i + 1)
                               .arg(j + 1);
            }
    a.fit = fit(x, y, sigma, model);
    a.derived = derivedOf(pair, a.fit);
    if (a.fit.ok() && !unweighted.isEmpty())
        a.notes.prepend(unweighted);
    return a;
}

} // namespace analysis
