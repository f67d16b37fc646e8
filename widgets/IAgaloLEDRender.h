#pragma once

#include "widgets/Colors.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRgb>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

namespace widgets {

// The lamp's geometry and look as plain functions: outlines, bounding size, shading into
// an image. The widget keeps the state and calls these; tests and benchmarks use them
// without a window.
namespace iaglo {
Q_NAMESPACE

enum TIALedClass : int {
    ialcRect,
    ialcRound,
    ialcRomb,
    ialcHalfCircle,
    ialcTriangle,
    ialcTrapezium
};
Q_ENUM_NS(TIALedClass)

enum TIABorderLedStyle : int { iablsUp, iablsDown, iablsNone };
Q_ENUM_NS(TIABorderLedStyle)

enum TIAglSubstanceMode : int { iasmTile, iapsStretch };
Q_ENUM_NS(TIAglSubstanceMode)

constexpr bool isValid(TIALedClass v)
{
    return v >= ialcRect && v <= ialcTrapezium;
}
constexpr bool isValid(TIABorderLedStyle v)
{
    return v >= iablsUp && v <= iablsNone;
}
constexpr bool isValid(TIAglSubstanceMode v)
{
    return v >= iasmTile && v <= iapsStretch;
}

using TIAglPoly = std::vector<QPoint>;
using TIAxyPoly = std::vector<QPointF>;

// The largest widget side a lamp may need; a write that would need more is ignored like an
// out-of-range value (window systems stop at 32767 pixels).
inline constexpr int MaxLampSide = 32767;

// Conversion of a real to the nearest integer, ties to even.
int nearest(double v);

// Everything that decides the lamp's shape and look.
struct LedLook
{
    TIALedClass ledClass = ialcRect;
    int ledWidth = 22;
    int ledHeight = 12;
    bool ledOn = false;
    QRgb plasticColor = qRgb(255, 0, 0); // resolved RGB
    int plasticDepth = 5;
    TIAglSubstanceMode plasticMode = iasmTile;
    int gap = 0;
    QRgb gapColor = qRgb(128, 128, 128);
    TIABorderLedStyle innerStyle = iablsNone;
    int innerDepth = 0;
    TIABorderLedStyle outerStyle = iablsDown;
    int outerDepth = 2;
    QRgb borderColor = qRgb(128, 128, 128);
    TIAglSubstanceMode borderMode = iasmTile;
    int angle = 0; // tenths of a degree, already normalised

    // Gap plus the depths of the bevels that are drawn.
    int frame() const;
    double radians() const;
};

// Lamp textures: a 24-bit copy of the picture and, for the border, its lightened and
// darkened copies. An empty texture is a null image.
struct LedTextures
{
    QImage plastic;
    QImage border;
    QImage borderLight;
    QImage borderDark;

    void setBorder(const QImage &picture);
    void setPlastic(const QImage &picture);
};

// Angle written to the lamp, brought into -1799 ... 1800.
int normalisedAngle(int angle);

// Widget size that holds the lamp at its angle.
QSize boundingSize(const LedLook &look);
// True when that size stays within MaxLampSide.
bool fits(const LedLook &look);

// True when the angle is a multiple of 90 degrees.
bool isRightAngle(const LedLook &look);

struct LedOutlines
{
    // Body, gap ring, inner bevel, outer bevel; all with the same number of points.
    std::array<TIAxyPoly, 4> real;
    std::array<TIAglPoly, 4> whole;

    enum Ring : int { Body, Gap, Inner, Outer };
};

// Outlines in widget coordinates for a widget of the given size.
LedOutlines outlines(const LedLook &look, QSize widgetSize);

// The grain's generator: one per process, as the lamp's look asks for nothing better.
std::uint32_t grainRandom();

// Renders the lamp into a 24-bit image of widget size x ratio pixels, with its device pixel
// ratio set. At ratio 1 every pixel follows the lamp's formulas exactly.
void render(QImage &image, const LedLook &look, const LedOutlines &outlines,
            const LedTextures &textures, QSize widgetSize, qreal ratio = 1.0);

// Lightened and darkened bevel colours.
QRgb lightened(QRgb c);
QRgb darkened(QRgb c);

// Which bevel side an edge of the outline lies on, by its direction.
bool isDarkSide(QPoint from, QPoint to, TIABorderLedStyle style);

} // namespace iaglo

} // namespace widgets
