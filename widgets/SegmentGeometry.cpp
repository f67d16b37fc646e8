#include "widgets/SegmentGeometry.h"

#include "widgets/SegmentGlyphs.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace widgets {

namespace lcd {
namespace {

// Truncation toward zero: the bars' outlines depend on it, floor would shift them.
int T(double value)
{
    return static_cast<int>(std::trunc(value));
}

// One coordinate: T(units * u + parts * part) + add, with u = ux or uy.
enum Part { H, C, E, Q };
struct Coord
{
    double units;
    double parts;
    Part part;
    int add;
};
struct Vertex
{
    Coord x;
    Coord y;
};
using Shape = std::array<Vertex, 6>;

// The outlines on the cell's 8 by 8 grid; the +-1 corrections leave a one-pixel seam
// between neighbouring segments.
constexpr std::array<Shape, 10> kShapes{{
    // 1 lower-left
    {{{{1, 0, H, 0}, {7, 1, H, -1}},
      {{1, -1, H, 0}, {7, -1, H, -1}},
      {{1.5, -1, H, 0}, {4, 1, H, 0}},
      {{1.5, 0, H, 0}, {4, 0, H, 0}},
      {{1.5, 1, H, 0}, {4, 1, H, 0}},
      {{1, 1, H, 0}, {7, -1, H, -1}}}},
    // 2 upper-left
    {{{{1.5, 0, H, 0}, {4, 0, H, -1}},
      {{1.5, -1, H, 0}, {4, -1, H, -1}},
      {{2, -1, H, 0}, {1, 1, H, 0}},
      {{2, 0, H, 0}, {1, -1, H, 0}},
      {{2, 1, H, 0}, {1, 1, H, 0}},
      {{1.5, 1, H, 0}, {4, -1, H, -1}}}},
    // 3 top
    {{{{2, 0, H, 1}, {1, -1, H, 0}},
      {{2, 1, H, 1}, {1, -1, H, 0}},
      {{6.5, -1, H, -1}, {1, -1, H, 0}},
      {{6.5, 0, H, -1}, {1, -1, H, 0}},
      {{6.5, -1, H, -1}, {1, 1, H, 0}},
      {{2, 1, H, 1}, {1, 1, H, 0}}}},
    // 4 upper-right
    {{{{6.5, 0, H, 0}, {1, -1, H, 0}},
      {{6.5, 1, H, 0}, {1, 1, H, 0}},
      {{6, 1, H, 0}, {4, -1, H, -1}},
      {{6, 0, H, 0}, {4, 0, H, -1}},
      {{6, -1, H, 0}, {4, -1, H, -1}},
      {{6.5, -1, H, 0}, {1, 1, H, 0}}}},
    // 5 lower-right
    {{{{6, 0, H, 0}, {4, 0, H, 0}},
      {{6, 1, H, 0}, {4, 1, H, 0}},
      {{5.5, 1, H, 0}, {7, -1, H, -1}},
      {{5.5, 0, H, 0}, {7, 1, H, -1}},
      {{5.5, -1, H, 0}, {7, -1, H, -1}},
      {{6, -1, H, 0}, {4, 1, H, 0}}}},
    // 6 bottom
    {{{{1, 0, H, 1}, {7, 1, H, 0}},
      {{1, 1, H, 1}, {7, -1, H, 0}},
      {{5.5, -1, H, -1}, {7, -1, H, 0}},
      {{5.5, 0, H, -1}, {7, 1, H, 0}},
      {{5.5, -1, H, -1}, {7, 1, H, 0}},
      {{1, 1, H, 1}, {7, 1, H, 0}}}},
    // 7 middle
    {{{{1.5, 0, H, 1}, {4, 0, H, 0}},
      {{1.5, 1, H, 1}, {4, -1, H, 0}},
      {{6, -1, H, -1}, {4, -1, H, 0}},
      {{6, 0, H, -1}, {4, 0, H, 0}},
      {{6, -1, H, -1}, {4, 1, H, 0}},
      {{1.5, 1, H, 1}, {4, 1, H, 0}}}},
    // upper colon dot
    {{{{4, -1, C, 0}, {2.5, 1, E, 0}},
      {{4, -1, E, 0}, {2.5, 0, E, 0}},
      {{4, -1, C, 0}, {2.5, -1, E, 0}},
      {{4, 1, C, 0}, {2.5, -1, E, 0}},
      {{4, 1, E, 0}, {2.5, 0, E, 0}},
      {{4, 1, C, 0}, {2.5, 1, E, 0}}}},
    // lower colon dot
    {{{{3.5, -1, C, 0}, {5.5, 1, E, 0}},
      {{3.5, -1, E, 0}, {5.5, 0, E, 0}},
      {{3.5, -1, C, 0}, {5.5, -1, E, 0}},
      {{3.5, 1, C, 0}, {5.5, -1, E, 0}},
      {{3.5, 1, E, 0}, {5.5, 0, E, 0}},
      {{3.5, 1, C, 0}, {5.5, 1, E, 0}}}},
    // decimal point
    {{{{5.5, 1, Q, 1}, {7, 0, H, 0}},
      {{5.5, 2, Q, 1}, {7, -1, H, 0}},
      {{5.5, 5, Q, 0}, {7, -1, H, 0}},
      {{5.5, 6, Q, 0}, {7, 0, H, 0}},
      {{5.5, 5, Q, 0}, {7, 1, H, 0}},
      {{5.5, 2, Q, 1}, {7, 1, H, 0}}}},
}};

constexpr int kDecimalPointShape = 9;

struct Thickness
{
    double normal;
    double widened;
    double lowerLimit;
};

// Divisors of min(W, H) for the bar thickness, by style.
constexpr std::array<Thickness, 3> kBarDivisors{{{8, 6, 2}, {6, 5, 3}, {5, 4.5, 4}}};

double barThickness(int w, int h, const CellStyle &style)
{
    const Thickness &d = kBarDivisors[style.style];
    const double t = std::min(w, h) / (style.widened ? d.widened : d.normal);
    return t < d.lowerLimit ? d.lowerLimit : t;
}

// Matrix dot size as a share of the pitch, minus one pixel.
double dotSize(double pitch, const CellStyle &style)
{
    double size = 0;
    double lowerLimit = 0;
    switch (style.style) {
    case isThin:
        size = style.widened ? pitch / 2 - 1 : 2 * pitch / 3 - 1;
        lowerLimit = 1.5;
        break;
    case isNormal:
        size = style.widened ? 2 * pitch / 3 - 1 : 3 * pitch / 4 - 1;
        lowerLimit = 2.5;
        break;
    case isThick:
        size = style.widened ? 3 * pitch / 4 - 1 : pitch - 1;
        lowerLimit = 3.5;
        break;
    }
    return size < lowerLimit ? lowerLimit : size;
}

bool isPointCharacter(unsigned char c)
{
    return c == '.' || c == ',';
}

double angleOf(double x, double y)
{
    if (x == 0)
        return y > 0 ? -std::numbers::pi / 2 : std::numbers::pi / 2;
    return std::atan2(-y, x);
}

} // namespace

void PolygonList::clear()
{
    points.clear();
    counts.clear();
}

void PolygonList::append(const QPoint *polygon, int count, QPoint offset)
{
    for (int i = 0; i < count; ++i)
        points.push_back(polygon[i] + offset);
    counts.push_back(count);
}

void PolygonList::append(const PolygonList &other)
{
    points.insert(points.end(), other.points.begin(), other.points.end());
    counts.insert(counts.end(), other.counts.begin(), other.counts.end());
}

std::vector<QPoint> PolygonList::polygon(int index) const
{
    int first = 0;
    for (int i = 0; i < index; ++i)
        first += counts[std::size_t(i)];
    return {points.begin() + first, points.begin() + first + counts[std::size_t(index)]};
}

int CellPolygonCount(TIAIndicatorKind kind)
{
    switch (kind) {
    case ik7segment:
        return 8;
    case ik9segment:
        return 10;
    case ik5x7matrix:
        return 35;
    }
    return 0;
}

std::array<QPoint, 6> SegmentPolygon(const CellRect &cell, int segmentNumber,
                                     const CellStyle &style)
{
    const int w = cell.Right - cell.Left;
    const int h = cell.Bottom - cell.Top;
    const double ux = w / 8.0;
    const double uy = h / 8.0;
    const double t = barThickness(w, h, style);
    const std::array<double, 4> parts{t / 2, t / 3, 2 * t / 3, t / 4};

    // The 7-segment display's decimal point is its segment 8.
    int shape = segmentNumber - 1;
    if (style.kind == ik7segment && segmentNumber == 8)
        shape = kDecimalPointShape;

    std::array<QPoint, 6> polygon;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Coord &cx = kShapes[std::size_t(shape)][i].x;
        const Coord &cy = kShapes[std::size_t(shape)][i].y;
        polygon[i] = QPoint(T(cx.units * ux + cx.parts * parts[cx.part]) + cx.add,
                            T(cy.units * uy + cy.parts * parts[cy.part]) + cy.add);
    }
    return polygon;
}

std::array<QPoint, 4> MatrixDotPolygon(const CellRect &cell, int row, int column,
                                       const CellStyle &style)
{
    const int w = cell.Right - cell.Left;
    const int h = cell.Bottom - cell.Top;
    const int margin = T(w / 16.0) + 1;
    const double px = (w - 2 * margin) / 5.0;
    const double py = h / 7.0;
    const int sw = T(dotSize(px, style));
    const int sh = T(dotSize(py, style));
    const int x = T((column - 1) * px + margin);
    const int y = T((row - 1) * py);
    return {QPoint(x, y), QPoint(x + sw, y), QPoint(x + sw, y + sh), QPoint(x, y + sh)};
}

void BuildCellPolygons(const CellRect &cell, unsigned char character, bool pointFollows,
                       const CellStyle &style, PolygonList &lit, PolygonList &unlit)
{
    lit.clear();
    unlit.clear();
    const QPoint corner(cell.Left, cell.Top);

    if (style.kind == ik5x7matrix) {
        const std::uint64_t dots = MatrixBits(character);
        for (int r = 1; r <= 7; ++r) {
            for (int k = 1; k <= 5; ++k) {
                const auto dot = MatrixDotPolygon(cell, r, k, style);
                const bool on = (dots >> ((r - 1) * 5 + (k - 1))) & 1u;
                (on ? lit : unlit).append(dot.data(), int(dot.size()), corner);
            }
        }
        return;
    }

    const int bars = style.kind == ik9segment ? 9 : 7;
    std::uint32_t pattern =
        style.kind == ik9segment ? Segment9Bits(character) : Segment7Bits(character);
    if (pointFollows)
        pattern |= 1u << bars;
    if (isPointCharacter(character))
        pattern = 1u << bars;

    for (int i = 1; i <= bars + 1; ++i) {
        const auto segment = SegmentPolygon(cell, i, style);
        const bool on = (pattern >> (i - 1)) & 1u;
        (on ? lit : unlit).append(segment.data(), int(segment.size()), corner);
    }
}

int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

void RotatePoints(QPoint *points, int count, QPoint centre, double theta)
{
    // With no turn every point maps onto itself: rounding the radius changes a
    // coordinate by less than half a pixel.
    if (theta == 0)
        return;
    for (int i = 0; i < count; ++i) {
        const double x = points[i].x();
        const double y = points[i].y();
        const int d = RoundHalfEven(std::sqrt(x * x + y * y));
        if (d == 0)
            continue;
        const double g = theta + angleOf(x, y);
        points[i] = QPoint(RoundHalfEven(d * std::cos(g)), -RoundHalfEven(d * std::sin(g)));
    }
    const double cx = centre.x();
    const double cy = centre.y();
    const double radius = std::sqrt(cx * cx + cy * cy);
    const double g = theta + angleOf(cx, cy);
    const QPoint shift(RoundHalfEven(cx - radius * std::cos(g)),
                       RoundHalfEven(cy + radius * std::sin(g)));
    for (int i = 0; i < count; ++i)
        points[i] += shift;
}

} // namespace lcd

} // namespace widgets
