#include "widgets/IAgaloLEDRender.h"

#include <QPainter>
#include <QPolygon>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace widgets {

namespace iaglo {

namespace {

constexpr double pi = std::numbers::pi;

// Integer division truncating toward zero, as the outline table asks for.
int idiv(int a, int b)
{
    return a / b;
}

struct Push
{
    double dx, dy;
};

// Body points and the unit push of each point, before the push distance is applied.
void bodyOutline(const LedLook &look, TIAxyPoly &body, std::vector<Push> &push,
                 std::vector<bool> &halfPush)
{
    const double c = look.frame();
    const int lw = look.ledWidth;
    const int lh = look.ledHeight;
    body.clear();
    push.clear();
    halfPush.clear();
    const auto add = [&](double x, double y, double px, double py, bool half = false) {
        body.emplace_back(x, y);
        push.push_back({px, py});
        halfPush.push_back(half);
    };
    switch (look.ledClass) {
    case ialcRect:
        add(c, c, -1, -1);
        add(c + lw, c, 1, -1);
        add(c + lw, c + lh, 1, 1);
        add(c, c + lh, -1, 1);
        break;
    case ialcRomb:
        add(c + idiv(lw, 2), c, 0, -1);
        add(c + lw, c + idiv(lh, 2), 1, 0);
        add(c + idiv(lw, 2), c + lh, 0, 1);
        add(c, c + idiv(lh, 2), -1, 0);
        break;
    case ialcTriangle:
        add(c + idiv(lw, 2), c, 0, -1);
        add(c + lw, c + lh, 1, 1);
        add(c, c + lh, -1, 1);
        break;
    case ialcTrapezium:
        add(c + idiv(lw, 4), c, -1, -1, true);
        add(c + double(qint64(3) * lw / 4), c, 1, -1, true);
        add(c + lw, c + lh, 1, 1);
        add(c, c + lh, -1, 1);
        break;
    case ialcRound: {
        const int n = std::max({lw, lh, 1});
        for (int k = 0; k < 2 * n; ++k) {
            const double t = k * pi / n;
            add(c + lw / 2.0 + std::sin(t) * lw / 2.0, c + lh / 2.0 - std::cos(t) * lh / 2.0,
                std::sin(t), -std::cos(t));
        }
        break;
    }
    case ialcHalfCircle: {
        const int n = std::max({lw, lh, 1});
        for (int k = 0; k < 2 * n; ++k) {
            const double t = k * pi / (2 * n - 1);
            add(c + std::sin(t) * lw, c + lh / 2.0 - std::cos(t) * lh / 2.0, std::sin(t),
                -std::cos(t));
        }
        add(c, c + lh, -1, 1);
        add(c, c, -1, -1);
        break;
    }
    }
}

TIAxyPoly pushed(const TIAxyPoly &from, const std::vector<Push> &push,
                 const std::vector<bool> &halfPush, int d)
{
    TIAxyPoly out(from.size());
    for (std::size_t k = 0; k < from.size(); ++k) {
        // The trapezium's top corners move sideways by d div 2 only.
        const double side = halfPush[k] ? idiv(d, 2) : d;
        out[k] = {from[k].x() + push[k].dx * side, from[k].y() + push[k].dy * d};
    }
    return out;
}

QImage to24Bit(const QImage &picture)
{
    return picture.convertToFormat(QImage::Format_BGR888);
}

QImage shiftedBytes(const QImage &texture, int delta)
{
    QImage out = texture.copy();
    const int rowBytes = out.width() * 3;
    for (int y = 0; y < out.height(); ++y) {
        uchar *row = out.scanLine(y);
        for (int i = 0; i < rowBytes; ++i)
            row[i] = uchar(std::clamp(row[i] + delta, 0, 255));
    }
    return out;
}

QPolygon scaledPolygon(const TIAglPoly &whole, const TIAxyPoly &real, qreal ratio)
{
    QPolygon polygon;
    polygon.reserve(int(whole.size()));
    if (ratio == 1.0) {
        for (const QPoint &p : whole)
            polygon << p;
    } else {
        for (const QPointF &p : real)
            polygon << QPoint(nearest(p.x() * ratio), nearest(p.y() * ratio));
    }
    return polygon;
}

QRegion quadrilateral(QPoint a, QPoint b, QPoint c, QPoint d)
{
    return QRegion(QPolygon({a, b, c, d}), Qt::OddEvenFill);
}

// Draws a texture into the whole image, stretched or tiled from the top-left corner.
void drawTexture(QPainter &painter, const QImage &texture, TIAglSubstanceMode mode, QSize size)
{
    if (mode == iapsStretch) {
        painter.drawImage(QRect(QPoint(0, 0), size), texture);
        return;
    }
    const int tw = texture.width();
    const int th = texture.height();
    for (int j = 0; j <= size.height() / th; ++j)
        for (int i = 0; i <= size.width() / tw; ++i)
            painter.drawImage(QPoint(i * tw, j * th), texture);
}

void fillRegion(QImage &image, const QRegion &region, QRgb color)
{
    const int r = qRed(color), g = qGreen(color), b = qBlue(color);
    for (const QRect &rect : region) {
        const QRect clipped = rect.intersected(image.rect());
        for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
            uchar *p = image.scanLine(y) + clipped.left() * 3;
            for (int x = clipped.left(); x <= clipped.right(); ++x) {
                *p++ = uchar(b);
                *p++ = uchar(g);
                *p++ = uchar(r);
            }
        }
    }
}

// The region is in image pixels; the texture is laid out in widget coordinates.
void fillWithTexture(QImage &image, const QRegion &region, const QImage &texture,
                     TIAglSubstanceMode mode, qreal ratio, QSize widgetSize)
{
    if (region.isEmpty())
        return;
    QPainter painter(&image);
    painter.setClipRegion(region);
    painter.scale(ratio, ratio);
    drawTexture(painter, texture, mode, widgetSize);
}

// One bevel ring: each quadrilateral goes to the light or the dark side by its outer edge.
void drawBevel(QImage &image, const QPolygon &inner, const QPolygon &outer, TIABorderLedStyle style,
               QRgb color, const LedTextures &textures, TIAglSubstanceMode mode, qreal ratio,
               QSize widgetSize)
{
    QRegion light;
    QRegion dark;
    const int n = int(outer.size());
    for (int k = 0; k < n; ++k) {
        const int next = (k + 1) % n;
        const QRegion quad = quadrilateral(inner[k], outer[k], outer[next], inner[next]);
        if (isDarkSide(outer[k], outer[next], style))
            dark += quad;
        else
            light += quad;
    }
    if (textures.border.isNull()) {
        fillRegion(image, light, lightened(color));
        fillRegion(image, dark, darkened(color));
    } else {
        fillWithTexture(image, light, textures.borderLight, mode, ratio, widgetSize);
        fillWithTexture(image, dark, textures.borderDark, mode, ratio, widgetSize);
    }
}

} // namespace

int nearest(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double r = std::nearbyint(v); // the default rounding mode rounds ties to even
    if (r >= 2147483647.0)
        return 2147483647;
    if (r <= -2147483648.0)
        return -2147483647 - 1;
    return int(r);
}

int LedLook::frame() const
{
    qint64 b = gap;
    if (innerStyle != iablsNone)
        b += innerDepth;
    if (outerStyle != iablsNone)
        b += outerDepth;
    return int(std::min<qint64>(b, MaxLampSide + 1));
}

double LedLook::radians() const
{
    return angle * pi / 1800.0;
}

void LedTextures::setBorder(const QImage &picture)
{
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0) {
        border = borderLight = borderDark = QImage();
        return;
    }
    border = to24Bit(picture);
    borderLight = shiftedBytes(border, 64);
    borderDark = shiftedBytes(border, -64);
}

void LedTextures::setPlastic(const QImage &picture)
{
    if (picture.isNull() || picture.width() == 0 || picture.height() == 0)
        plastic = QImage();
    else
        plastic = to24Bit(picture);
}

int normalisedAngle(int angle)
{
    // Whole turns first, so a huge value does not loop for long.
    angle %= 3600;
    while (angle > 1800)
        angle -= 3600;
    while (angle < -1799)
        angle += 3600;
    return angle;
}

QSize boundingSize(const LedLook &look)
{
    const double a = look.radians();
    const double ow = look.ledWidth + 2.0 * look.frame();
    const double oh = look.ledHeight + 2.0 * look.frame();
    const double c = std::abs(std::cos(a));
    const double s = std::abs(std::sin(a));
    return {nearest(c * ow + s * oh), nearest(s * ow + c * oh)};
}

bool fits(const LedLook &look)
{
    const double a = look.radians();
    const double ow = look.ledWidth + 2.0 * look.frame();
    const double oh = look.ledHeight + 2.0 * look.frame();
    const double c = std::abs(std::cos(a));
    const double s = std::abs(std::sin(a));
    return c * ow + s * oh <= MaxLampSide && s * ow + c * oh <= MaxLampSide;
}

bool isRightAngle(const LedLook &look)
{
    const double a = look.radians();
    return std::abs(std::cos(a)) < 0.0001 || std::abs(std::sin(a)) < 0.0001;
}

LedOutlines outlines(const LedLook &look, QSize widgetSize)
{
    LedOutlines out;
    std::vector<Push> push;
    std::vector<bool> halfPush;
    TIAxyPoly &body = out.real[LedOutlines::Body];
    bodyOutline(look, body, push, halfPush);
    out.real[LedOutlines::Gap] = pushed(body, push, halfPush, look.gap);
    out.real[LedOutlines::Inner] =
        look.innerStyle == iablsNone
            ? out.real[LedOutlines::Gap]
            : pushed(out.real[LedOutlines::Gap], push, halfPush, look.innerDepth);
    out.real[LedOutlines::Outer] =
        look.outerStyle == iablsNone
            ? out.real[LedOutlines::Inner]
            : pushed(out.real[LedOutlines::Inner], push, halfPush, look.outerDepth);

    const double a = look.radians();
    const double ca = std::cos(a);
    const double sa = std::sin(a);
    const double ow2 = (look.ledWidth + 2.0 * look.frame()) / 2.0;
    const double oh2 = (look.ledHeight + 2.0 * look.frame()) / 2.0;
    const double w2 = widgetSize.width() / 2.0;
    const double h2 = widgetSize.height() / 2.0;
    for (int ring = 0; ring < 4; ++ring) {
        TIAglPoly &whole = out.whole[ring];
        whole.clear();
        for (QPointF &p : out.real[ring]) {
            const double x = p.x() - ow2;
            const double y = p.y() - oh2;
            p = {ca * x + sa * y + w2, -sa * x + ca * y + h2};
            whole.emplace_back(nearest(p.x()), nearest(p.y()));
        }
    }
    return out;
}

std::uint32_t grainRandom()
{
    // xorshift32: uniform enough for a grain, and cheap per pixel.
    static std::uint32_t state = 0x2545F491u;
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

QRgb lightened(QRgb c)
{
    const auto up = [](int v) { return v < 224 ? v + 32 : 255; };
    return qRgb(up(qRed(c)), up(qGreen(c)), up(qBlue(c)));
}

QRgb darkened(QRgb c)
{
    const auto down = [](int v) { return v >= 32 ? v - 32 : 0; };
    return qRgb(down(qRed(c)), down(qGreen(c)), down(qBlue(c)));
}

bool isDarkSide(QPoint from, QPoint to, TIABorderLedStyle style)
{
    const int dx = to.x() - from.x();
    const int dy = from.y() - to.y(); // y counted upwards
    int theta = style == iablsDown ? 1800 : 0;
    if (dx != 0)
        theta += nearest(std::atan2(double(dy), double(dx)) * 1800.0 / pi);
    else if (dy > 0)
        theta += 900;
    else if (dy < 0)
        theta -= 900;
    const double phi = theta * pi / 1800.0;
    const double s = std::sin(phi);
    const double c = std::cos(phi);
    const double halfRoot = std::sqrt(0.5);
    return (s > 0 && c <= -halfRoot) || (s <= 0 && c <= halfRoot);
}

void render(QImage &image, const LedLook &look, const LedOutlines &outlines,
            const LedTextures &textures, QSize widgetSize, qreal ratio)
{
    const int pw = std::max(0, nearest(widgetSize.width() * ratio));
    const int ph = std::max(0, nearest(widgetSize.height() * ratio));
    if (image.size() != QSize(pw, ph) || image.format() != QImage::Format_BGR888)
        image = QImage(pw, ph, QImage::Format_BGR888);
    image.setDevicePixelRatio(1.0);
    // A lamp too large for memory stays blank rather than failing.
    if (pw == 0 || ph == 0 || image.isNull()) {
        image.setDevicePixelRatio(ratio);
        return;
    }

    const double w = widgetSize.width();
    const double h = widgetSize.height();
    const int b = look.frame();
    const int depth = look.plasticDepth;
    const int s = look.ledOn ? 2 : 1;
    const double m = std::min(w / 2 - b, h / 2 - b) * depth / 20.0;
    const double d = w / 2 + h / 2 - 2.0 * b - 2 * m;
    const int grainRange = 3 * depth;

    if (!textures.plastic.isNull()) {
        QPainter painter(&image);
        painter.scale(ratio, ratio);
        drawTexture(painter, textures.plastic, look.plasticMode, widgetSize);
    }
    const int channel[3] = {(qBlue(look.plasticColor) * s) / 2, (qGreen(look.plasticColor) * s) / 2,
                            (qRed(look.plasticColor) * s) / 2};
    // Pixel centres in widget coordinates; at ratio 1 these are the pixel indices.
    const auto logical = [ratio](int p) { return (p + 0.5) / ratio - 0.5; };
    std::vector<double> columnDistance(std::size_t(pw), 0.0);
    for (int x = 0; x < pw; ++x)
        columnDistance[std::size_t(x)] = std::abs(logical(x) - w / 2);
    for (int y = 0; y < ph; ++y) {
        uchar *p = image.scanLine(y);
        const double rowDistance = std::abs(logical(y) - h / 2);
        for (int x = 0; x < pw; ++x) {
            int g = 0;
            if (d != 0) {
                const double v = 255 - 127 * (columnDistance[std::size_t(x)] + rowDistance) / d;
                g = std::isfinite(v) ? nearest(v) : 0;
            }
            const int r = int((std::uint64_t(grainRandom()) * std::uint64_t(grainRange)) >> 32);
            g = std::clamp(g + 15 - r, 0, 255);
            if (textures.plastic.isNull()) {
                p[0] = uchar(channel[0] * g / 255);
                p[1] = uchar(channel[1] * g / 255);
                p[2] = uchar(channel[2] * g / 255);
            } else {
                for (int i = 0; i < 3; ++i)
                    p[i] = uchar(((p[i] * s) / 2) * g / 255);
            }
            p += 3;
        }
    }

    using R = LedOutlines;
    const QPolygon body = scaledPolygon(outlines.whole[R::Body], outlines.real[R::Body], ratio);
    const QPolygon gap = scaledPolygon(outlines.whole[R::Gap], outlines.real[R::Gap], ratio);
    const QPolygon inner = scaledPolygon(outlines.whole[R::Inner], outlines.real[R::Inner], ratio);
    const QPolygon outer = scaledPolygon(outlines.whole[R::Outer], outlines.real[R::Outer], ratio);
    const int n = int(body.size());

    if (look.gap != 0 && n > 0) {
        QRegion ring;
        for (int k = 0; k < n; ++k) {
            const int next = (k + 1) % n;
            ring += quadrilateral(body[k], gap[k], gap[next], body[next]);
        }
        if (textures.border.isNull())
            fillRegion(image, ring, look.gapColor);
        else
            fillWithTexture(image, ring, textures.border, look.borderMode, ratio, widgetSize);
    }
    if (look.outerStyle != iablsNone && n > 0)
        drawBevel(image, inner, outer, look.outerStyle, look.borderColor, textures, look.borderMode,
                  ratio, widgetSize);
    if (look.innerStyle != iablsNone && n > 0)
        drawBevel(image, gap, inner, look.innerStyle, look.borderColor, textures, look.borderMode,
                  ratio, widgetSize);
    image.setDevicePixelRatio(ratio);
}

} // namespace iaglo

} // namespace widgets
