#include "widgets/FaceLayout.h"

#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <vector>

using namespace widgets::lcd;

namespace {

// Cells written as "0|0.|:": each cell's character, "." when its decimal point lights.
std::string describe(const std::vector<CellContent> &cells)
{
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += '|';
        out += char(cells[i].character);
        if (cells[i].pointFollows)
            out += '.';
    }
    return out;
}

struct LayoutCase
{
    std::string text;
    int signNumber;
    std::string segmentCells;
    std::string matrixCells;
};

class StringLayout : public ::testing::TestWithParam<LayoutCase>
{
};

TEST_P(StringLayout, FillsTheCellsFromTheRight)
{
    const LayoutCase &c = GetParam();
    std::vector<CellContent> cells{{'x', true}}; // emptied first
    LayoutSegmentString(c.text, c.signNumber, cells);
    EXPECT_EQ(describe(cells), c.segmentCells);
    LayoutMatrixString(c.text, c.signNumber, cells);
    EXPECT_EQ(describe(cells), c.matrixCells);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringLayout,
    ::testing::Values(LayoutCase{"00:00.0000", 9, "0|0|:|0|0.|0|0|0|0", "0|0|:|0|0|.|0|0|0"},
                      LayoutCase{"01:07.0---", 9, "0|1|:|0|7.|0|-|-|-", "0|1|:|0|7|.|0|-|-"},
                      LayoutCase{"01:07.0452", 9, "0|1|:|0|7.|0|4|5|2", "0|1|:|0|7|.|0|4|5"},
                      LayoutCase{"5", 9, " | | | | | | | |5", " | | | | | | | |5"},
                      LayoutCase{"", 9, " | | | | | | | | ", " | | | | | | | | "},
                      LayoutCase{".5", 4, " | | .|5", " | |.|5"},
                      LayoutCase{"1..2", 4, " |1.|.|2", "1|.|.|2"},
                      LayoutCase{"1,5", 3, " |1.|5", "1|,|5"},
                      LayoutCase{".", 3, " | | .", " | |."}, LayoutCase{"..", 3, " | .|.", " |.|."},
                      LayoutCase{"100:00.0000", 9, "1|0|0|:|0|0.|0|0|0", "1|0|0|:|0|0|.|0|0"},
                      LayoutCase{"12345", 3, "1|2|3", "1|2|3"},
                      LayoutCase{"1.2.3", 2, "1.|2.", "1|."},
                      LayoutCase{"12:34", 5, "1|2|:|3|4", "1|2|:|3|4"}));

struct GeometryCase
{
    int width;
    int height;
    int signNumber;
    int border;
    int cellWidth;
    int cellHeight;
};

class Cells : public ::testing::TestWithParam<GeometryCase>
{
};

TEST_P(Cells, FitInsideTheBorderOrFallBackToTheWholeFace)
{
    const GeometryCase &c = GetParam();
    const CellGeometry g = ComputeCellGeometry(c.width, c.height, c.signNumber, c.border);
    EXPECT_EQ(g.border, c.border);
    EXPECT_EQ(g.cellWidth, c.cellWidth);
    EXPECT_EQ(g.cellHeight, c.cellHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, Cells,
    ::testing::Values(GeometryCase{349, 85, 9, 6, 37, 73},  // the main window's display
                      GeometryCase{172, 36, 10, 6, 16, 24}, // the initial values
                      GeometryCase{20, 10, 2, 6, 4, 10},    // bevels taller than the face
                      GeometryCase{20, 10, 2, 11, 10, 10},  // and wider
                      GeometryCase{20, 30, 2, -3, 10,
                                   30},                   // a negative gap: no cell beyond the face
                      GeometryCase{5, 30, 9, 0, 0, 30})); // more cells than pixels

TEST(BevelTrapezoids, OuterAndInsetBevelsFollowTheFaceEdges)
{
    const auto outer = BevelTrapezoids(349, 85, 0, 2);
    EXPECT_EQ(outer[bsTop], (Trapezoid{QPoint(0, 0), {349, 0}, {347, 2}, {2, 2}}));
    EXPECT_EQ(outer[bsLeft], (Trapezoid{QPoint(0, 0), {0, 85}, {2, 83}, {2, 2}}));
    EXPECT_EQ(outer[bsBottom], (Trapezoid{QPoint(0, 85), {2, 83}, {347, 83}, {349, 85}}));
    EXPECT_EQ(outer[bsRight], (Trapezoid{QPoint(349, 85), {347, 83}, {347, 2}, {349, 0}}));
    const auto inner = BevelTrapezoids(349, 85, 2, 3);
    EXPECT_EQ(inner[bsTop], (Trapezoid{QPoint(2, 2), {347, 2}, {344, 5}, {5, 5}}));
    EXPECT_EQ(inner[bsRight], (Trapezoid{QPoint(347, 83), {344, 80}, {344, 5}, {347, 2}}));
}

TEST(RaisedLightSides, LightFallsFromTheScreensTopLeft)
{
    struct Row
    {
        int angle;                 // tenths of a degree
        std::array<bool, 4> light; // top, left, bottom, right
    };
    const Row rows[] = {
        {0, {true, true, false, false}},    {300, {true, true, false, false}},
        {600, {true, false, false, true}},  {900, {true, false, false, true}},
        {1800, {false, false, true, true}}, {2700, {false, true, true, false}},
        {-300, {true, true, false, false}}, {3600, {true, true, false, false}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(RaisedLightSides(row.angle * std::numbers::pi / 1800), row.light) << row.angle;
}

} // namespace
