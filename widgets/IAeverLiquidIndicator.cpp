#include "widgets/IAeverLiquidIndicator.h"

#include "widgets/IAeverLiquidIndicatorAccessible.h"

#include <QEnterEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>
#include <string>

namespace widgets {

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

// Enumerations arrive as plain numbers through the property system: a number beyond the
// last member would index past the tables.
template <typename E> bool inRange(E value, E last)
{
    return int(value) >= 0 && int(value) <= int(last);
}

// Stores a changed value; an equal one leaves the setter nothing to do.
template <typename Field, typename Value> bool store(Field &field, const Value &value)
{
    if (field == Field(value))
        return false;
    field = Field(value);
    return true;
}

// One 8-bit character per cell; what has no 8-bit code shows as a blank cell.
void toCellCharacters(const QString &value, std::string &text)
{
    text.resize(std::size_t(value.size()));
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        text[std::size_t(i)] = char(c <= 0xFF ? c : 0x7F);
    }
}

} // namespace

TIAeverLiquidIndicator::TIAeverLiquidIndicator(QWidget *parent) : QWidget(parent)
{
    TIAeverLiquidIndicatorAccessible::install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(172, 36);
    UpdateWindowShape();
    requestRender();
}

TIAeverLiquidIndicator::~TIAeverLiquidIndicator() = default;

QEvent::Type TIAeverLiquidIndicator::rebuildRequestType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QSize TIAeverLiquidIndicator::sizeHint() const
{
    return lcd::TurnedFaceSize(m_look);
}

QRegion TIAeverLiquidIndicator::shapeInParent() const
{
    const QRegion shape = mask().isEmpty() ? QRegion(rect()) : mask();
    return shape.translated(pos());
}

template <typename Field, typename Value>
void TIAeverLiquidIndicator::change(Field &field, Value value, bool accepted)
{
    if (accepted && store(field, value))
        requestRender();
}

void TIAeverLiquidIndicator::requestRender()
{
    m_rebuild.request();
    update();
}

// The face keeps its size and angle; the window takes the turned face's bounding box.
void TIAeverLiquidIndicator::resizeFace()
{
    const QRegion oldShape = shapeInParent();
    resize(lcd::TurnedFaceSize(m_look));
    UpdateWindowShape();
    if (QWidget *p = parentWidget()) {
        p->update(oldShape);
        p->update();
    }
    requestRender();
}

void TIAeverLiquidIndicator::setColorScheme(TIAColorScheme value)
{
    if (!inRange(value, csTIAN))
        return;
    // Also an unchanged scheme writes its colours again.
    m_colorScheme = value;
    if (!m_loaded)
        return;
    const SchemeColors &s = kSchemes[value];
    m_look.backColor = s.back;
    m_look.bevelColor = s.bevel;
    m_look.numberBackColor = s.numberBack;
    m_look.numberForeColor = s.numberFore;
    m_look.numberForeColor1 = s.numberFore1;
    requestRender();
}

void TIAeverLiquidIndicator::setSignNumber(int value)
{
    if (value <= 0 || !store(m_look.signNumber, value) || !m_loaded)
        return;
    UpdateWindowShape();
    requestRender();
}

void TIAeverLiquidIndicator::setIndicatorWidth(int value)
{
    if (value <= 0 || !store(m_look.indicatorWidth, value) || !m_loaded)
        return;
    resizeFace();
}

void TIAeverLiquidIndicator::setIndicatorHeight(int value)
{
    if (value <= 0 || !store(m_look.indicatorHeight, value) || !m_loaded)
        return;
    resizeFace();
}

void TIAeverLiquidIndicator::setIndicatorAngle(int value)
{
    if (!store(m_look.indicatorAngle, value) || !m_loaded)
        return;
    resize(lcd::TurnedFaceSize(m_look));
    UpdateWindowShape();
    requestRender();
}

void TIAeverLiquidIndicator::setIndicatorGap(int value)
{
    change(m_look.indicatorGap, value);
}

void TIAeverLiquidIndicator::setIndicatorstring(const QString &value)
{
    if (!store(m_string, value))
        return;
    toCellCharacters(value, m_look.text);
    requestRender();
    TIAeverLiquidIndicatorAccessible::notifyValueChanged(this);
}

void TIAeverLiquidIndicator::setIndicatorKind(TIAIndicatorKind value)
{
    change(m_look.kind, value, inRange(value, ik9segment));
}

void TIAeverLiquidIndicator::setInnerBevel(TIABevelKind value)
{
    change(m_look.innerBevel, value, inRange(value, bkNone));
}

void TIAeverLiquidIndicator::setOuterBevel(TIABevelKind value)
{
    change(m_look.outerBevel, value, inRange(value, bkNone));
}

void TIAeverLiquidIndicator::setInnerBevelWidth(int value)
{
    change(m_look.innerBevelWidth, value, value > 0);
}

void TIAeverLiquidIndicator::setOuterBevelWidth(int value)
{
    change(m_look.outerBevelWidth, value, value > 0);
}

void TIAeverLiquidIndicator::setBevelColor(TColor value)
{
    change(m_look.bevelColor, value);
}

void TIAeverLiquidIndicator::setBackColor(TColor value)
{
    change(m_look.backColor, value);
}

void TIAeverLiquidIndicator::setNumberForeColor(TColor value)
{
    change(m_look.numberForeColor, value);
}

void TIAeverLiquidIndicator::setNumberForeColor1(TColor value)
{
    change(m_look.numberForeColor1, value);
}

void TIAeverLiquidIndicator::setNumberBackColor(TColor value)
{
    change(m_look.numberBackColor, value);
}

void TIAeverLiquidIndicator::setIndicatorStyle(TIAIndicatorStyle value)
{
    change(m_look.style, value, inRange(value, isThick));
}

void TIAeverLiquidIndicator::setMouseAction(TIAMouseAction value)
{
    change(m_look.mouseAction, value, inRange(value, maBoth));
}

void TIAeverLiquidIndicator::setTransparentMode(TIATransparentMode value)
{
    if (!inRange(value, tmAll) || !store(m_look.transparentMode, value))
        return;
    setAttribute(Qt::WA_OpaquePaintEvent, value == tmNone);
    requestRender();
}

// Materials are taken even when equal: comparing two pictures costs more than a rebuild.
void TIAeverLiquidIndicator::setBackMaterial(const QImage &value)
{
    m_look.backMaterial = value;
    m_renderer.prepareMaterials(m_look);
    requestRender();
}

void TIAeverLiquidIndicator::setForeMaterial(const QImage &value)
{
    m_look.foreMaterial = value;
    requestRender();
}

void TIAeverLiquidIndicator::setMaterialShadowMode(TIAMaterialShadowMode value)
{
    if (!inRange(value, msmNone) || !store(m_look.materialShadowMode, value))
        return;
    m_renderer.prepareMaterials(m_look);
    requestRender();
}

void TIAeverLiquidIndicator::setMaterialMode(TIAMaterialMode value)
{
    change(m_look.materialMode, value, inRange(value, mmTile));
}

void TIAeverLiquidIndicator::setForeMaterialMode(TIAMaterialMode value)
{
    change(m_look.foreMaterialMode, value, inRange(value, mmTile));
}

void TIAeverLiquidIndicator::loaded()
{
    m_loaded = true;
    m_renderer.prepareMaterials(m_look);
    UpdateWindowShape();
    requestRender();
}

void TIAeverLiquidIndicator::UpdateWindowShape()
{
    if (parentWidget())
        setMask(m_renderer.faceShape(m_look, size()));
}

void TIAeverLiquidIndicator::renderIfPending()
{
    // Moved to a screen of another density: the picture is drawn anew once, for it.
    if (m_rebuild.pending() || m_renderer.pictureRatio() != devicePixelRatioF())
        RenderIndicator();
}

void TIAeverLiquidIndicator::RenderIndicator()
{
    ++m_rebuildCount;
    m_rebuild.done();
    m_renderer.render(m_look, size(), devicePixelRatioF());
}

bool TIAeverLiquidIndicator::event(QEvent *event)
{
    if (m_rebuild.serve(event, [this] { RenderIndicator(); }))
        return true;
    return QWidget::event(event);
}

void TIAeverLiquidIndicator::paintEvent(QPaintEvent *)
{
    renderIfPending();
    QPainter painter(this);
    m_renderer.paint(painter);
}

void TIAeverLiquidIndicator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const double theta = lcd::FaceAngle(m_look);
    if (std::abs(std::sin(theta)) < 0.0001) {
        m_look.indicatorHeight = height();
        m_look.indicatorWidth = width();
        UpdateWindowShape();
        requestRender();
    } else if (std::abs(std::cos(theta)) < 0.0001) {
        m_look.indicatorHeight = width();
        m_look.indicatorWidth = height();
        UpdateWindowShape();
        requestRender();
    } else {
        // A turned face keeps its size: take the window back to its bounding box.
        const QRegion oldShape = shapeInParent();
        resize(lcd::TurnedFaceSize(m_look));
        if (QWidget *p = parentWidget()) {
            p->update(oldShape);
            p->update();
        }
        requestRender();
    }
}

void TIAeverLiquidIndicator::enterEvent(QEnterEvent *event)
{
    m_look.mouseInside = true;
    requestRender();
    QWidget::enterEvent(event);
    emit onMouseEnter(this);
}

void TIAeverLiquidIndicator::leaveEvent(QEvent *event)
{
    m_look.mouseInside = false;
    requestRender();
    QWidget::leaveEvent(event);
    emit onMouseExit(this);
}

} // namespace widgets
