#include "widgets/IAeverLiquidIndicator.h"

#include "support/QtTestMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QPalette>
#include <QPolygon>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Indicator = widgets::TIAeverLiquidIndicator;

constexpr QRgb kLime = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kLight = 0xFFFDFDFD; // BevelColor 0xDDDDDD + 32
constexpr QRgb kDark = 0xFFBDBDBD;  // BevelColor 0xDDDDDD - 32

QRegion regionOf(const widgets::lcd::PolygonList &list)
{
    QRegion region;
    for (int i = 0; i < list.polygonCount(); ++i) {
        const auto points = list.polygon(i);
        region += QRegion(QPolygon(QList<QPoint>(points.begin(), points.end())), Qt::OddEvenFill);
    }
    return region;
}

bool hasPolygon(const widgets::lcd::PolygonList &list, const std::vector<QPoint> &polygon)
{
    for (int i = 0; i < list.polygonCount(); ++i)
        if (list.polygon(i) == polygon)
            return true;
    return false;
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

// The main window's display, set up the way its layout file does.
class MainWindowDisplay : public ::testing::Test
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
        m_digits->setIndicatorstring(QStringLiteral("00:00.0000"));
        m_digits->setIndicatorKind(Indicator::ik9segment);
        m_digits->setBackColor(widgets::clBlack);
        m_digits->setNumberForeColor(widgets::clLime);
        m_digits->setNumberBackColor(widgets::clBlack);
        m_digits->setIndicatorStyle(Indicator::isThick);
        m_digits->loaded();
        handlePostedRebuilds();
    }

    QRgb pixel(int x, int y) const { return m_digits->picture().pixel(x, y); }

    void handlePostedRebuilds()
    {
        QCoreApplication::sendPostedEvents(m_digits, Indicator::rebuildRequestType());
    }

    std::unique_ptr<QWidget> m_host;
    Indicator *m_digits = nullptr;
};

TEST_F(MainWindowDisplay, PlacesTheColonAndTheDecimalPointInTheirCells)
{
    const widgets::lcd::PolygonList &lit = m_digits->litPolygons();
    // Eight zeros of six bars, two colon dots, one decimal point.
    EXPECT_EQ(lit.polygonCount(), 8 * 6 + 2 + 1);
    EXPECT_EQ(m_digits->unlitPolygons().polygonCount(), 9 * 10 - 51);
    EXPECT_TRUE(hasPolygon(lit, {{96, 33}, {93, 28}, {96, 23}, {100, 23}, {103, 28}, {100, 33}}));
    EXPECT_TRUE(
        hasPolygon(lit, {{182, 69}, {184, 66}, {188, 66}, {190, 69}, {188, 73}, {184, 73}}));
}

TEST_F(MainWindowDisplay, PaintsLitSegmentsLimeAndNothingElse)
{
    const QImage &picture = m_digits->picture();
    ASSERT_EQ(picture.size(), QSize(349, 85));
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);

    // The colon dot and the decimal point, pixel for pixel as the platform fills them.
    const QPolygon colon{{QPoint(96, 33), {93, 28}, {96, 23}, {100, 23}, {103, 28}, {100, 33}}};
    const QPolygon point{{QPoint(182, 69), {184, 66}, {188, 66}, {190, 69}, {188, 73}, {184, 73}}};
    const QRegion lit = regionOf(m_digits->litPolygons());
    for (const QPolygon &dot : {colon, point}) {
        const QRegion region(dot, Qt::OddEvenFill);
        const QRegion neighbours = lit - region;
        const QRect around = dot.boundingRect().adjusted(-2, -2, 2, 2);
        for (int y = around.top(); y <= around.bottom(); ++y) {
            for (int x = around.left(); x <= around.right(); ++x) {
                const QPoint p(x, y);
                if (!neighbours.contains(p)) {
                    EXPECT_EQ(pixel(x, y) == kLime, region.contains(p)) << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ(pixel(98, 28), kLime);
    EXPECT_EQ(pixel(186, 69), kLime);

    // Lime exactly inside the lit polygons; the unlit ones stay black on black.
    const QRegion unlit = regionOf(m_digits->unlitPolygons());
    int unlitPixels = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QPoint p(x, y);
            ASSERT_EQ(pixel(x, y) == kLime, lit.contains(p)) << x << "," << y;
            if (unlit.contains(p)) {
                ++unlitPixels;
                ASSERT_EQ(pixel(x, y), kBlack) << x << "," << y;
            }
        }
    }
    EXPECT_GT(unlitPixels, 1000);
}

TEST_F(MainWindowDisplay, RaisedOuterAndSunkenInnerBevel)
{
    struct Probe
    {
        QPoint at;
        QRgb color;
    };
    const Probe probes[] = {
        {{100, 0}, kLight},  {{100, 1}, kLight},  // outer top
        {{0, 40}, kLight},   {{1, 40}, kLight},   // outer left
        {{100, 84}, kDark},  {{100, 83}, kDark},  // outer bottom
        {{348, 40}, kDark},  {{347, 40}, kDark},  // outer right
        {{100, 2}, kDark},   {{100, 3}, kDark},   // inner top
        {{2, 40}, kDark},    {{3, 40}, kDark},    // inner left
        {{100, 82}, kLight}, {{100, 81}, kLight}, // inner bottom
        {{346, 40}, kLight}, {{345, 40}, kLight}, // inner right
        {{100, 4}, kBlack},  {{342, 40}, kBlack}, // gap and the space right of the cells
    };
    for (const Probe &probe : probes)
        EXPECT_EQ(pixel(probe.at.x(), probe.at.y()), probe.color)
            << probe.at.x() << "," << probe.at.y();
}

TEST_F(MainWindowDisplay, RunningTimeShowsDashesAsMiddleBars)
{
    m_digits->setIndicatorstring(QStringLiteral("01:07.0---"));
    const widgets::lcd::PolygonList &lit = m_digits->litPolygons();
    // 0, 1, colon, 0, 7 with point, 0, then three middle bars.
    EXPECT_EQ(lit.polygonCount(), 6 + 2 + 2 + 6 + 3 + 1 + 6 + 1 + 1 + 1);
    for (int k = 7; k <= 9; ++k) {
        const int dx = 6 + 37 * (k - 1);
        EXPECT_TRUE(hasPolygon(lit, {{dx + 7, 42},
                                     {dx + 11, 38},
                                     {dx + 23, 38},
                                     {dx + 26, 42},
                                     {dx + 23, 46},
                                     {dx + 11, 46}}))
            << "cell " << k;
        EXPECT_EQ(pixel(dx + 16, 42), kLime);
    }
}

TEST_F(MainWindowDisplay, AnUnchangedStringNeitherRebuildsNorRepaints)
{
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
    QCoreApplication::processEvents();
    PaintCounter counter;
    m_digits->installEventFilter(&counter);

    const int before = m_digits->rebuildCount();
    m_digits->setIndicatorstring(QStringLiteral("01:07.0452"));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_digits->rebuildCount(), before + 1);
    const int paints = counter.paints;
    EXPECT_GE(paints, 1);

    m_digits->setIndicatorstring(QStringLiteral("01:07.0452"));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_digits->rebuildCount(), before + 1);
    EXPECT_EQ(counter.paints, paints);
}

TEST_F(MainWindowDisplay, QuarterTurnStandsTheFaceUpright)
{
    m_digits->setIndicatorAngle(900);
    EXPECT_EQ(m_digits->size(), QSize(85, 349));
    EXPECT_EQ(m_digits->picture().size(), QSize(85, 349));
    EXPECT_EQ(m_digits->IndicatorWidth(), 349);
    EXPECT_EQ(m_digits->IndicatorHeight(), 85);
    // The turned face, one pixel high of centre by the halving of odd sizes.
    EXPECT_EQ(m_digits->mask().boundingRect(), QRect(0, 0, 85, 348));

    // Light on the unrotated top (now left) and right (now top) sides.
    EXPECT_EQ(pixel(0, 174), kLight);
    EXPECT_EQ(pixel(42, 0), kLight);
    EXPECT_EQ(pixel(84, 174), kDark);
    EXPECT_EQ(pixel(42, 347), kDark);
    // Still a colon: two lime dots in the third cell from the bottom.
    EXPECT_EQ(m_digits->litPolygons().polygonCount(), 51);

    // The toolkit resizing a quarter-turned display swaps the face's sides at once.
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
    const int before = m_digits->rebuildCount();
    m_digits->resize(60, 300);
    EXPECT_EQ(m_digits->IndicatorWidth(), 300);
    EXPECT_EQ(m_digits->IndicatorHeight(), 60);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), before + 1);
}

TEST_F(MainWindowDisplay, ColorSchemeChangesThePictureAtTheNextRender)
{
    const int rebuilds = m_digits->rebuildCount();
    m_digits->setColorScheme(Indicator::csTIAN);
    EXPECT_EQ(m_digits->BackColor(), 0xA00000);
    EXPECT_EQ(m_digits->BevelColor(), 0xA00000);
    EXPECT_EQ(m_digits->NumberBackColor(), 0x804000);
    EXPECT_EQ(m_digits->NumberForeColor(), 0xDAF376);
    EXPECT_EQ(m_digits->NumberForeColor1(), 0x00FFFF);
    EXPECT_EQ(m_digits->rebuildCount(), rebuilds);

    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), rebuilds + 1);
    EXPECT_EQ(pixel(100, 4), qRgb(0x00, 0x00, 0xA0)); // BackColor 0xA00000 is blue
    EXPECT_EQ(pixel(98, 28), qRgb(0x76, 0xF3, 0xDA)); // lit
    EXPECT_EQ(pixel(100, 0), qRgb(0x20, 0x20, 0xC0)); // light bevel
}

TEST(ColorScheme, IsOnlyStoredWhileTheWindowIsLoading)
{
    QWidget host;
    Indicator display(&host);
    display.setColorScheme(Indicator::csBlack);
    EXPECT_EQ(display.ColorScheme(), Indicator::csBlack);
    EXPECT_EQ(display.BackColor(), 0xDDDDDD);
    QCoreApplication::sendPostedEvents(&display, Indicator::rebuildRequestType());
    EXPECT_EQ(display.BackColor(), 0xDDDDDD);
}

TEST(Indicator, StartsWithThePublishedInitialValues)
{
    QWidget host;
    Indicator display(&host);
    const std::pair<const char *, QVariant> initial[] = {
        {"ColorScheme", int(Indicator::csSilver)},
        {"SignNumber", 10},
        {"IndicatorWidth", 172},
        {"IndicatorHeight", 36},
        {"IndicatorAngle", 0},
        {"IndicatorGap", 2},
        {"Indicatorstring", QString()},
        {"IndicatorKind", int(Indicator::ik7segment)},
        {"InnerBevel", int(Indicator::bkDown)},
        {"OuterBevel", int(Indicator::bkUP)},
        {"InnerBevelWidth", 2},
        {"OuterBevelWidth", 2},
        {"BevelColor", 0xDDDDDD},
        {"BackColor", 0xDDDDDD},
        {"NumberForeColor", 0x363636},
        {"NumberForeColor1", 0x0000FF},
        {"NumberBackColor", 0xD3D3D3},
        {"IndicatorStyle", int(Indicator::isNormal)},
        {"MouseAction", int(Indicator::maNone)},
        {"TransparentMode", int(Indicator::tmNone)},
        {"MaterialShadowMode", int(Indicator::msmDark)},
        {"MaterialMode", int(Indicator::mmStretch)},
        {"ForeMaterialMode", int(Indicator::mmStretch)},
    };
    for (const auto &[name, value] : initial) {
        const QVariant actual = display.property(name);
        ASSERT_TRUE(actual.isValid()) << name;
        EXPECT_EQ(actual.toInt(), value.toInt()) << name;
    }
    EXPECT_TRUE(display.Indicatorstring().isEmpty());
    EXPECT_TRUE(display.BackMaterial().isNull());
    EXPECT_TRUE(display.ForeMaterial().isNull());
    EXPECT_EQ(display.size(), QSize(172, 36));
    EXPECT_EQ(display.picture().size(), QSize(172, 36));
    EXPECT_TRUE(display.testAttribute(Qt::WA_OpaquePaintEvent));
}

struct SetterCase
{
    const char *property;
    QVariant value;
    int rebuilds;
};

class Setters : public MainWindowDisplay, public ::testing::WithParamInterface<SetterCase>
{
};

TEST_P(Setters, IgnoreEqualAndOutOfRangeValues)
{
    const SetterCase &c = GetParam();
    const QVariant old = m_digits->property(c.property);
    const int before = m_digits->rebuildCount();
    ASSERT_TRUE(m_digits->setProperty(c.property, c.value));
    EXPECT_EQ(m_digits->rebuildCount(), before);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount() - before, c.rebuilds);
    const QVariant now = m_digits->property(c.property);
    EXPECT_EQ(now.toInt(), c.rebuilds == 0 ? old.toInt() : c.value.toInt());
}

INSTANTIATE_TEST_SUITE_P(
    Properties, Setters,
    ::testing::Values(SetterCase{"SignNumber", 9, 0}, SetterCase{"SignNumber", 0, 0},
                      SetterCase{"SignNumber", -4, 0}, SetterCase{"SignNumber", 7, 1},
                      SetterCase{"IndicatorWidth", 0, 0}, SetterCase{"IndicatorHeight", -1, 0},
                      SetterCase{"IndicatorGap", 2, 0}, SetterCase{"IndicatorGap", -1, 1},
                      SetterCase{"InnerBevelWidth", 0, 0}, SetterCase{"OuterBevelWidth", -3, 0},
                      SetterCase{"OuterBevelWidth", 5, 1},
                      SetterCase{"IndicatorKind", int(Indicator::ik9segment), 0},
                      SetterCase{"IndicatorKind", int(Indicator::ik5x7matrix), 1},
                      SetterCase{"BackColor", 0, 0}, SetterCase{"BevelColor", 0x123456, 1},
                      SetterCase{"NumberForeColor", 0x00FF00, 0},
                      SetterCase{"InnerBevel", int(Indicator::bkNone), 1},
                      SetterCase{"MouseAction", int(Indicator::maColor), 1},
                      SetterCase{"IndicatorStyle", int(Indicator::isThick), 0},
                      SetterCase{"IndicatorStyle", 3, 0}, SetterCase{"IndicatorKind", -1, 0},
                      SetterCase{"ColorScheme", 7, 0}, SetterCase{"TransparentMode", 3, 0},
                      SetterCase{"MaterialMode", 2, 0}, SetterCase{"InnerBevel", 3, 0},
                      SetterCase{"ColorScheme", 100000, 0},
                      SetterCase{"MaterialShadowMode", -7, 0},
                      SetterCase{"ForeMaterialMode", 1 << 30, 0},
                      SetterCase{"MouseAction", 4, 0}));

TEST_F(MainWindowDisplay, SystemColoursTakeTheDesktopsPalette)
{
    const widgets::TColor buttonFace = widgets::TColor(0x8000000F);
    m_digits->setBackColor(buttonFace);
    m_digits->setBevelColor(buttonFace);
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_EQ(pixel(100, 4), face.rgb());
    const auto lighter = [](int v) { return std::min(v + 32, 255); };
    EXPECT_EQ(pixel(100, 0),
              qRgb(lighter(face.red()), lighter(face.green()), lighter(face.blue())));
}

TEST(GatedProperties, WaitForTheEndOfLoading)
{
    QWidget host;
    auto *display = new Indicator(&host);
    const int before = display->rebuildCount();
    display->setSignNumber(4);
    display->setIndicatorWidth(200);
    display->setIndicatorHeight(50);
    display->setIndicatorAngle(300);
    EXPECT_EQ(display->rebuildCount(), before);
    EXPECT_EQ(display->size(), QSize(172, 36));
    EXPECT_EQ(display->IndicatorWidth(), 200);

    // Other properties take effect at the next render, loaded or not.
    display->setIndicatorGap(3);
    QCoreApplication::sendPostedEvents(display, Indicator::rebuildRequestType());
    EXPECT_EQ(display->rebuildCount(), before + 1);

    display->loaded();
    EXPECT_TRUE(display->isLoaded());
    QCoreApplication::sendPostedEvents(display, Indicator::rebuildRequestType());
    EXPECT_EQ(display->rebuildCount(), before + 2);
    display->setIndicatorWidth(180);
    // 180 by 50 turned by 30 degrees: round(cos*180 + sin*50), round(sin*180 + cos*50).
    EXPECT_EQ(display->size(), QSize(181, 133));
}

TEST_F(MainWindowDisplay, MouseEnterAndLeaveRebuildThroughTheQueue)
{
    m_digits->setMouseAction(Indicator::maColor);
    m_digits->setNumberForeColor1(0x0000FF);
    int entered = 0;
    int left = 0;
    QObject::connect(m_digits, &Indicator::onMouseEnter, [&](Indicator *sender) {
        EXPECT_EQ(sender, m_digits);
        ++entered;
    });
    QObject::connect(m_digits, &Indicator::onMouseExit, [&](Indicator *) { ++left; });

    const int before = m_digits->rebuildCount();
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(m_digits, &enter);
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(m_digits->rebuildCount(), before);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), before + 1);
    EXPECT_EQ(pixel(98, 28), qRgb(0xFF, 0, 0)); // NumberForeColor1 0x0000FF is red

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(m_digits, &leave);
    EXPECT_EQ(left, 1);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), before + 2);
    EXPECT_EQ(pixel(98, 28), kLime);
}

TEST_F(MainWindowDisplay, MouseWideningThickensTheBars)
{
    m_digits->setMouseAction(Indicator::maWidth);
    const auto normal = m_digits->litPolygons().polygon(0);
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(m_digits, &enter);
    handlePostedRebuilds();
    const auto widened = m_digits->litPolygons().polygon(0);
    // Lower-left bar of the first cell: its inner corner T(1.5ux + h) moves right as t grows.
    EXPECT_GT(widened[4].x(), normal[4].x());
    EXPECT_EQ(pixel(98, 28), kLime); // colour unchanged with maWidth
}

TEST_F(MainWindowDisplay, TransparentModesShowOnlyTheVisibleParts)
{
    EXPECT_FALSE(m_digits->visibleRegion().has_value());

    m_digits->setTransparentMode(Indicator::tmAll);
    EXPECT_FALSE(m_digits->testAttribute(Qt::WA_OpaquePaintEvent));
    ASSERT_TRUE(m_digits->visibleRegion().has_value());
    const QRegion all = *m_digits->visibleRegion();
    EXPECT_TRUE(all.contains(QPoint(100, 0)));  // outer bevel
    EXPECT_TRUE(all.contains(QPoint(100, 3)));  // inner bevel
    EXPECT_TRUE(all.contains(QPoint(98, 28)));  // lit colon dot
    EXPECT_FALSE(all.contains(QPoint(100, 4))); // background in the gap
    const QPoint unlitMiddleBar(6 + 37 * 2 + 16, 42);
    EXPECT_FALSE(all.contains(unlitMiddleBar));

    m_digits->setTransparentMode(Indicator::tmBackOnly);
    const QRegion backOnly = *m_digits->visibleRegion();
    EXPECT_TRUE(backOnly.contains(unlitMiddleBar));
    EXPECT_FALSE(backOnly.contains(QPoint(100, 4)));
    EXPECT_TRUE(
        backOnly.subtracted(all).xored(regionOf(m_digits->unlitPolygons()) - all).isEmpty());

    m_digits->setTransparentMode(Indicator::tmNone);
    EXPECT_TRUE(m_digits->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_FALSE(m_digits->visibleRegion().has_value());
}

TEST_F(MainWindowDisplay, PaintingCopiesThePictureOrOnlyItsVisibleParts)
{
    QPalette palette = m_host->palette();
    palette.setColor(QPalette::Window, QColor(200, 0, 0));
    m_host->setPalette(palette);
    m_host->setAutoFillBackground(true);
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
    QCoreApplication::processEvents();

    const auto shown = [this](int x, int y) {
        return m_host->grab().toImage().pixel(m_digits->x() + x, m_digits->y() + y);
    };
    EXPECT_EQ(shown(100, 4), kBlack); // opaque: the background is the display's own
    EXPECT_EQ(shown(98, 28), kLime);

    m_digits->setTransparentMode(Indicator::tmAll);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(100, 4), qRgb(200, 0, 0)); // the window shows through
    EXPECT_EQ(shown(96, 42), qRgb(200, 0, 0)); // and through an unlit bar
    EXPECT_EQ(shown(98, 28), kLime);
    EXPECT_EQ(shown(100, 0), kLight);

    m_digits->setTransparentMode(Indicator::tmBackOnly);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(100, 4), qRgb(200, 0, 0));
    EXPECT_EQ(shown(96, 42), kBlack);
}

TEST_F(MainWindowDisplay, MaterialsReplaceTheFlatColours)
{
    QImage grey(4, 4, QImage::Format_RGB32);
    grey.fill(qRgb(0x80, 0x80, 0x80));
    m_digits->setBackMaterial(grey);
    EXPECT_EQ(pixel(100, 4), qRgb(0x80, 0x80, 0x80));  // background
    EXPECT_EQ(pixel(100, 0), qRgb(0xC0, 0xC0, 0xC0));  // light bevel: +64
    EXPECT_EQ(pixel(100, 84), qRgb(0x40, 0x40, 0x40)); // dark bevel: -64
    const QPoint unlitMiddleBar(6 + 37 * 2 + 16, 42);
    EXPECT_EQ(pixel(unlitMiddleBar.x(), unlitMiddleBar.y()), qRgb(0x60, 0x60, 0x60)); // -32
    m_digits->setMaterialShadowMode(Indicator::msmLight);
    EXPECT_EQ(pixel(unlitMiddleBar.x(), unlitMiddleBar.y()), qRgb(0xA0, 0xA0, 0xA0));
    m_digits->setMaterialShadowMode(Indicator::msmNone);
    EXPECT_EQ(pixel(unlitMiddleBar.x(), unlitMiddleBar.y()), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(pixel(98, 28), kLime); // lit segments keep their colour without ForeMaterial

    // Two columns, red and blue: stretched they split the face, tiled they alternate.
    QImage stripes(2, 1, QImage::Format_RGB32);
    stripes.setPixel(0, 0, qRgb(255, 0, 0));
    stripes.setPixel(1, 0, qRgb(0, 0, 255));
    m_digits->setForeMaterial(stripes);
    EXPECT_EQ(pixel(98, 28), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(6 + 37 * 7 + 18, 6 + 8), qRgb(0, 0, 255)); // top bar of cell 8
    m_digits->setForeMaterialMode(Indicator::mmTile);
    EXPECT_EQ(pixel(98, 28), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(99, 28), qRgb(0, 0, 255));

    m_digits->setBackMaterial(stripes);
    m_digits->setMaterialMode(Indicator::mmTile);
    EXPECT_EQ(pixel(100, 4), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(101, 4), qRgb(0, 0, 255));
    EXPECT_EQ(pixel(100, 0), qRgb(255, 64, 64)); // lighter by 64, clamped
}

TEST_F(MainWindowDisplay, MaterialsCoverNothingWhereNoSegmentIsOnTheFace)
{
    QImage red(2, 2, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    QImage grey(2, 2, QImage::Format_RGB32);
    grey.fill(qRgb(0x80, 0x80, 0x80));
    m_digits->setForeMaterial(red);
    m_digits->setBackMaterial(grey);
    // A gap this wide pushes every cell off the face: the segment regions are empty.
    m_digits->setIndicatorGap(500);
    ASSERT_GT(m_digits->litPolygons().polygonCount(), 0);
    ASSERT_GT(m_digits->unlitPolygons().polygonCount(), 0);

    const QImage &picture = m_digits->picture();
    int redPixels = 0;
    int shadow = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            redPixels += picture.pixel(x, y) == qRgb(255, 0, 0);
            shadow += picture.pixel(x, y) == qRgb(0x60, 0x60, 0x60);
        }
    }
    EXPECT_EQ(redPixels, 0);
    EXPECT_EQ(shadow, 0);
    EXPECT_EQ(pixel(100, 40), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(pixel(100, 0), qRgb(0xC0, 0xC0, 0xC0));
}

TEST_F(MainWindowDisplay, AChangeOfSizeOrAngleRebuildsOnce)
{
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
    handlePostedRebuilds();

    const struct
    {
        const char *change;
        std::function<void(Indicator &)> apply;
    } changes[] = {
        {"width", [](Indicator &d) { d.setIndicatorWidth(300); }},
        {"height", [](Indicator &d) { d.setIndicatorHeight(70); }},
        {"angle", [](Indicator &d) { d.setIndicatorAngle(300); }},
        {"angle back", [](Indicator &d) { d.setIndicatorAngle(0); }},
        {"toolkit resizes, three times", [](Indicator &d) {
             d.resize(200, 50);
             d.resize(210, 50);
             d.resize(220, 60);
         }},
        {"mouse in and out before the queue runs", [](Indicator &d) {
             QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
             QCoreApplication::sendEvent(&d, &enter);
             QEvent leave(QEvent::Leave);
             QCoreApplication::sendEvent(&d, &leave);
         }},
    };
    for (const auto &c : changes) {
        const int before = m_digits->rebuildCount();
        c.apply(*m_digits);
        handlePostedRebuilds();
        EXPECT_EQ(m_digits->rebuildCount(), before + 1) << c.change;
        EXPECT_EQ(m_digits->picture().size(), m_digits->size()) << c.change;
    }
    EXPECT_EQ(m_digits->IndicatorWidth(), 220);
    EXPECT_EQ(m_digits->IndicatorHeight(), 60);

    // A request that is handled after the picture was asked for has nothing left to do;
    // the next change posts anew.
    m_digits->setColorScheme(Indicator::csBlack);
    m_digits->setBevelColor(0x123456);
    m_digits->picture();
    const int rebuilt = m_digits->rebuildCount();
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), rebuilt);
    m_digits->setColorScheme(Indicator::csWhite);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), rebuilt + 1);
    EXPECT_EQ(pixel(100, 4), qRgb(255, 255, 255));
}

TEST_F(MainWindowDisplay, OtherKindsLayOutTheirCells)
{
    m_digits->setIndicatorKind(Indicator::ik5x7matrix);
    // 0 0 : 0 0 . 0 0 0 in nine cells of 35 dots.
    EXPECT_EQ(m_digits->litPolygons().polygonCount(), 7 * 16 + 8 + 4);
    EXPECT_EQ(m_digits->unlitPolygons().polygonCount(), 9 * 35 - 124);

    m_digits->setIndicatorKind(Indicator::ik7segment);
    m_digits->setSignNumber(5);
    m_digits->setIndicatorstring(QStringLiteral("12:34"));
    // The colon cell stays blank: 1, 2, 3 and 4 light 2 + 5 + 5 + 4 bars.
    EXPECT_EQ(m_digits->litPolygons().polygonCount(), 16);
    EXPECT_EQ(m_digits->unlitPolygons().polygonCount(), 5 * 8 - 16);
}

TEST_F(MainWindowDisplay, ToolkitResizeTakesTheNewFaceSizeLater)
{
    const int before = m_digits->rebuildCount();
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
    handlePostedRebuilds();
    const int shown = m_digits->rebuildCount();
    EXPECT_GE(shown, before);

    m_digits->resize(200, 50);
    EXPECT_EQ(m_digits->IndicatorWidth(), 200);
    EXPECT_EQ(m_digits->IndicatorHeight(), 50);
    EXPECT_EQ(m_digits->rebuildCount(), shown);
    handlePostedRebuilds();
    EXPECT_EQ(m_digits->rebuildCount(), shown + 1);
    EXPECT_EQ(m_digits->picture().size(), QSize(200, 50));
    EXPECT_EQ(m_digits->mask().boundingRect(), QRect(0, 0, 200, 50));

    // A face turned by 30 degrees keeps its size: the window snaps back.
    m_digits->setIndicatorAngle(300);
    const QSize turned = m_digits->size();
    m_digits->resize(90, 90);
    EXPECT_EQ(m_digits->size(), turned);
    EXPECT_EQ(m_digits->IndicatorWidth(), 200);
}

} // namespace

TF_QT_TEST_MAIN
