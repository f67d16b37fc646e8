#pragma once

#include <QPoint>

#include <array>
#include <string_view>
#include <vector>

namespace widgets {

// How the display's face is divided: the border, the character cells, the string laid
// into them, and the bevels around them. Pure geometry, no drawing.
namespace lcd {

struct CellContent
{
    unsigned char character = ' ';
    bool pointFollows = false;

    friend bool operator==(const CellContent &, const CellContent &) = default;
};

// Segment kinds: a point lights the decimal point of the cell before it, unless that
// cell holds a point itself; right-aligned; the leftmost signNumber cells are kept.
void LayoutSegmentString(std::string_view text, int signNumber, std::vector<CellContent> &cells);

// Matrix kind: one character per cell, points included; right-aligned; the leftmost
// signNumber characters are kept.
void LayoutMatrixString(std::string_view text, int signNumber, std::vector<CellContent> &cells);

struct CellGeometry
{
    int border = 0;
    int cellWidth = 0;
    int cellHeight = 0;
};

// The border is gap plus the widths of the bevels that are drawn (0 for an absent one).
// Cells that would not fit take the whole face height or width div signNumber.
CellGeometry ComputeCellGeometry(int indicatorWidth, int indicatorHeight, int signNumber,
                                 int border);

enum BevelSide : int { bsTop, bsLeft, bsBottom, bsRight };
using Trapezoid = std::array<QPoint, 4>;

// The four trapezoids (top, left, bottom, right) of a bevel of the given width, set in
// by inset from every edge of a w by h face.
std::array<Trapezoid, 4> BevelTrapezoids(int w, int h, int inset, int width);

// Which sides of a raised bevel catch the light falling from the screen's top left, for
// a face turned by theta radians. A sunken bevel has them the other way round.
std::array<bool, 4> RaisedLightSides(double theta);

} // namespace lcd

} // namespace widgets
