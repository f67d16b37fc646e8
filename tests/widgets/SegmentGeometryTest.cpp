#include "widgets/SegmentGeometry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>
#include <vector>

using namespace widgets::lcd;
using ::testing::ElementsAreArray;

namespace {

using Points = std::vector<QPoint>;

const CellRect kDigitCell{0, 0, 37, 73};
const CellStyle kThick9{ik9segment, isThick, false};

// The main window's cell: 37 by 73, 9-segment, thick, not widened.
TEST(SegmentPolygon, DigitCellMatchesEveryPointOfTheTenSegments)
{
    const std::vector<Points> expected{
        {{4, 66}, {0, 59}, {3, 40}, {6, 36}, {10, 40}, {8, 59}},
        {{6, 35}, {3, 31}, {5, 12}, {9, 5}, {12, 12}, {10, 31}},
        {{10, 5}, {13, 5}, {25, 5}, {29, 5}, {25, 12}, {13, 12}},
        {{30, 5}, {33, 12}, {31, 31}, {27, 35}, {24, 31}, {26, 12}},
        {{27, 36}, {31, 40}, {29, 59}, {25, 66}, {21, 59}, {24, 40}},
        {{5, 67}, {9, 60}, {20, 60}, {24, 67}, {20, 67}, {9, 67}},
        {{7, 36}, {11, 32}, {23, 32}, {26, 36}, {23, 40}, {11, 40}},
        {{16, 27}, {13, 22}, {16, 17}, {20, 17}, {23, 22}, {20, 27}},
        {{13, 55}, {11, 50}, {13, 45}, {18, 45}, {21, 50}, {18, 55}},
        {{28, 63}, {30, 60}, {34, 60}, {36, 63}, {34, 67}, {30, 67}},
    };
    for (int segment = 1; segment <= 10; ++segment) {
        SCOPED_TRACE(segment);
        const auto polygon = SegmentPolygon(kDigitCell, segment, kThick9);
        EXPECT_THAT(Points(polygon.begin(), polygon.end()),
                    ElementsAreArray(expected[std::size_t(segment - 1)]));
    }
}

TEST(SegmentPolygon, SevenSegmentDecimalPointIsSegmentEight)
{
    const CellStyle thick7{ik7segment, isThick, false};
    EXPECT_EQ(SegmentPolygon(kDigitCell, 8, thick7), SegmentPolygon(kDigitCell, 10, kThick9));
}

// The decimal point's right tip, T(5.5ux + 6q) = T(5.5ux + 1.5t), shows the bar thickness.
struct ThicknessCase
{
    int w;
    int h;
    TIAIndicatorStyle style;
    bool widened;
    int tipX;
};

class BarThickness : public ::testing::TestWithParam<ThicknessCase>
{
};

TEST_P(BarThickness, FollowsStyleWideningAndLowerLimit)
{
    const ThicknessCase &c = GetParam();
    const CellStyle style{ik9segment, c.style, c.widened};
    EXPECT_EQ(SegmentPolygon({0, 0, c.w, c.h}, 10, style)[3].x(), c.tipX);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, BarThickness,
    ::testing::Values(ThicknessCase{37, 73, isThin, false, 32},    // t = 37/8
                      ThicknessCase{37, 73, isThin, true, 34},     // t = 37/6
                      ThicknessCase{37, 73, isNormal, false, 34},  // t = 37/6
                      ThicknessCase{37, 73, isNormal, true, 36},   // t = 37/5
                      ThicknessCase{37, 73, isThick, false, 36},   // t = 37/5
                      ThicknessCase{37, 73, isThick, true, 37},    // t = 37/4.5
                      ThicknessCase{10, 10, isThin, false, 9},     // t = 2, not 1.25
                      ThicknessCase{10, 10, isNormal, false, 11},  // t = 3, not 1.67
                      ThicknessCase{10, 10, isThick, false, 12})); // t = 4, not 2

TEST(SegmentPolygon, TinyCellsTruncateTowardZero)
{
    const CellStyle thick{ik9segment, isThick, false};
    // 10 by 10: top bar at T(uy - h) = T(-0.75) = 0, where floor would give -1.
    EXPECT_EQ(SegmentPolygon({0, 0, 10, 10}, 3, thick)[0], QPoint(3, 0));
    // 4 by 4: T(ux - h) = T(-1.5) = -1 stays negative.
    EXPECT_EQ(SegmentPolygon({0, 0, 4, 4}, 1, thick)[1], QPoint(-1, 0));
}

struct CountCase
{
    TIAIndicatorKind kind;
    char character;
    bool pointFollows;
    std::vector<int> litSegments; // 1-based, in order
};

class CellPolygons : public ::testing::TestWithParam<CountCase>
{
};

TEST_P(CellPolygons, LightExactlyTheGlyphsSegments)
{
    const CountCase &c = GetParam();
    const CellStyle style{c.kind, isThick, false};
    const CellRect cell{74, 6, 111, 79};
    PolygonList lit;
    PolygonList unlit;
    lit.append(SegmentPolygon(cell, 1, style).data(), 6); // emptied by the call
    BuildCellPolygons(cell, static_cast<unsigned char>(c.character), c.pointFollows, style, lit,
                      unlit);

    const int total = c.kind == ik9segment ? 10 : 8;
    ASSERT_EQ(lit.polygonCount(), int(c.litSegments.size()));
    ASSERT_EQ(unlit.polygonCount(), total - int(c.litSegments.size()));
    int nextLit = 0;
    int nextUnlit = 0;
    for (int segment = 1; segment <= total; ++segment) {
        const bool on =
            std::find(c.litSegments.begin(), c.litSegments.end(), segment) != c.litSegments.end();
        const auto shape = SegmentPolygon(cell, segment, style);
        Points moved;
        for (const QPoint &p : shape)
            moved.push_back(p + QPoint(cell.Left, cell.Top));
        SCOPED_TRACE(segment);
        EXPECT_EQ(on ? lit.polygon(nextLit++) : unlit.polygon(nextUnlit++), moved);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Glyphs, CellPolygons,
    ::testing::Values(CountCase{ik9segment, '8', false, {1, 2, 3, 4, 5, 6, 7}},
                      CountCase{ik9segment, '8', true, {1, 2, 3, 4, 5, 6, 7, 10}},
                      CountCase{ik9segment, '-', false, {7}},
                      CountCase{ik9segment, ':', false, {8, 9}},
                      CountCase{ik9segment, '.', false, {10}},
                      CountCase{ik9segment, ',', false, {10}},
                      CountCase{ik9segment, '.', true, {10}}, CountCase{ik9segment, ' ', false, {}},
                      CountCase{ik9segment, 'B', false, {}}, CountCase{ik9segment, 'K', false, {}},
                      CountCase{ik9segment, 'z', false, {}}, CountCase{ik9segment, 'z', true, {10}},
                      CountCase{ik9segment, '7', false, {4, 5, 3}},
                      CountCase{ik9segment, 'b', false, {1, 2, 5, 6, 7}},
                      CountCase{ik7segment, '8', false, {1, 2, 3, 4, 5, 6, 7}},
                      CountCase{ik7segment, ':', false, {}}, CountCase{ik7segment, '.', false, {8}},
                      CountCase{ik7segment, '4', true, {2, 4, 5, 7, 8}},
                      CountCase{ik7segment, 'E', false, {1, 2, 3, 6, 7}}));

TEST(MatrixDotPolygon, FollowsMarginPitchAndDotSize)
{
    const CellRect cell{0, 0, 40, 70};
    const CellStyle normal{ik5x7matrix, isNormal, false};
    // m = 3, px = 6.8, py = 10, sw = 4.1, sh = 6.5
    EXPECT_THAT(MatrixDotPolygon(cell, 1, 2, normal),
                ElementsAreArray(Points{{9, 0}, {13, 0}, {13, 6}, {9, 6}}));
    EXPECT_THAT(MatrixDotPolygon(cell, 7, 5, normal),
                ElementsAreArray(Points{{30, 60}, {34, 60}, {34, 66}, {30, 66}}));
}

TEST(MatrixDotPolygon, WideningMakesDotsSmaller)
{
    const CellRect cell{0, 0, 40, 70};
    struct Row
    {
        TIAIndicatorStyle style;
        QPoint normalCorner;
        QPoint widenedCorner;
    };
    // Corner (X + T(sw), Y + T(sh)) of the dot in row 1, column 1 (X = 3, Y = 0).
    const Row rows[] = {
        {isThin, {6, 5}, {5, 4}},   // 2px/3-1 = 3.53, 2py/3-1 = 5.67 | px/2-1 = 2.4, py/2-1 = 4
        {isNormal, {7, 6}, {6, 5}}, // 4.1, 6.5 | 3.53, 5.67
        {isThick, {8, 9}, {7, 6}},  // 5.8, 9 | 4.1, 6.5
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.style);
        EXPECT_EQ(MatrixDotPolygon(cell, 1, 1, {ik5x7matrix, row.style, false})[2],
                  row.normalCorner);
        EXPECT_EQ(MatrixDotPolygon(cell, 1, 1, {ik5x7matrix, row.style, true})[2],
                  row.widenedCorner);
    }
    // Tiny cells keep the lower limit of 3.5 pixels for thick dots.
    EXPECT_EQ(MatrixDotPolygon({0, 0, 10, 10}, 1, 1, {ik5x7matrix, isThick, false})[2],
              QPoint(1 + 3, 0 + 3));
}

TEST(BuildCellPolygons, MatrixLightsTheFontsDotsRowByRow)
{
    const CellRect cell{40, 5, 80, 75};
    const CellStyle normal{ik5x7matrix, isNormal, false};
    PolygonList lit;
    PolygonList unlit;
    BuildCellPolygons(cell, '0', true, normal, lit, unlit);
    // 01110 10001 10001 10001 10001 10001 01110
    EXPECT_EQ(lit.polygonCount(), 16);
    EXPECT_EQ(unlit.polygonCount(), 19);
    EXPECT_EQ(lit.polygon(0), (Points{{49, 5}, {53, 5}, {53, 11}, {49, 11}}));
    EXPECT_EQ(unlit.polygon(0), (Points{{43, 5}, {47, 5}, {47, 11}, {43, 11}}));
    EXPECT_EQ(lit.polygon(3), (Points{{43, 15}, {47, 15}, {47, 21}, {43, 21}}));

    const unsigned char blanks[] = {' ', '`', '\n', 0x7F, 0x80, 0xFF};
    for (const unsigned char blank : blanks) {
        BuildCellPolygons(cell, blank, false, normal, lit, unlit);
        EXPECT_EQ(lit.polygonCount(), 0) << int(blank);
        EXPECT_EQ(unlit.polygonCount(), 35) << int(blank);
    }
    BuildCellPolygons(cell, '.', false, normal, lit, unlit);
    EXPECT_EQ(lit.polygonCount(), 4);
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour)
{
    const std::pair<double, int> cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},    {-0.5, 0},
                                            {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}};
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(RoundHalfEven(value), expected) << value;
}

TEST(RotatePoints, QuarterTurnOfTheMainWindowsFace)
{
    // Corners of a 349 by 85 face about its centre (174, 42), turned by 90 degrees.
    Tpoints corners{{0, 0}, {349, 0}, {349, 85}, {0, 85}};
    RotatePoints(corners, QPoint(174, 42), 900 * std::numbers::pi / 1800);
    EXPECT_THAT(corners,
                ElementsAreArray(Points{{132, 216}, {132, -133}, {217, -133}, {217, 216}}));
}

TEST(RotatePoints, HalfTurnMirrorsAboutTheCentre)
{
    Tpoints points{{0, 0}, {349, 0}, {10, 20}};
    RotatePoints(points, QPoint(174, 42), std::numbers::pi);
    EXPECT_THAT(points, ElementsAreArray(Points{{348, 84}, {-1, 84}, {338, 64}}));
}

TEST(RotatePoints, NoTurnLeavesEveryPointInPlace)
{
    Tpoints points;
    for (int y = -40; y <= 40; y += 7)
        for (int x = -40; x <= 400; x += 13)
            points.emplace_back(x, y);
    const Tpoints before = points;
    RotatePoints(points, QPoint(174, 42), 0);
    EXPECT_EQ(points, before);
    // A full turn lands on the same pixels again.
    RotatePoints(points, QPoint(174, 42), 2 * std::numbers::pi);
    EXPECT_EQ(points, before);
}

} // namespace
