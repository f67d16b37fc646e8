#include "widgets/PolygonSpans.h"

#include <QPolygon>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kInk = 0xFF00FF00;
constexpr QRgb kPaper = 0xFF000000;

QImage filled(const widgets::PolygonSpans &spans, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kPaper);
    spans.fill(image, kInk);
    return image;
}

// The platform's own polygon region is the reference for which pixels a polygon covers.
void expectSamePixels(const widgets::PolygonSpans &spans, const QRegion &reference,
                      const QRect &area)
{
    EXPECT_TRUE(spans.region().xored(reference).isEmpty());
    const QImage image = filled(spans, area.size());
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            ASSERT_EQ(image.pixel(x, y) == kInk, reference.contains(QPoint(x, y)))
                << "pixel " << x << "," << y;
}

TEST(PolygonSpans, CoverTheSamePixelsAsPolygonRegions)
{
    QRandomGenerator random(20240607);
    const QRect area(0, 0, 64, 48);
    for (int round = 0; round < 400; ++round) {
        QPolygon polygon;
        const int corners = 3 + random.bounded(6);
        for (int i = 0; i < corners; ++i)
            polygon << QPoint(random.bounded(-10, 74), random.bounded(-10, 58));
        SCOPED_TRACE(round);
        widgets::PolygonSpans spans;
        const int count = int(polygon.size());
        spans.build(polygon.constData(), &count, 1, area);
        expectSamePixels(spans, QRegion(polygon, Qt::OddEvenFill) & QRegion(area), area);
    }
}

TEST(PolygonSpans, OverlapsCancelUnderTheEvenOddRule)
{
    const widgets::lcd::PolygonList squares{{{2, 2},
                                             {12, 2},
                                             {12, 12},
                                             {2, 12}, // first square
                                             {8, 8},
                                             {20, 8},
                                             {20, 20},
                                             {8, 20}}, // overlapping it
                                            {4, 4}};
    widgets::PolygonSpans spans;
    const QRect area(0, 0, 24, 24);
    spans.build(squares, area);
    const QRegion a(QRect(2, 2, 10, 10));
    const QRegion b(QRect(8, 8, 12, 12));
    expectSamePixels(spans, a.xored(b), area);
}

TEST(PolygonSpans, KeepOnlyWhatLiesInsideTheClip)
{
    const QPolygon triangle{{QPoint(-30, -5), QPoint(40, 10), QPoint(-5, 60)}};
    const int count = 3;
    widgets::PolygonSpans spans;
    spans.build(triangle.constData(), &count, 1, QRect(0, 0, 20, 30));
    expectSamePixels(spans, QRegion(triangle, Qt::OddEvenFill) & QRegion(0, 0, 20, 30),
                     QRect(0, 0, 20, 30));

    spans.build(triangle.constData(), &count, 1, QRect(50, 0, 10, 10));
    EXPECT_TRUE(spans.isEmpty());
    EXPECT_TRUE(spans.region().isEmpty());
}

TEST(PolygonSpans, DegeneratePolygonsCoverNothing)
{
    const widgets::lcd::PolygonList flat{{{0, 5}, {20, 5}, {10, 5}, {3, 1}, {3, 9}}, {3, 2}};
    widgets::PolygonSpans spans;
    spans.build(flat, QRect(0, 0, 30, 30));
    EXPECT_TRUE(spans.isEmpty());
    EXPECT_EQ(filled(spans, QSize(30, 30)), filled(widgets::PolygonSpans(), QSize(30, 30)));
}

} // namespace
