#include "widgets/IAeverLiquidIndicator.h"

#include <QApplication>
#include <QPixmap>
#include <QPolygon>

#include <gtest/gtest.h>

#include <memory>

// The display on a screen of twice the usual pixel density (QT_SCALE_FACTOR=2).

namespace {

using Indicator = widgets::TIAeverLiquidIndicator;

constexpr QRgb kLime = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kLight = 0xFFFDFDFD;
constexpr QRgb kDark = 0xFFBDBDBD;

class DenseScreenDisplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_host = std::make_unique<QWidget>();
        m_host->resize(800, 400);
        m_digits = new Indicator(m_host.get());
        m_digits->setGeometry(432, 8, 349, 85);
        m_digits->setSignNumber(9);
        m_digits->setIndicatorWidth(349);
        m_digits->setIndicatorHeight(85);
        m_digits->setIndicatorstring(QStringLiteral("01:07.0452"));
        m_digits->setIndicatorKind(Indicator::ik9segment);
        m_digits->setBackColor(widgets::clBlack);
        m_digits->setNumberForeColor(widgets::clLime);
        m_digits->setNumberBackColor(widgets::clBlack);
        m_digits->setIndicatorStyle(Indicator::isThick);
        m_digits->loaded();
    }

    std::unique_ptr<QWidget> m_host;
    Indicator *m_digits = nullptr;
};

qint64 area(const QRegion &region)
{
    qint64 total = 0;
    for (const QRect &r : region)
        total += qint64(r.width()) * r.height();
    return total;
}

TEST_F(DenseScreenDisplay, RendersEverySegmentWithTheScreensPixels)
{
    ASSERT_EQ(m_digits->devicePixelRatioF(), 2.0);
    const QImage &picture = m_digits->picture();
    EXPECT_EQ(picture.size(), QSize(698, 170));
    EXPECT_EQ(picture.devicePixelRatio(), 2.0);

    // Flat colours only: nothing was scaled or smoothed.
    qint64 lit = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            ASSERT_TRUE(c == kLime || c == kBlack || c == kLight || c == kDark)
                << x << "," << y << " " << std::hex << c;
            lit += c == kLime;
        }

    // The lit area is that of the segments, four screen pixels to a widget pixel.
    QRegion segments;
    const widgets::lcd::PolygonList &polygons = m_digits->litPolygons();
    for (int i = 0; i < polygons.polygonCount(); ++i) {
        const auto points = polygons.polygon(i);
        segments += QRegion(QPolygon(QList<QPoint>(points.begin(), points.end())), Qt::OddEvenFill);
    }
    const qint64 expected = 4 * area(segments);
    EXPECT_NEAR(double(lit), double(expected), 0.03 * double(expected));

    // Slanted edges step by single screen pixels: a picture merely doubled from the
    // widget's pixels would be made of whole 2x2 blocks.
    int brokenBlocks = 0;
    for (int y = 0; y + 1 < picture.height(); y += 2)
        for (int x = 0; x + 1 < picture.width(); x += 2) {
            const QRgb c = picture.pixel(x, y);
            if (picture.pixel(x + 1, y) != c || picture.pixel(x, y + 1) != c ||
                picture.pixel(x + 1, y + 1) != c)
                ++brokenBlocks;
        }
    EXPECT_GT(brokenBlocks, 100);

    // The bevels are two widget pixels wide: four screen pixels.
    EXPECT_EQ(picture.pixel(1, 80), kLight);
    EXPECT_EQ(picture.pixel(3, 80), kLight);
    EXPECT_EQ(picture.pixel(5, 80), kDark); // the sunken inner bevel's left side
}

TEST_F(DenseScreenDisplay, PaintingCopiesThePictureUnscaled)
{
    const QImage shown = m_digits->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.devicePixelRatio(), 2.0);
    ASSERT_EQ(shown.size(), m_digits->picture().size());
    EXPECT_EQ(shown, m_digits->picture().convertToFormat(QImage::Format_RGB32));

    // In the transparent modes the visible parts are kept in screen pixels too.
    m_digits->setTransparentMode(Indicator::tmAll);
    ASSERT_TRUE(m_digits->visibleRegion());
    EXPECT_EQ(m_digits->visibleRegion()->boundingRect(), QRect(0, 0, 698, 170));
    QImage canvas(698, 170, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(2.0);
    canvas.fill(0xFF123456);
    m_digits->render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    int differing = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            differing += canvas.pixel(x, y) != (m_digits->visibleRegion()->contains(QPoint(x, y))
                                                    ? m_digits->picture().pixel(x, y)
                                                    : 0xFF123456);
    EXPECT_EQ(differing, 0);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
