#include "widgets/FitPlot.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using widgets::FitPlotData;
using widgets::FitPoint;

namespace {

// t² over s of a cart from rest at 0,5 m/s², with its line t² = 4 s²/m · s.
FitPlotData cart()
{
    FitPlotData data;
    data.xCaption = QStringLiteral("s in m");
    data.yCaption = QStringLiteral("t² in s²");
    data.points = {{0.25, 1.0, 0, 0.04}, {0.5, 2.06, 0, 0.05}, {1.0, 3.95, 0, 0.06}};
    data.line = widgets::FitLine{0, 4};
    data.equation = QStringLiteral("t² = (4,00 ± 0,05) s²/m · s");
    data.description = QStringLiteral("t² über s");
    return data;
}

bool near(QRgb pixel, QColor colour, int tolerance = 40)
{
    return std::abs(qRed(pixel) - colour.red()) + std::abs(qGreen(pixel) - colour.green()) +
               std::abs(qBlue(pixel) - colour.blue()) <
           tolerance;
}

// The pixel under a point in logical units, and its neighbours: an antialiased line
// of two pixels may give its full colour to either.
bool drawnNear(const QImage &image, QPointF at, QColor colour)
{
    const QPoint centre(int(std::floor(at.x())), int(std::floor(at.y())));
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (near(image.pixel(centre + QPoint(dx, dy)), colour))
                return true;
    return false;
}

int pixelsOf(const QImage &image, QColor colour, const QRect &within)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = std::max(0, within.top()); y <= std::min(rgb.height() - 1, within.bottom()); ++y)
        for (int x = std::max(0, within.left()); x <= std::min(rgb.width() - 1, within.right());
             ++x)
            count += near(rgb.pixel(x, y), colour, 12);
    return count;
}

TEST(FitPlot, PointsLineAndResidualsLieWhereTheLayoutPutsThem)
{
    const FitPlotData data = cart();
    const QSize size(420, 360);
    const QImage image = widgets::renderFitPlot(data, size, 1, QFont());
    const widgets::FitPlotLayout layout =
        widgets::fitPlotLayout(QRectF(QPointF(0, 0), QSizeF(size)), data, QFontMetricsF(QFont()));
    ASSERT_FALSE(layout.empty);
    ASSERT_FALSE(layout.strip.isEmpty());
    EXPECT_LT(layout.plot.bottom(), layout.strip.top());
    // Both axes reach the origin, and every point with its error bar fits.
    EXPECT_LE(layout.xLow, 0);
    EXPECT_LE(layout.yLow, 0);
    EXPECT_GE(layout.xHigh, 1.0);
    EXPECT_GE(layout.yHigh, 3.95 + 0.06);
    for (const FitPoint &p : data.points) {
        EXPECT_TRUE(drawnNear(image, layout.map(p.x, p.y), data.pointColour)) << p.x;
        const QPointF residual = layout.mapResidual(p.x, p.y - data.line->at(p.x));
        EXPECT_TRUE(layout.strip.contains(residual));
        EXPECT_TRUE(drawnNear(image, residual, data.pointColour)) << p.x;
    }
    // The line between the points, and the strip's zero line.
    EXPECT_TRUE(drawnNear(image, layout.map(0.75, 3.0), data.lineColour));
    EXPECT_TRUE(drawnNear(image, layout.mapResidual(0.75, 0), data.lineColour));
    EXPECT_FALSE(drawnNear(image, layout.map(0.75, 1.0), data.lineColour));
    // Without the strip, the plot takes its room.
    FitPlotData plain = data;
    plain.residuals = false;
    const widgets::FitPlotLayout tall =
        widgets::fitPlotLayout(QRectF(QPointF(0, 0), QSizeF(size)), plain, QFontMetricsF(QFont()));
    EXPECT_TRUE(tall.strip.isEmpty());
    EXPECT_GT(tall.plot.height(), layout.plot.height() + layout.strip.height());
}

TEST(FitPlot, NothingIsDrawnOutsideItsArea)
{
    const double nan = std::nan("");
    FitPlotData wild = cart();
    wild.points << FitPoint{nan, 1, 0, 0} << FitPoint{0.7, INFINITY, 0, 0}
                << FitPoint{0.8, 2, 0, nan} << FitPoint{0.6, 2.4, 5, 40};
    wild.line = widgets::FitLine{-1e6, 1e9};
    wild.equation = QString(200, u'W');
    wild.xCaption = QString(200, u'x');
    FitPlotData empty;
    FitPlotData offset = cart();
    offset.showOrigin = false;
    for (FitPoint &p : offset.points)
        p.x += 1000;
    const struct
    {
        const char *name;
        FitPlotData data;
        QRect area;
    } rows[] = {
        {"wild data", wild, {30, 20, 340, 260}},
        {"no data, long hint", empty, {30, 20, 340, 260}},
        {"far from the origin", offset, {30, 20, 340, 260}},
        {"an area too small for a plot", cart(), {50, 40, 30, 20}},
    };
    const QColor outside(0xff, 0x00, 0xff);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(outside);
        {
            QPainter painter(&image);
            widgets::paintFitPlot(painter, row.area, row.data);
        }
        int touched = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!row.area.contains(x, y) && image.pixel(x, y) != outside.rgb())
                    ++touched;
        EXPECT_EQ(touched, 0);
        EXPECT_EQ(pixelsOf(image, outside, row.area), 0) << "the area is painted over";
    }
}

TEST(FitPlot, WithoutFinitePointsItShowsTheHint)
{
    const double nan = std::nan("");
    FitPlotData none;
    FitPlotData notFinite;
    notFinite.points = {{nan, 1, 0, 0}, {1, nan, 0, 0}, {1, 1, INFINITY, 0}};
    notFinite.line = widgets::FitLine{0, 1};
    for (const FitPlotData &data : {none, notFinite}) {
        const QImage image = widgets::renderFitPlot(data, {300, 200}, 1, QFont());
        EXPECT_TRUE(
            widgets::fitPlotLayout(QRectF(0, 0, 300, 200), data, QFontMetricsF(QFont())).empty);
        EXPECT_EQ(pixelsOf(image, data.pointColour, image.rect()), 0);
        EXPECT_EQ(pixelsOf(image, data.lineColour, image.rect()), 0);
        // The hint, in the middle.
        EXPECT_GT(pixelsOf(image, Qt::black, QRect(0, 80, 300, 40)), 0);
    }
    EXPECT_EQ(none.emptyText, QStringLiteral("Noch keine Messpunkte"));
}

TEST(FitPlot, TheWidgetShowsItsDataAndSaysWhatItShows)
{
    widgets::FitPlot plot;
    plot.resize(plot.sizeHint());
    EXPECT_EQ(plot.accessibleName(), QStringLiteral("Ausgleichsgerade"));
    plot.setData(FitPlotData());
    EXPECT_EQ(plot.accessibleDescription(), QStringLiteral("Noch keine Messpunkte"));
    plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    EXPECT_EQ(pixelsOf(plot.grab().toImage(), cart().pointColour, plot.rect()), 0);
    plot.setData(cart());
    EXPECT_EQ(plot.accessibleDescription(), QStringLiteral("t² über s"));
    const QImage shown = plot.grab().toImage();
    EXPECT_GT(pixelsOf(shown, cart().pointColour, plot.rect()), 0);
    EXPECT_GT(pixelsOf(shown, cart().lineColour, plot.rect()), 0);
}

} // namespace

TF_QT_TEST_MAIN
