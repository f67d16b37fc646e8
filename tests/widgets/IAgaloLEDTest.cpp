#include "widgets/IAgaloLED.h"

#include "support/QtTestMain.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

using namespace widgets::iaglo;

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Rgb &c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb pixel(const QImage &image, int x, int y)
{
    const uchar *p = image.constScanLine(y) + 3 * x; // blue, green, red
    return {p[2], p[1], p[0]};
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A lamp loaded the way the main window's layout loads it, inside a parent.
class ProgramLamp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.resize(100, 60);
        lamp = new widgets::TIAgaloLED(&host);
        lamp->setGeometry(10, 20, 24, 14);
        lamp->setLedPlasticColor(widgets::clLime);
        lamp->setLedOn(true);
        lamp->setLedWidth(20);
        lamp->setLedHeight(10);
        lamp->loaded();
    }

    QWidget host;
    widgets::TIAgaloLED *lamp = nullptr;
};

TEST_F(ProgramLamp, IsA20By10BodyInA24By14Widget)
{
    EXPECT_EQ(lamp->size(), QSize(24, 14));
    EXPECT_EQ(lamp->geometry().topLeft(), QPoint(10, 20));
    EXPECT_EQ(lamp->LedWidth(), 20);
    EXPECT_EQ(lamp->LedHeight(), 10);
    EXPECT_EQ(lamp->picture().size(), QSize(24, 14));
    EXPECT_EQ(lamp->picture().format(), QImage::Format_BGR888);
    // A rectangle: the whole widget is visible.
    EXPECT_EQ(lamp->mask(), QRegion(0, 0, 24, 14));
}

TEST_F(ProgramLamp, LitLimeBodyIsGreenOnlyInASunkenGreyFrame)
{
    const QImage &image = lamp->picture();
    EXPECT_EQ(pixel(image, 12, 7), (Rgb{0, 255, 0}));
    for (int y = 2; y < 12; ++y)
        for (int x = 2; x < 22; ++x) {
            const Rgb c = pixel(image, x, y);
            ASSERT_EQ(c.r, 0) << x << "," << y;
            ASSERT_EQ(c.b, 0) << x << "," << y;
            ASSERT_GT(c.g, 0) << x << "," << y;
        }
    const Rgb dark{96, 96, 96};
    const Rgb light{160, 160, 160};
    for (int x = 2; x < 22; ++x) {
        EXPECT_EQ(pixel(image, x, 0), dark) << x;
        EXPECT_EQ(pixel(image, x, 1), dark) << x;
        EXPECT_EQ(pixel(image, x, 12), light) << x;
        EXPECT_EQ(pixel(image, x, 13), light) << x;
    }
    for (int y = 2; y < 12; ++y) {
        EXPECT_EQ(pixel(image, 0, y), dark) << y;
        EXPECT_EQ(pixel(image, 1, y), dark) << y;
        EXPECT_EQ(pixel(image, 22, y), light) << y;
        EXPECT_EQ(pixel(image, 23, y), light) << y;
    }
}

TEST_F(ProgramLamp, ShadingFollowsTheDiamondWithinTheGrain)
{
    // Before the grain 255 - 127 * (|x - 12| + |y - 7|) / 12.5; the grain adds 1 ... 15.
    const QImage &image = lamp->picture();
    for (int y = 2; y < 12; ++y)
        for (int x = 2; x < 22; ++x) {
            const int base = nearest(255 - 127.0 * (std::abs(x - 12) + std::abs(y - 7)) / 12.5);
            const int g = pixel(image, x, y).g;
            EXPECT_GE(g, std::min(255, base + 1)) << x << "," << y;
            EXPECT_LE(g, std::min(255, base + 15)) << x << "," << y;
        }
    EXPECT_EQ(nearest(255 - 127.0 * 15 / 12.5), 103); // the top-left body pixel (2, 2)
}

TEST_F(ProgramLamp, UnlitShowsHalfStrength)
{
    lamp->setLedOn(false);
    const QImage &image = lamp->picture();
    EXPECT_EQ(pixel(image, 12, 7), (Rgb{0, 127, 0}));
    for (int y = 2; y < 12; ++y)
        for (int x = 2; x < 22; ++x)
            ASSERT_LE(pixel(image, x, y).g, 127);
    lamp->setLedPlasticColor(widgets::clMaroon);
    EXPECT_EQ(pixel(lamp->picture(), 12, 7), (Rgb{64, 0, 0}));
}

TEST_F(ProgramLamp, TwoRendersDifferOnlyInTheGrain)
{
    const QImage first = lamp->picture().copy();
    lamp->RenderLed();
    const QImage second = lamp->picture().copy();
    int differing = 0;
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 24; ++x) {
            const Rgb a = pixel(first, x, y);
            const Rgb b = pixel(second, x, y);
            const bool body = x >= 2 && x < 22 && y >= 2 && y < 12;
            if (!body) {
                EXPECT_EQ(a, b) << x << "," << y; // the frame has no grain
                continue;
            }
            EXPECT_EQ(a.r, b.r);
            EXPECT_EQ(a.b, b.b);
            EXPECT_LE(std::abs(a.g - b.g), 3 * 5 - 1) << x << "," << y;
            differing += a.g != b.g;
        }
    EXPECT_GT(differing, 20);
}

TEST_F(ProgramLamp, WritingTheSameColourNeitherRendersNorRepaints)
{
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    QCoreApplication::processEvents();
    PaintCounter counter;
    lamp->installEventFilter(&counter);
    const int renders = lamp->renderCount();

    lamp->setLedPlasticColor(widgets::clLime);
    QCoreApplication::processEvents();
    EXPECT_EQ(lamp->renderCount(), renders);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(lamp->LedPlasticColor(), widgets::clLime);

    // A different colour renders once and repaints, however many writes come before.
    lamp->setLedPlasticColor(widgets::clMaroon);
    lamp->setLedPlasticColor(widgets::clLime);
    lamp->setLedPlasticColor(widgets::clMaroon);
    // Until the lamp has painted; whatever it posted meanwhile is handled as well.
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints >= 1; }, 10'000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(lamp->renderCount(), renders + 1);
    EXPECT_EQ(lamp->LedPlasticColor(), widgets::clMaroon);
}

TEST_F(ProgramLamp, OutOfRangeWritesAreIgnored)
{
    const int renders = lamp->renderCount();
    lamp->picture();
    const int settled = lamp->renderCount();
    lamp->setLedPlasticDepth(0);
    lamp->setLedPlasticDepth(11);
    lamp->setGaloSize(50);
    lamp->setGaloSize(-1);
    lamp->setGaloIntensity(0);
    lamp->setGaloIntensity(11);
    lamp->setLedWidth(-1);
    lamp->setLedHeight(-1);
    lamp->setGap(-1);
    lamp->setOuterBorderDepth(-1);
    lamp->setInnerBorderDepth(-1);
    lamp->setLedClass(static_cast<TIALedClass>(6));
    lamp->setLedClass(static_cast<TIALedClass>(-1));
    lamp->setOuterBorderStyle(static_cast<TIABorderLedStyle>(3));
    lamp->setBorderSubsMode(static_cast<TIAglSubstanceMode>(2));
    lamp->setProperty("LedClass", 9);
    EXPECT_EQ(lamp->LedPlasticDepth(), 5);
    EXPECT_EQ(lamp->GaloSize(), 10);
    EXPECT_EQ(lamp->GaloIntensity(), 5);
    EXPECT_EQ(lamp->LedWidth(), 20);
    EXPECT_EQ(lamp->LedHeight(), 10);
    EXPECT_EQ(lamp->Gap(), 0);
    EXPECT_EQ(lamp->OuterBorderDepth(), 2);
    EXPECT_EQ(lamp->LedClass(), ialcRect);
    EXPECT_EQ(lamp->OuterBorderStyle(), iablsDown);
    EXPECT_EQ(lamp->BorderSubsMode(), iasmTile);
    EXPECT_EQ(lamp->size(), QSize(24, 14));
    lamp->picture();
    EXPECT_EQ(lamp->renderCount(), settled);
    (void)renders;
}

TEST_F(ProgramLamp, AngleIsNormalisedAndObliqueAnglesFixTheSize)
{
    const struct
    {
        int written, stored;
    } rows[] = {{3600, 0}, {-1800, 1800}, {1801, -1799}, {900, 900}, {-1799, -1799}, {7201, 1}};
    for (const auto &r : rows) {
        lamp->setAngle(r.written);
        EXPECT_EQ(lamp->Angle(), r.stored) << r.written;
    }

    lamp->setAngle(0);
    lamp->setAngle(450);
    EXPECT_EQ(lamp->size(), QSize(27, 27));
    lamp->setWidth(40);
    lamp->setHeight(5);
    EXPECT_EQ(lamp->size(), QSize(27, 27));
    EXPECT_EQ(lamp->LedWidth(), 20);
    // The outer outline turned counter-clockwise about the centre: its first corner, the
    // top-left one, moves down to the left edge.
    const TIAglPoly &outer = lamp->ledOutlines().whole[LedOutlines::Outer];
    ASSERT_EQ(outer.size(), 4u);
    EXPECT_EQ(outer[0], QPoint(nearest(13.5 - 12 * 0.7071068 - 7 * 0.7071068),
                               nearest(13.5 + 12 * 0.7071068 - 7 * 0.7071068)));

    // At 90 degrees the widget's width becomes the lamp's height.
    lamp->setAngle(900);
    EXPECT_EQ(lamp->size(), QSize(14, 24));
    lamp->setWidth(18);
    EXPECT_EQ(lamp->size(), QSize(18, 24));
    EXPECT_EQ(lamp->LedHeight(), 14);
    EXPECT_EQ(lamp->LedWidth(), 20);
}

TEST_F(ProgramLamp, SizeSmallerThanTheFrameLeavesNoBody)
{
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    lamp->resize(3, 30);
    EXPECT_EQ(lamp->LedWidth(), 0);
    EXPECT_EQ(lamp->LedHeight(), 26);
    EXPECT_EQ(lamp->size(), QSize(4, 30));
    lamp->picture(); // a lamp without a body still renders
}

TEST_F(ProgramLamp, RaisedBevelReversesTheSides)
{
    lamp->setOuterBorderStyle(iablsUp);
    const QImage &image = lamp->picture();
    EXPECT_EQ(pixel(image, 10, 0), (Rgb{160, 160, 160}));
    EXPECT_EQ(pixel(image, 0, 7), (Rgb{160, 160, 160}));
    EXPECT_EQ(pixel(image, 10, 13), (Rgb{96, 96, 96}));
    EXPECT_EQ(pixel(image, 23, 7), (Rgb{96, 96, 96}));
}

TEST_F(ProgramLamp, GapAndInnerBevelWidenTheFrame)
{
    lamp->setGapColor(0x0000FF);                         // red
    EXPECT_EQ(pixel(lamp->picture(), 2, 7).g > 0, true); // no gap yet: body
    lamp->setGap(1);
    EXPECT_EQ(lamp->size(), QSize(26, 16));
    lamp->setInnerBorderStyle(iablsUp);
    lamp->setInnerBorderDepth(1);
    EXPECT_EQ(lamp->size(), QSize(28, 18));
    const QImage &image = lamp->picture();
    // outer bevel 0..1, inner bevel 2 (raised: light on top), gap 3, body from 4
    EXPECT_EQ(pixel(image, 14, 0), (Rgb{96, 96, 96}));
    EXPECT_EQ(pixel(image, 14, 2), (Rgb{160, 160, 160}));
    EXPECT_EQ(pixel(image, 14, 3), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(image, 14, 4).r, 0);
}

TEST_F(ProgramLamp, BorderTextureIsLightenedAndDarkened)
{
    QImage texture(4, 4, QImage::Format_RGB32);
    texture.fill(qRgb(100, 100, 100));
    lamp->setBorderSubstance(texture);
    const QImage &image = lamp->picture();
    EXPECT_EQ(pixel(image, 10, 0), (Rgb{36, 36, 36}));
    EXPECT_EQ(pixel(image, 10, 13), (Rgb{164, 164, 164}));
    // The caller keeps its picture; an empty one clears the texture.
    EXPECT_EQ(texture.pixel(0, 0), qRgb(100, 100, 100));
    lamp->setBorderSubstance(QImage());
    EXPECT_EQ(pixel(lamp->picture(), 10, 0), (Rgb{96, 96, 96}));
}

TEST_F(ProgramLamp, PlasticTextureIsShadedLikeTheColour)
{
    QImage texture(2, 2, QImage::Format_RGB32);
    texture.fill(qRgb(200, 100, 0));
    lamp->setLedPlasticSubstance(texture);
    const Rgb centre = pixel(lamp->picture(), 12, 7);
    EXPECT_EQ(centre, (Rgb{200, 100, 0}));
}

TEST(LampShapes, OutlinesFollowTheirTables)
{
    LedLook look;
    look.ledWidth = 20;
    look.ledHeight = 10;
    const struct
    {
        TIALedClass shape;
        std::size_t points;
        QPoint first;
    } rows[] = {
        {ialcRect, 4, {2, 2}},      {ialcRomb, 4, {12, 2}},   {ialcTriangle, 3, {12, 2}},
        {ialcTrapezium, 4, {7, 2}}, {ialcRound, 40, {12, 2}}, {ialcHalfCircle, 42, {2, 2}},
    };
    for (const auto &r : rows) {
        look.ledClass = r.shape;
        const QSize size = boundingSize(look);
        EXPECT_EQ(size, QSize(24, 14));
        const LedOutlines o = outlines(look, size);
        for (const auto &ring : o.whole)
            EXPECT_EQ(ring.size(), r.points) << r.shape;
        EXPECT_EQ(o.whole[LedOutlines::Body][0], r.first) << r.shape;
        // The outer bevel lies 2 pixels outside the body at the first point.
        const QPoint outer = o.whole[LedOutlines::Outer][0];
        EXPECT_LE((outer - r.first).manhattanLength(), 4) << r.shape;
        EXPECT_GE((outer - r.first).manhattanLength(), 2) << r.shape;
    }
    // The trapezium's top corners move sideways by half the push only.
    look.ledClass = ialcTrapezium;
    look.outerDepth = 4;
    const LedOutlines o = outlines(look, boundingSize(look));
    EXPECT_EQ(o.whole[LedOutlines::Outer][0], QPoint(9 - 2, 0));
    EXPECT_EQ(o.whole[LedOutlines::Outer][2], QPoint(28, 18));
}

TEST(LampShapes, RoundLampIsShapedToItsOutline)
{
    widgets::TIAgaloLED lamp;
    lamp.setLedClass(ialcRound);
    lamp.setLedWidth(20);
    lamp.setLedHeight(20);
    EXPECT_EQ(lamp.size(), QSize(24, 24));
    EXPECT_FALSE(lamp.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(lamp.mask().contains(QPoint(12, 12)));
    EXPECT_FALSE(lamp.mask().contains(QPoint(23, 23)));
}

TEST(LampShapes, SizesBeyondWhatAWindowCanHoldAreIgnored)
{
    for (const TIALedClass shape : {ialcRect, ialcRound, ialcHalfCircle, ialcTrapezium}) {
        widgets::TIAgaloLED lamp;
        lamp.setLedClass(shape);
        lamp.setGap(INT_MAX);
        lamp.setInnerBorderStyle(iablsDown);
        lamp.setInnerBorderDepth(INT_MAX);
        lamp.setOuterBorderDepth(INT_MAX);
        lamp.setLedWidth(INT_MAX);
        lamp.setLedHeight(MaxLampSide);
        lamp.setAngle(INT_MIN);
        EXPECT_EQ(lamp.Gap(), 0) << shape;
        EXPECT_EQ(lamp.InnerBorderDepth(), 0) << shape;
        EXPECT_EQ(lamp.OuterBorderDepth(), 2) << shape;
        EXPECT_EQ(lamp.LedWidth(), 22) << shape;
        EXPECT_EQ(lamp.LedHeight(), 12) << shape;
        EXPECT_EQ(lamp.Angle(), -848) << shape; // INT_MIN brought into range
        lamp.setAngle(0);
        lamp.setLedWidth(MaxLampSide - 4);
        EXPECT_EQ(lamp.width(), MaxLampSide) << shape;
        lamp.setLedWidth(0);
        lamp.setLedHeight(0);
        lamp.setOuterBorderDepth(0);
        EXPECT_EQ(lamp.size(), QSize(0, 0)) << shape;
        lamp.picture(); // nothing to draw, no division by zero
    }
}

TEST(LampGlow, FollowsTheLampsVisibility)
{
    QWidget host;
    auto *lamp = new widgets::TIAgaloLED(&host);
    lamp->setLedOn(true);
    lamp->setGaloON(true);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    auto visibleSiblings = [&] {
        int n = 0;
        for (QWidget *w : host.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            n += w != lamp && w->isVisible();
        return n;
    };
    EXPECT_EQ(visibleSiblings(), 1);
    lamp->hide();
    EXPECT_EQ(visibleSiblings(), 0);
    lamp->show();
    EXPECT_EQ(visibleSiblings(), 1);
    lamp->setGaloON(false);
    EXPECT_EQ(visibleSiblings(), 0);
}

TEST(LampShapes, NearestRoundsTiesToEven)
{
    EXPECT_EQ(nearest(0.5), 0);
    EXPECT_EQ(nearest(1.5), 2);
    EXPECT_EQ(nearest(2.5), 2);
    EXPECT_EQ(nearest(-0.5), 0);
    EXPECT_EQ(nearest(-1.5), -2);
    EXPECT_EQ(nearest(1e300), 2147483647);
    EXPECT_EQ(nearest(std::nan("")), 0);
}

TEST(LampResolution, RendersAtTheDevicePixelRatio)
{
    LedLook look;
    look.ledWidth = 20;
    look.ledHeight = 10;
    look.ledOn = true;
    look.plasticColor = qRgb(0, 255, 0);
    const QSize size = boundingSize(look);
    const LedOutlines o = outlines(look, size);
    QImage image;
    render(image, look, o, LedTextures(), size, 2.0);
    EXPECT_EQ(image.size(), QSize(48, 28));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    // The frame is 4 device pixels wide, the body green.
    EXPECT_EQ(pixel(image, 20, 3), (Rgb{96, 96, 96}));
    EXPECT_EQ(pixel(image, 20, 24), (Rgb{160, 160, 160}));
    EXPECT_EQ(pixel(image, 24, 14).r, 0);
    EXPECT_GT(pixel(image, 24, 14).g, 240);
}

TEST(LampGlow, HaloAddsTheColourAroundALitLamp)
{
    QWidget host;
    host.resize(100, 100);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    host.setAutoFillBackground(true);
    auto *lamp = new widgets::TIAgaloLED(&host);
    lamp->move(40, 40);
    lamp->setLedPlasticColor(widgets::clLime);
    lamp->setLedOn(true);
    lamp->setGaloON(true);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    QImage shot = host.grab().toImage();
    // Just outside the lamp, above its centre: black background with green added.
    const QRgb above = shot.pixel(52, 37);
    EXPECT_EQ(qRed(above), 0);
    EXPECT_GT(qGreen(above), 40);
    // Far away nothing changes.
    EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 0, 0));

    // Unlit: no halo, and the parent shows again where the halo was.
    lamp->setLedOn(false);
    QCoreApplication::processEvents();
    shot = host.grab().toImage();
    EXPECT_EQ(shot.pixel(52, 37), qRgb(0, 0, 0));
}

} // namespace

TF_QT_TEST_MAIN
