#include "widgets/IAeverLiquidIndicator.h"

#include "widgets/IAeverLiquidIndicatorAccessible.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct SchemeColors
{
    TColor back;
    TColor bevel;
    TColor numberBack;
    TColor numberFore;
    TColor numberFore1;
};

// Indexed by TIAColorScheme.
constexpr SchemeColors kSchemes[] = {
    {0xDDDDDD, 0xDDDDDD, 0xD3D3D3, 0x363636, 0x0000FF}, // csSilver
    {0x000000, 0xDDDDDD, 0x363636, 0xDDDDDD, 0x0000FF}, // csInvSilver
    {0xFFFFFF, 0xDDDDDD, 0xFFFFFF, 0x000000, 0x0000FF}, // csWhite
    {0x000000, 0x808080, 0x000000, 0xFFFFFF, 0x0080FF}, // csBlack
    {0x000080, 0x000080, 0x400080, 0x48BFFF, 0x80FFFF}, // csPlasma
    {0x48BFFF, 0x48BFFF, 0x57A3F7, 0x000080, 0x2747FC}, // csInvPlasma
    {0xA00000, 0xA00000, 0x804000, 0xDAF376, 0x00FFFF}, // csTIAN
};

// A system colour (top bit set) stands for a colour of the desktop's palette.
QColor systemColor(int index)
{
    const QPalette palette = QApplication::palette();
    switch (index) {
    case 5: // window
        return palette.color(QPalette::Base);
    case 6:  // window frame
    case 21: // 3D dark shadow
        return palette.color(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return palette.color(QPalette::WindowText);
    case 13:
        return palette.color(QPalette::Highlight);
    case 14:
        return palette.color(QPalette::HighlightedText);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 16: // button shadow
        return palette.color(QPalette::Dark);
    case 17: // grey text
        return palette.color(QPalette::Disabled, QPalette::Text);
    case 18:
        return palette.color(QPalette::ButtonText);
    case 20: // button highlight
        return palette.color(QPalette::Light);
    case 22: // 3D light
        return palette.color(QPalette::Midlight);
    case 23:
        return palette.color(QPalette::ToolTipText);
    case 24:
        return palette.color(QPalette::ToolTipBase);
    default:
        return palette.color(QPalette::Window);
    }
}

QRgb resolve(TColor color)
{
    if (color < 0)
        return systemColor(color & 0xFF).rgb() | 0xFF000000u;
    return toQColor(color).rgb();
}

QRgb shifted(TColor color, int delta)
{
    const QRgb c = resolve(color);
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

// Enumerations arrive as plain numbers through the property system: a number beyond the
// last member would index past the tables.
template <typename E> bool inRange(E value, E last)
{
    return int(value) >= 0 && int(value) <= int(last);
}

// Stores a changed value; an equal one leaves the setter nothing to do.
template <typename T> bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

TIAeverLiquidIndicator::TIAeverLiquidIndicator(QWidget *parent) : QWidget(parent)
{
    TIAeverLiquidIndicatorAccessible::install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(172, 36);
    UpdateWindowShape();
    RenderIndicator();
}

TIAeverLiquidIndicator::~TIAeverLiquidIndicator() = default;

QEvent::Type TIAeverLiquidIndicator::rebuildRequestType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

double TIAeverLiquidIndicator::angle() const
{
    return m_indicatorAngle * std::numbers::pi / 1800;
}

QSize TIAeverLiquidIndicator::turnedFaceSize() const
{
    const double c = std::abs(std::cos(angle()));
    const double s = std::abs(std::sin(angle()));
    return {lcd::RoundHalfEven(c * m_indicatorWidth + s * m_indicatorHeight),
            lcd::RoundHalfEven(s * m_indicatorWidth + c * m_indicatorHeight)};
}

QSize TIAeverLiquidIndicator::sizeHint() const
{
    return turnedFaceSize();
}

QRegion TIAeverLiquidIndicator::shapeInParent() const
{
    const QRegion shape = mask().isEmpty() ? QRegion(rect()) : mask();
    return shape.translated(pos());
}

void TIAeverLiquidIndicator::rebuild()
{
    RenderIndicator();
    update();
}

// One request in the queue serves every change made before it arrives; a direct rebuild
// in between serves them too.
void TIAeverLiquidIndicator::postRebuildRequest()
{
    if (m_rebuildRequested)
        return;
    m_rebuildRequested = true;
    if (!m_requestQueued) {
        m_requestQueued = true;
        QCoreApplication::postEvent(this, new QEvent(rebuildRequestType()));
    }
}

// The face keeps its size and angle; the window takes the turned face's bounding box.
void TIAeverLiquidIndicator::resizeFace()
{
    const QRegion oldShape = shapeInParent();
    resize(turnedFaceSize());
    UpdateWindowShape();
    if (QWidget *p = parentWidget())
        p->update(oldShape);
    RenderIndicator();
    if (QWidget *p = parentWidget())
        p->update();
    update();
}

void TIAeverLiquidIndicator::setColorScheme(TIAColorScheme value)
{
    if (!inRange(value, csTIAN))
        return;
    m_colorScheme = value;
    if (!m_loaded)
        return;
    const SchemeColors &s = kSchemes[value];
    m_backColor = s.back;
    m_bevelColor = s.bevel;
    m_numberBackColor = s.numberBack;
    m_numberForeColor = s.numberFore;
    m_numberForeColor1 = s.numberFore1;
    postRebuildRequest();
}

void TIAeverLiquidIndicator::setSignNumber(int value)
{
    if (value <= 0 || value == m_signNumber)
        return;
    m_signNumber = value;
    if (!m_loaded)
        return;
    UpdateWindowShape();
    rebuild();
}

void TIAeverLiquidIndicator::setIndicatorWidth(int value)
{
    if (value <= 0 || value == m_indicatorWidth)
        return;
    m_indicatorWidth = value;
    if (m_loaded)
        resizeFace();
}

void TIAeverLiquidIndicator::setIndicatorHeight(int value)
{
    if (value <= 0 || value == m_indicatorHeight)
        return;
    m_indicatorHeight = value;
    if (m_loaded)
        resizeFace();
}

void TIAeverLiquidIndicator::setIndicatorAngle(int value)
{
    if (value == m_indicatorAngle)
        return;
    m_indicatorAngle = value;
    if (!m_loaded)
        return;
    resize(turnedFaceSize());
    UpdateWindowShape();
    rebuild();
}

void TIAeverLiquidIndicator::setIndicatorGap(int value)
{
    if (assign(m_indicatorGap, value))
        rebuild();
}

void TIAeverLiquidIndicator::setIndicatorstring(const QString &value)
{
    if (value == m_string)
        return;
    m_string = value;
    // One 8-bit character per cell; what has no 8-bit code shows as a blank cell.
    m_text.resize(std::size_t(value.size()));
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        m_text[std::size_t(i)] = char(c <= 0xFF ? c : 0x7F);
    }
    rebuild();
    TIAeverLiquidIndicatorAccessible::notifyValueChanged(this);
}

void TIAeverLiquidIndicator::setIndicatorKind(TIAIndicatorKind value)
{
    if (inRange(value, ik9segment) && assign(m_kind, value))
        rebuild();
}

void TIAeverLiquidIndicator::setInnerBevel(TIABevelKind value)
{
    if (inRange(value, bkNone) && assign(m_innerBevel, value))
        rebuild();
}

void TIAeverLiquidIndicator::setOuterBevel(TIABevelKind value)
{
    if (inRange(value, bkNone) && assign(m_outerBevel, value))
        rebuild();
}

void TIAeverLiquidIndicator::setInnerBevelWidth(int value)
{
    if (value > 0 && assign(m_innerBevelWidth, value))
        rebuild();
}

void TIAeverLiquidIndicator::setOuterBevelWidth(int value)
{
    if (value > 0 && assign(m_outerBevelWidth, value))
        rebuild();
}

void TIAeverLiquidIndicator::setBevelColor(TColor value)
{
    if (assign(m_bevelColor, value))
        rebuild();
}

void TIAeverLiquidIndicator::setBackColor(TColor value)
{
    if (assign(m_backColor, value))
        rebuild();
}

void TIAeverLiquidIndicator::setNumberForeColor(TColor value)
{
    if (assign(m_numberForeColor, value))
        rebuild();
}

void TIAeverLiquidIndicator::setNumberForeColor1(TColor value)
{
    if (assign(m_numberForeColor1, value))
        rebuild();
}

void TIAeverLiquidIndicator::setNumberBackColor(TColor value)
{
    if (assign(m_numberBackColor, value))
        rebuild();
}

void TIAeverLiquidIndicator::setIndicatorStyle(TIAIndicatorStyle value)
{
    if (inRange(value, isThick) && assign(m_style, value))
        rebuild();
}

void TIAeverLiquidIndicator::setMouseAction(TIAMouseAction value)
{
    if (inRange(value, maBoth) && assign(m_mouseAction, value))
        rebuild();
}

void TIAeverLiquidIndicator::setTransparentMode(TIATransparentMode value)
{
    if (!inRange(value, tmAll) || value == m_transparentMode)
        return;
    m_transparentMode = value;
    setAttribute(Qt::WA_OpaquePaintEvent, value == tmNone);
    rebuild();
}

void TIAeverLiquidIndicator::setBackMaterial(const QImage &value)
{
    m_backMaterial = value;
    PrepareMaterials();
    rebuild();
}

void TIAeverLiquidIndicator::setForeMaterial(const QImage &value)
{
    m_foreMaterial = value;
    rebuild();
}

void TIAeverLiquidIndicator::setMaterialShadowMode(TIAMaterialShadowMode value)
{
    if (!inRange(value, msmNone) || value == m_materialShadowMode)
        return;
    m_materialShadowMode = value;
    PrepareMaterials();
    rebuild();
}

void TIAeverLiquidIndicator::setMaterialMode(TIAMaterialMode value)
{
    if (inRange(value, mmTile) && assign(m_materialMode, value))
        rebuild();
}

void TIAeverLiquidIndicator::setForeMaterialMode(TIAMaterialMode value)
{
    if (inRange(value, mmTile) && assign(m_foreMaterialMode, value))
        rebuild();
}

void TIAeverLiquidIndicator::loaded()
{
    m_loaded = true;
    PrepareMaterials();
    UpdateWindowShape();
    rebuild();
}

void TIAeverLiquidIndicator::PrepareMaterials()
{
    const QImage base = m_backMaterial.convertToFormat(QImage::Format_BGR888);
    m_darkMaterial = base;
    m_lightMaterial = base;
    m_shadowMaterial = base;
    shiftBytes(m_darkMaterial, -64);
    shiftBytes(m_lightMaterial, 64);
    if (m_materialShadowMode == msmDark)
        shiftBytes(m_shadowMaterial, -32);
    else if (m_materialShadowMode == msmLight)
        shiftBytes(m_shadowMaterial, 32);
}

void TIAeverLiquidIndicator::placePoints(QPoint *points, int count, int shift) const
{
    for (int i = 0; i < count; ++i)
        points[i] += QPoint(shift, shift);
    lcd::RotatePoints(points, count, QPoint(m_indicatorWidth / 2, m_indicatorHeight / 2), angle());
    const QPoint centring((width() - m_indicatorWidth) / 2, (height() - m_indicatorHeight) / 2);
    for (int i = 0; i < count; ++i)
        points[i] += centring;
}

void TIAeverLiquidIndicator::UpdateWindowShape()
{
    if (!parentWidget())
        return;
    const int w = m_indicatorWidth;
    const int h = m_indicatorHeight;
    QPoint corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    placePoints(corners, 4, 0);
    const int count = 4;
    m_spans.build(corners, &count, 1, rect());
    setMask(m_spans.region());
}

void TIAeverLiquidIndicator::layOutPolygons()
{
    const int border = m_indicatorGap + (m_outerBevel != bkNone ? m_outerBevelWidth : 0) +
                       (m_innerBevel != bkNone ? m_innerBevelWidth : 0);
    const lcd::CellGeometry g =
        lcd::ComputeCellGeometry(m_indicatorWidth, m_indicatorHeight, m_signNumber, border);
    if (m_kind == ik5x7matrix)
        lcd::LayoutMatrixString(m_text, m_signNumber, m_cells);
    else
        lcd::LayoutSegmentString(m_text, m_signNumber, m_cells);

    const lcd::CellStyle style{lcd::TIAIndicatorKind(m_kind), lcd::TIAIndicatorStyle(m_style),
                               m_mouseInside &&
                                   (m_mouseAction == maWidth || m_mouseAction == maBoth)};
    for (std::size_t k = 0; k < m_cells.size(); ++k) {
        const int left = int(k) * g.cellWidth;
        const lcd::CellRect cell{left, 0, left + g.cellWidth, g.cellHeight};
        lcd::BuildCellPolygons(cell, m_cells[k].character, m_cells[k].pointFollows, style,
                               m_cellLit, m_cellUnlit);
        m_lit.append(m_cellLit);
        m_unlit.append(m_cellUnlit);
    }
    placePoints(m_lit.points.data(), int(m_lit.points.size()), border);
    placePoints(m_unlit.points.data(), int(m_unlit.points.size()), border);
}

void TIAeverLiquidIndicator::addVisible(const QRegion &region)
{
    if (m_visibleRegion)
        *m_visibleRegion = m_visibleRegion->united(region);
}

void TIAeverLiquidIndicator::drawMaterial(const QImage &material, TIAMaterialMode mode,
                                          const std::optional<QRegion> &clip)
{
    // An empty region covers nothing, which is not the same as no restriction.
    if (m_picture.isNull() || (clip && clip->isEmpty()))
        return;
    QPainter painter(&m_picture);
    if (clip)
        clipToPicturePixels(painter, *clip);
    // Materials are laid out in the widget's own pixels, whatever the screen's density.
    const QRect area(QPoint(0, 0), size());
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

qreal TIAeverLiquidIndicator::pictureRatio() const
{
    return m_picture.isNull() ? 1.0 : m_picture.devicePixelRatio();
}

void TIAeverLiquidIndicator::clipToPicturePixels(QPainter &painter, const QRegion &clip) const
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

const QPoint *TIAeverLiquidIndicator::toPicturePixels(QPoint *points, int count) const
{
    const qreal ratio = pictureRatio();
    if (ratio != 1.0)
        for (int i = 0; i < count; ++i)
            points[i] = QPoint(qRound(points[i].x() * ratio), qRound(points[i].y() * ratio));
    return points;
}

const lcd::PolygonList &TIAeverLiquidIndicator::toPicturePixels(const lcd::PolygonList &polygons)
{
    if (pictureRatio() == 1.0)
        return polygons;
    m_scaled = polygons;
    toPicturePixels(m_scaled.points.data(), int(m_scaled.points.size()));
    return m_scaled;
}

void TIAeverLiquidIndicator::paintBevel(TIABevelKind kind, int inset, int width, double theta)
{
    if (kind == bkNone)
        return;
    std::array<bool, 4> light = lcd::RaisedLightSides(theta);
    if (kind == bkDown)
        for (bool &side : light)
            side = !side;
    auto sides = lcd::BevelTrapezoids(m_indicatorWidth, m_indicatorHeight, inset, width);
    const int four = 4;
    for (std::size_t s = 0; s < sides.size(); ++s) {
        placePoints(sides[s].data(), four, 0);
        m_spans.build(toPicturePixels(sides[s].data(), four), &four, 1, m_picture.rect());
        if (m_backMaterial.width() != 0) {
            drawMaterial(light[s] ? m_lightMaterial : m_darkMaterial, m_materialMode,
                         m_spans.region());
        } else {
            m_spans.fill(m_picture,
                         light[s] ? LighterColor(m_bevelColor) : DarkerColor(m_bevelColor));
        }
        if (m_visibleRegion)
            addVisible(m_spans.region());
    }
}

void TIAeverLiquidIndicator::RenderIndicator()
{
    ++m_rebuildCount;
    m_rebuildRequested = false;
    m_visibleRegion.reset();
    if (m_transparentMode != tmNone)
        m_visibleRegion = QRegion();
    m_lit.clear();
    m_unlit.clear();
    layOutPolygons();

    // On a high-density screen the picture has the screen's pixels, so segments stay sharp.
    const qreal ratio = devicePixelRatioF();
    const QSize pictureSize = ratio == 1.0 ? size() : (QSizeF(size()) * ratio).toSize();
    if (m_picture.size() != pictureSize)
        m_picture = QImage(pictureSize, QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(ratio);
    const double theta = angle();

    if (m_backMaterial.width() != 0) {
        m_picture.fill(Qt::black);
        drawMaterial(m_backMaterial, m_materialMode, std::nullopt);
    } else {
        m_picture.fill(resolve(m_backColor));
    }

    paintBevel(m_outerBevel, 0, m_outerBevelWidth, theta);
    paintBevel(m_innerBevel, m_outerBevel != bkNone ? m_outerBevelWidth : 0, m_innerBevelWidth,
               theta);

    if (!m_lit.isEmpty()) {
        const bool hover = m_mouseInside && (m_mouseAction == maColor || m_mouseAction == maBoth);
        m_spans.build(toPicturePixels(m_lit), m_picture.rect());
        if (m_visibleRegion)
            addVisible(m_spans.region());
        if (m_foreMaterial.width() == 0 || hover)
            m_spans.fill(m_picture, resolve(hover ? m_numberForeColor1 : m_numberForeColor));
        else
            drawMaterial(m_foreMaterial, m_foreMaterialMode, m_spans.region());
    }

    if (!m_unlit.isEmpty()) {
        m_spans.build(toPicturePixels(m_unlit), m_picture.rect());
        if (m_transparentMode == tmBackOnly)
            addVisible(m_spans.region());
        if (m_backMaterial.width() != 0)
            drawMaterial(m_shadowMaterial, m_materialMode, m_spans.region());
        else
            m_spans.fill(m_picture, resolve(m_numberBackColor));
    }
}

bool TIAeverLiquidIndicator::event(QEvent *event)
{
    if (event->type() == rebuildRequestType()) {
        m_requestQueued = false;
        if (m_rebuildRequested)
            rebuild();
        return true;
    }
    return QWidget::event(event);
}

void TIAeverLiquidIndicator::paintEvent(QPaintEvent *)
{
    // Moved to a screen of another density: the picture is drawn anew once, for it.
    if (pictureRatio() != devicePixelRatioF())
        RenderIndicator();
    QPainter painter(this);
    if (m_visibleRegion)
        clipToPicturePixels(painter, *m_visibleRegion);
    painter.drawImage(0, 0, m_picture);
}

void TIAeverLiquidIndicator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const double theta = angle();
    if (std::abs(std::sin(theta)) < 0.0001) {
        m_indicatorHeight = height();
        m_indicatorWidth = width();
        UpdateWindowShape();
        postRebuildRequest();
    } else if (std::abs(std::cos(theta)) < 0.0001) {
        m_indicatorHeight = width();
        m_indicatorWidth = height();
        UpdateWindowShape();
        rebuild();
    } else {
        // A turned face keeps its size: take the window back to its bounding box.
        const QRegion oldShape = shapeInParent();
        resize(turnedFaceSize());
        if (QWidget *p = parentWidget()) {
            p->update(oldShape);
            p->update();
        }
        postRebuildRequest();
    }
}

void TIAeverLiquidIndicator::enterEvent(QEnterEvent *event)
{
    m_mouseInside = true;
    postRebuildRequest();
    QWidget::enterEvent(event);
    emit onMouseEnter(this);
}

void TIAeverLiquidIndicator::leaveEvent(QEvent *event)
{
    m_mouseInside = false;
    postRebuildRequest();
    QWidget::leaveEvent(event);
    emit onMouseExit(this);
}
