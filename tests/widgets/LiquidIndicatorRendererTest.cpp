#include "widgets/LiquidIndicatorRenderer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// The display's picture without a widget: looks the window's display never takes.

using namespace widgets::lcd;

namespace {

constexpr QRgb kLime = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kLight = 0xFFFDFDFD; // BevelColor 0xDDDDDD + 32
constexpr QRgb kDark = 0xFFBDBDBD;  // BevelColor 0xDDDDDD - 32

// The main window's display: nine thick 9-segment cells, lime on black, 349 by 85.
IndicatorLook mainWindowLook()
{
    IndicatorLook look;
    look.signNumber = 9;
    look.indicatorWidth = 349;
    look.indicatorHeight = 85;
    look.text = "00:00.0000";
    look.kind = ik9segment;
    look.backColor = widgets::clBlack;
    look.numberForeColor = widgets::clLime;
    look.numberBackColor = widgets::clBlack;
    look.style = isThick;
    return look;
}

QImage filled(QRgb color)
{
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

struct Probe
{
    QPoint at; // in picture pixels
    QRgb color;
};

struct LookCase
{
    const char *name;
    std::function<void(IndicatorLook &)> change;
    QSize size;
    qreal ratio;
    QSize pictureSize;
    std::vector<Probe> probes;
};

const LookCase kLooks[] = {
    {"upside down, the light still falls from the top left",
     [](IndicatorLook &l) { l.indicatorAngle = 1800; },
     {349, 85},
     1.0,
     {349, 85},
     {{{100, 0}, kLight},
      {{0, 40}, kLight},
      {{100, 83}, kDark},
      {{347, 40}, kDark},
      // Turned about (174, 42), the odd-sized face ends a pixel short of both far edges.
      {{100, 84}, kBlack},
      {{348, 40}, kBlack},
      {{100, 4}, kBlack},
      {{250, 56}, kLime}}}, // the upper colon dot, turned about (174, 42)
    {"a face smaller than the widget sits in its middle",
     [](IndicatorLook &) {},
     {369, 105},
     1.0,
     {369, 105},
     {{{5, 5}, kBlack},
      {{110, 10}, kLight},
      {{110, 11}, kLight},
      {{110, 12}, kDark},
      {{10, 50}, kLight},
      {{358, 50}, kDark},
      {{359, 50}, kBlack},
      {{108, 38}, kLime}}},
    {"without bevels the background reaches the edge",
     [](IndicatorLook &l) {
         l.innerBevel = bkNone;
         l.outerBevel = bkNone;
     },
     {349, 85},
     1.0,
     {349, 85},
     {{{100, 0}, kBlack}, {{0, 40}, kBlack}, {{100, 84}, kBlack}, {{348, 40}, kBlack}}},
    {"the hover colour wins over the fore material",
     [](IndicatorLook &l) {
         l.foreMaterial = filled(qRgb(0, 0, 255));
         l.mouseAction = maColor;
         l.mouseInside = true;
         l.numberForeColor1 = 0x00FFFF;
     },
     {349, 85},
     1.0,
     {349, 85},
     {{{98, 28}, qRgb(255, 255, 0)}}},
    {"widening under the mouse keeps the fore material",
     [](IndicatorLook &l) {
         l.foreMaterial = filled(qRgb(0, 0, 255));
         l.mouseAction = maWidth;
         l.mouseInside = true;
     },
     {349, 85},
     1.0,
     {349, 85},
     {{{98, 28}, qRgb(0, 0, 255)}}},
    {"at one and a half screen pixels the bevels meet without a seam",
     [](IndicatorLook &) {},
     {349, 85},
     1.5,
     {524, 128},
     {{{150, 0}, kLight},
      {{150, 2}, kLight},
      {{150, 3}, kDark},
      {{150, 5}, kDark},
      {{150, 6}, kBlack},
      {{0, 60}, kLight},
      {{3, 60}, kDark},
      {{523, 60}, kDark},
      {{520, 60}, kLight},
      {{147, 42}, kLime}}}, // the upper colon dot at (98, 28)
};

TEST(LiquidIndicatorRenderer, PaintsEachLookWhereItBelongs)
{
    for (const LookCase &c : kLooks) {
        SCOPED_TRACE(c.name);
        IndicatorLook look = mainWindowLook();
        c.change(look);
        LiquidIndicatorRenderer renderer;
        renderer.prepareMaterials(look);
        renderer.render(look, c.size, c.ratio);
        const QImage &picture = renderer.picture();
        ASSERT_EQ(picture.size(), c.pictureSize);
        EXPECT_EQ(picture.devicePixelRatio(), c.ratio);
        for (const Probe &p : c.probes)
            EXPECT_EQ(picture.pixel(p.at), p.color) << p.at.x() << "," << p.at.y();
    }
}

TEST(LiquidIndicatorRenderer, AFractionalRatioKeepsFlatColours)
{
    const IndicatorLook look = mainWindowLook();
    LiquidIndicatorRenderer renderer;
    renderer.render(look, {349, 85}, 1.5);
    const QImage &picture = renderer.picture();
    int lime = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            ASSERT_TRUE(c == kLime || c == kBlack || c == kLight || c == kDark)
                << x << "," << y << " " << std::hex << c;
            lime += c == kLime;
        }

    // The same segments as at ratio 1, on 2.25 times the pixels.
    LiquidIndicatorRenderer plain;
    plain.render(look, {349, 85}, 1.0);
    int plainLime = 0;
    for (int y = 0; y < plain.picture().height(); ++y)
        for (int x = 0; x < plain.picture().width(); ++x)
            plainLime += plain.picture().pixel(x, y) == kLime;
    EXPECT_NEAR(lime, 2.25 * plainLime, 0.04 * 2.25 * plainLime);
}

TEST(LiquidIndicatorRenderer, TurnedFacesTakeTheirBoundingBox)
{
    const struct
    {
        int angle;
        QSize window;
        bool cornerShows; // the window's top left pixel belongs to the face
    } turns[] = {
        {0, {349, 85}, true},    {900, {85, 349}, true},   {-900, {85, 349}, true},
        {1800, {349, 85}, true}, {450, {307, 307}, false}, {3600, {349, 85}, true},
    };
    for (const auto &t : turns) {
        SCOPED_TRACE(t.angle);
        IndicatorLook look = mainWindowLook();
        look.indicatorAngle = t.angle;
        EXPECT_EQ(TurnedFaceSize(look), t.window);
        LiquidIndicatorRenderer renderer;
        const QRegion shape = renderer.faceShape(look, t.window);
        EXPECT_TRUE(QRect(QPoint(0, 0), t.window).contains(shape.boundingRect()));
        EXPECT_TRUE(shape.contains(QPoint(t.window.width() / 2, t.window.height() / 2)));
        EXPECT_EQ(shape.contains(QPoint(0, 0)), t.cornerShows);
    }
}

} // namespace
