#include "widgets/FaceLayout.h"

#include <cmath>
#include <numbers>
#include <string>

namespace widgets {

namespace lcd {
namespace {

bool isPoint(unsigned char c)
{
    return c == '.' || c == ',';
}

// "." as the pending character means nothing is pending yet.
constexpr unsigned char kNothingPending = '.';

} // namespace

void LayoutSegmentString(std::string_view text, int signNumber, std::vector<CellContent> &cells)
{
    cells.clear();
    const int n = int(text.size());
    const auto s = [&](int j) { return static_cast<unsigned char>(text[std::size_t(j - 1)]); };

    // Count the cells the string needs, as far as signNumber allows.
    unsigned char pending = kNothingPending;
    int k = 1;
    for (int j = 1; j <= n && k <= signNumber; ++j) {
        if (j == 1 && isPoint(s(1))) {
            ++k; // a leading point gets a cell of its own
        } else if (isPoint(pending)) {
            pending = s(j);
            if (j == n || isPoint(s(j)))
                ++k;
        } else if (isPoint(s(j))) {
            ++k;
            pending = ',';
        } else {
            ++k;
            pending = s(j);
            if (k > signNumber)
                break;
            if (j == n)
                ++k;
        }
    }

    // Right-align with spaces; a leading point sits on a blank cell of its own.
    std::string padded;
    if (n > 0 && isPoint(s(1)))
        padded += ' ';
    if (signNumber - k + 1 > 0)
        padded.append(std::size_t(signNumber - k + 1), ' ');
    padded.append(text);

    const int m = int(padded.size());
    const auto p = [&](int j) { return static_cast<unsigned char>(padded[std::size_t(j - 1)]); };
    const auto emitCell = [&](unsigned char c, bool point) {
        cells.push_back({c, point});
        ++k;
    };
    pending = kNothingPending;
    k = 1;
    for (int j = 1; j <= m && k <= signNumber; ++j) {
        if (isPoint(pending)) {
            pending = p(j);
            if (j == m || isPoint(p(j)))
                emitCell(pending, false);
        } else if (isPoint(p(j))) {
            emitCell(pending, true);
            pending = ',';
        } else {
            emitCell(pending, false);
            pending = p(j);
            if (k > signNumber)
                break;
            if (j == m)
                emitCell(pending, false);
        }
    }
}

void LayoutMatrixString(std::string_view text, int signNumber, std::vector<CellContent> &cells)
{
    cells.clear();
    const int n = int(text.size());
    for (int k = 1; k <= signNumber; ++k) {
        unsigned char c = ' ';
        if (n >= signNumber)
            c = static_cast<unsigned char>(text[std::size_t(k - 1)]);
        else if (k > signNumber - n)
            c = static_cast<unsigned char>(text[std::size_t(k - (signNumber - n) - 1)]);
        cells.push_back({c, false});
    }
}

CellGeometry ComputeCellGeometry(int indicatorWidth, int indicatorHeight, int signNumber,
                                 int border)
{
    CellGeometry g;
    g.border = border;
    g.cellHeight = indicatorHeight - 2 * border;
    if (g.cellHeight < 1 || g.cellHeight > indicatorHeight)
        g.cellHeight = indicatorHeight;
    const int fullWidth = indicatorWidth / signNumber;
    g.cellWidth = (indicatorWidth - 2 * border) / signNumber;
    if (g.cellWidth < 1 || g.cellWidth > fullWidth)
        g.cellWidth = fullWidth;
    return g;
}

std::array<Trapezoid, 4> BevelTrapezoids(int w, int h, int inset, int width)
{
    const int i = inset;
    const int b = width;
    std::array<Trapezoid, 4> sides;
    sides[bsTop] = {QPoint(i, i), QPoint(w - i, i), QPoint(w - i - b, i + b), QPoint(i + b, i + b)};
    sides[bsLeft] = {QPoint(i, i), QPoint(i, h - i), QPoint(i + b, h - i - b),
                     QPoint(i + b, i + b)};
    sides[bsBottom] = {QPoint(i, h - i), QPoint(i + b, h - i - b), QPoint(w - i - b, h - i - b),
                       QPoint(w - i, h - i)};
    sides[bsRight] = {QPoint(w - i, h - i), QPoint(w - i - b, h - i - b), QPoint(w - i - b, i + b),
                      QPoint(w - i, i)};
    return sides;
}

std::array<bool, 4> RaisedLightSides(double theta)
{
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double half = 1 / std::numbers::sqrt2;
    // Each later match replaces the earlier one.
    int quadrant = 0;
    if (c >= 0 && s >= 0)
        quadrant = 1;
    if (c >= 0 && s <= 0)
        quadrant = 4;
    if (c <= 0 && s >= 0)
        quadrant = 2;
    if (c <= 0 && s <= 0)
        quadrant = 3;
    int octant = 8;
    switch (quadrant) {
    case 1:
        octant = s <= half ? 1 : 2;
        break;
    case 2:
        octant = s <= half ? 4 : 3;
        break;
    case 3:
        octant = s >= -half ? 5 : 6;
        break;
    case 4:
        octant = s >= -half ? 8 : 7;
        break;
    }
    std::array<bool, 4> light{};
    switch (octant) {
    case 1:
    case 8:
        light[bsTop] = light[bsLeft] = true;
        break;
    case 2:
    case 3:
        light[bsTop] = light[bsRight] = true;
        break;
    case 4:
    case 5:
        light[bsBottom] = light[bsRight] = true;
        break;
    default:
        light[bsLeft] = light[bsBottom] = true;
        break;
    }
    return light;
}

} // namespace lcd

} // namespace widgets
