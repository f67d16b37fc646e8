#pragma once

#include <QPoint>

#include <array>
#include <vector>

namespace widgets {

// Turns one character cell of the liquid-crystal display into polygons: slanted bar
// segments or 5x7 matrix dots. Pure geometry, no drawing.
namespace lcd {

enum TIAIndicatorKind : int { ik7segment, ik5x7matrix, ik9segment };
enum TIAIndicatorStyle : int { isThin, isNormal, isThick };

using Tpoints = std::vector<QPoint>;
using Tintegers = std::vector<int>;

// All points of all polygons in order, and the number of points of each polygon.
struct PolygonList
{
    Tpoints points;
    Tintegers counts;

    int polygonCount() const { return int(counts.size()); }
    bool isEmpty() const { return counts.empty(); }
    void clear();
    // Appends one polygon moved by offset.
    void append(const QPoint *polygon, int count, QPoint offset = {});
    // Appends every polygon of other.
    void append(const PolygonList &other);
    // The points of polygon index (from 0), for inspection.
    std::vector<QPoint> polygon(int index) const;
};

// A character cell in the display's unrotated coordinates; Right and Bottom are exclusive.
struct CellRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

struct CellStyle
{
    TIAIndicatorKind kind = ik7segment;
    TIAIndicatorStyle style = isNormal;
    // The mouse is inside and widening is asked for: thicker bars, smaller dots.
    bool widened = false;
};

// Number of polygons a cell of this kind yields (lit and unlit together).
int CellPolygonCount(TIAIndicatorKind kind);

// The six points of one bar segment, colon dot or decimal point (1-based segment
// number, see SegmentGlyphs.h), relative to the cell's top-left corner.
std::array<QPoint, 6> SegmentPolygon(const CellRect &cell, int segmentNumber,
                                     const CellStyle &style);

// The four corners of one matrix dot (row 1-7, column 1-5), relative to the cell's
// top-left corner.
std::array<QPoint, 4> MatrixDotPolygon(const CellRect &cell, int row, int column,
                                       const CellStyle &style);

// Empties both lists, then appends every polygon of the cell, moved to the cell's
// position, to lit or unlit in segment order (matrix: row by row).
void BuildCellPolygons(const CellRect &cell, unsigned char character, bool pointFollows,
                       const CellStyle &style, PolygonList &lit, PolygonList &unlit);

// Nearest integer, halves to even.
int RoundHalfEven(double value);

// Rotates every point counter-clockwise (on screen) by theta radians about centre,
// rounding the distance from the origin first, as the display always has.
void RotatePoints(QPoint *points, int count, QPoint centre, double theta);
inline void RotatePoints(Tpoints &points, QPoint centre, double theta)
{
    RotatePoints(points.data(), int(points.size()), centre, theta);
}

} // namespace lcd

} // namespace widgets
