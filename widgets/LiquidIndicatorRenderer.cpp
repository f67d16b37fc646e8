#include "widgets/LiquidIndicatorRenderer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace widgets {

namespace lcd {

namespace {

QRgb shifted(TColor color, int delta)
{
    const QRgb c = resolveColor(color);
    const auto level = [delta](int v) { return std::clamp(v + delta, 0, 255); };
    return qRgb(level(qRed(c)), level(qGreen(c)), level(qBlue(c)));
}

QRgb LighterColor(TColor color)
{
    return shifted(color, 32);
}

QRgb DarkerColor(TColor color)
{
    return shifted(color, -32);
}

// Adds delta to every colour byte of a 24-bit image, clamping at 0 and 255.
void shiftBytes(QImage &image, int delta)
{
    const qsizetype bytes = qsizetype(image.width()) * 3;
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (qsizetype i = 0; i < bytes; ++i)
            line[i] = uchar(std::clamp(int(line[i]) + delta, 0, 255));
    }
}

} // namespace

double FaceAngle(const IndicatorLook &look)
{
    return look.indicatorAngle * std::numbers::pi / 1800;
}

QSize TurnedFaceSize(const IndicatorLook &look)
{
    const double c = std::abs(std::cos(FaceAngle(look)));
    const double s = std::abs(std::sin(FaceAngle(look)));
    return {RoundHalfEven(c * look.indicatorWidth + s * look.indicatorHeight),
            RoundHalfEven(s * look.indicatorWidth + c * look.indicatorHeight)};
}

void LiquidIndicatorRenderer::prepareMaterials(const IndicatorLook &look)
{
    const QImage base = look.backMaterial.convertToFormat(QImage::Format_BGR888);
    m_darkMaterial = base;
    m_lightMaterial = base;
    m_shadowMaterial = base;
    shiftBytes(m_darkMaterial, -64);
    shiftBytes(m_lightMaterial, 64);
    if (look.materialShadowMode == msmDark)
        shiftBytes(m_shadowMaterial, -32);
    else if (look.materialShadowMode == msmLight)
        shiftBytes(m_shadowMaterial, 32);
}

// Shifted by the border, turned about the face's centre, centred in the widget.
void LiquidIndicatorRenderer::placePoints(const IndicatorLook &look, QSize size, QPoint *points,
                                          int count, int shift)
{
    for (int i = 0; i < count; ++i)
        points[i] += QPoint(shift, shift);
    RotatePoints(points, count, QPoint(look.indicatorWidth / 2, look.indicatorHeight / 2),
                 FaceAngle(look));
    const QPoint centring((size.width() - look.indicatorWidth) / 2,
                          (size.height() - look.indicatorHeight) / 2);
    for (int i = 0; i < count; ++i)
        points[i] += centring;
}

QRegion LiquidIndicatorRenderer::faceShape(const IndicatorLook &look, QSize size)
{
    const int w = look.indicatorWidth;
    const int h = look.indicatorHeight;
    QPoint corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    placePoints(look, size, corners, 4, 0);
    const int count = 4;
    m_spans.build(corners, &count, 1, QRect(QPoint(0, 0), size));
    return m_spans.region();
}

void LiquidIndicatorRenderer::layOutPolygons(const IndicatorLook &look)
{
    const int border = look.indicatorGap + (look.outerBevel != bkNone ? look.outerBevelWidth : 0) +
                       (look.innerBevel != bkNone ? look.innerBevelWidth : 0);
    const CellGeometry g =
        ComputeCellGeometry(look.indicatorWidth, look.indicatorHeight, look.signNumber, border);
    if (look.kind == ik5x7matrix)
        LayoutMatrixString(look.text, look.signNumber, m_cells);
    else
        LayoutSegmentString(look.text, look.signNumber, m_cells);

    const CellStyle style{look.kind, look.style,
                          look.mouseInside &&
                              (look.mouseAction == maWidth || look.mouseAction == maBoth)};
    for (std::size_t k = 0; k < m_cells.size(); ++k) {
        const int left = int(k) * g.cellWidth;
        const CellRect cell{left, 0, left + g.cellWidth, g.cellHeight};
        BuildCellPolygons(cell, m_cells[k].character, m_cells[k].pointFollows, style, m_cellLit,
                          m_cellUnlit);
        m_lit.append(m_cellLit);
        m_unlit.append(m_cellUnlit);
    }
    placePoints(look, m_size, m_lit.points.data(), int(m_lit.points.size()), border);
    placePoints(look, m_size, m_unlit.points.data(), int(m_unlit.points.size()), border);
}

void LiquidIndicatorRenderer::addVisible(const QRegion &region)
{
    if (m_visibleRegion)
        *m_visibleRegion = m_visibleRegion->united(region);
}

void LiquidIndicatorRenderer::drawMaterial(const QImage &material, TIAMaterialMode mode,
                                           const std::optional<QRegion> &clip)
{
    // An empty region covers nothing, which is not the same as no restriction.
    if (m_picture.isNull() || (clip && clip->isEmpty()))
        return;
    QPainter painter(&m_picture);
    if (clip)
        clipToPicturePixels(painter, *clip);
    // Materials are laid out in the widget's own pixels, whatever the screen's density.
    const QRect area(QPoint(0, 0), m_size);
    if (mode == mmStretch) {
        painter.drawImage(area, material);
        return;
    }
    const int mw = material.width();
    const int mh = material.height();
    if (mw == 0 || mh == 0)
        return;
    for (int i = 0; i <= area.width() / mw; ++i)
        for (int j = 0; j <= area.height() / mh; ++j)
            painter.drawImage(i * mw, j * mh, material);
}

qreal LiquidIndicatorRenderer::pictureRatio() const
{
    return m_picture.isNull() ? 1.0 : m_picture.devicePixelRatio();
}

void LiquidIndicatorRenderer::clipToPicturePixels(QPainter &painter, const QRegion &clip) const
{
    const qreal ratio = pictureRatio();
    if (ratio == 1.0) {
        painter.setClipRegion(clip);
        return;
    }
    // A clip keeps the transformation it was given with.
    const QTransform saved = painter.transform();
    painter.setTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    painter.setClipRegion(clip);
    painter.setTransform(saved);
}

const QPoint *LiquidIndicatorRenderer::toPicturePixels(QPoint *points, int count) const
{
    const qreal ratio = pictureRatio();
    if (ratio != 1.0)
        for (int i = 0; i < count; ++i)
            points[i] = QPoint(qRound(points[i].x() * ratio), qRound(points[i].y() * ratio));
    return points;
}

const PolygonList &LiquidIndicatorRenderer::toPicturePixels(const PolygonList &polygons)
{
    if (pictureRatio() == 1.0)
        return polygons;
    m_scaled = polygons;
    toPicturePixels(m_scaled.points.data(), int(m_scaled.points.size()));
    return m_scaled;
}

void LiquidIndicatorRenderer::paintBevel(const IndicatorLook &look, TIABevelKind kind, int inset,
                                         int width)
{
    if (kind == bkNone)
        return;
    std::array<bool, 4> light = RaisedLightSides(FaceAngle(look));
    if (kind == bkDown)
        for (bool &side : light)
            side = !side;
    auto sides = BevelTrapezoids(look.indicatorWidth, look.indicatorHeight, inset, width);
    const int four = 4;
    for (std::size_t s = 0; s < sides.size(); ++s) {
        placePoints(look, m_size, sides[s].data(), four, 0);
        m_spans.build(toPicturePixels(sides[s].data(), four), &four, 1, m_picture.rect());
        if (look.backMaterial.width() != 0) {
            drawMaterial(light[s] ? m_lightMaterial : m_darkMaterial, look.materialMode,
                         m_spans.region());
        } else {
            m_spans.fill(m_picture,
                         light[s] ? LighterColor(look.bevelColor) : DarkerColor(look.bevelColor));
        }
        if (m_visibleRegion)
            addVisible(m_spans.region());
    }
}

void LiquidIndicatorRenderer::render(const IndicatorLook &look, QSize size, qreal ratio)
{
    m_size = size;
    m_visibleRegion.reset();
    if (look.transparentMode != tmNone)
        m_visibleRegion = QRegion();
    m_lit.clear();
    m_unlit.clear();
    layOutPolygons(look);

    // On a high-density screen the picture has the screen's pixels, so segments stay sharp.
    const QSize pictureSize = ratio == 1.0 ? size : (QSizeF(size) * ratio).toSize();
    if (m_picture.size() != pictureSize)
        m_picture = QImage(pictureSize, QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(ratio);

    if (look.backMaterial.width() != 0) {
        m_picture.fill(Qt::black);
        drawMaterial(look.backMaterial, look.materialMode, std::nullopt);
    } else {
        m_picture.fill(resolveColor(look.backColor));
    }

    paintBevel(look, look.outerBevel, 0, look.outerBevelWidth);
    paintBevel(look, look.innerBevel, look.outerBevel != bkNone ? look.outerBevelWidth : 0,
               look.innerBevelWidth);

    if (!m_lit.isEmpty()) {
        const bool hover =
            look.mouseInside && (look.mouseAction == maColor || look.mouseAction == maBoth);
        m_spans.build(toPicturePixels(m_lit), m_picture.rect());
        if (m_visibleRegion)
            addVisible(m_spans.region());
        if (look.foreMaterial.width() == 0 || hover)
            m_spans.fill(m_picture,
                         resolveColor(hover ? look.numberForeColor1 : look.numberForeColor));
        else
            drawMaterial(look.foreMaterial, look.foreMaterialMode, m_spans.region());
    }

    if (!m_unlit.isEmpty()) {
        m_spans.build(toPicturePixels(m_unlit), m_picture.rect());
        if (look.transparentMode == tmBackOnly)
            addVisible(m_spans.region());
        if (look.backMaterial.width() != 0)
            drawMaterial(m_shadowMaterial, look.materialMode, m_spans.region());
        else
            m_spans.fill(m_picture, resolveColor(look.numberBackColor));
    }
}

void LiquidIndicatorRenderer::paint(QPainter &painter) const
{
    if (m_visibleRegion)
        clipToPicturePixels(painter, *m_visibleRegion);
    painter.drawImage(0, 0, m_picture);
}

} // namespace lcd

} // namespace widgets
