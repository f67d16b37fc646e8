#include "widgets/IAgaloLED.h"

#include <QEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace widgets {

using namespace iaglo;

namespace {

const QEvent::Type RenderRequest = QEvent::Type(QEvent::registerEventType());

} // namespace

// The halo around a lit lamp: a see-through sibling above it whose paint adds the lamp's
// colour to whatever lies beneath, so nothing has to read the screen back.
class TIAgaloLED::Glow : public QWidget
{
public:
    explicit Glow(TIAgaloLED *lamp) : QWidget(lamp->parentWidget()), m_lamp(lamp)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const int w = width();
        const int h = height();
        const QRgb color = resolveColor(m_lamp->LedPlasticColor());
        const int intensity = m_lamp->GaloIntensity();
        QImage halo(w, h, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(halo.scanLine(y));
            const double v = 2.0 * y / h - 1;
            for (int x = 0; x < w; ++x) {
                const double u = 2.0 * x / w - 1;
                const int m = std::clamp(
                    nearest((255 - 255 * std::sqrt(u * u + v * v)) * intensity / 10), 0, 255);
                const int r = m * qRed(color) / 255;
                const int g = m * qGreen(color) / 255;
                const int b = m * qBlue(color) / 255;
                row[x] = qRgba(r, g, b, std::max({r, g, b}));
            }
        }
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Plus);
        painter.drawImage(0, 0, halo);
    }

private:
    TIAgaloLED *m_lamp;
};

TIAgaloLED::TIAgaloLED(QWidget *parent)
    : QWidget(parent), m_render(this, RenderRequest, true, Qt::LowEventPriority)
{
    // The lamp paints every pixel of its shape; the parent is not painted beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    resize(24, 14);
    m_picture = QImage(24, 14, QImage::Format_BGR888);
    m_picture.fill(Qt::black);
}

TIAgaloLED::~TIAgaloLED()
{
    delete m_glow;
}

// --- Setters: equal or out-of-range values change nothing -----------------------------

void TIAgaloLED::setLedClass(TIALedClass value)
{
    if (value == m_look.ledClass || !isValid(value))
        return;
    reshapes([&](LedLook &look) { look.ledClass = value; });
}

void TIAgaloLED::setLedWidth(int value)
{
    if (value == m_look.ledWidth || value < 0)
        return;
    reshapes([&](LedLook &look) { look.ledWidth = value; });
}

void TIAgaloLED::setLedHeight(int value)
{
    if (value == m_look.ledHeight || value < 0)
        return;
    reshapes([&](LedLook &look) { look.ledHeight = value; });
}

void TIAgaloLED::setLedOn(bool value)
{
    if (value == m_look.ledOn)
        return;
    m_look.ledOn = value;
    requestRender();
    placeGlow();
}

void TIAgaloLED::setLedPlasticColor(TColor value)
{
    if (value == m_plasticColor)
        return;
    m_plasticColor = value;
    requestRender();
    if (m_glow)
        m_glow->update();
}

void TIAgaloLED::setLedPlasticDepth(int value)
{
    if (value == m_look.plasticDepth || value < 1 || value > 10)
        return;
    m_look.plasticDepth = value;
    requestRender();
}

void TIAgaloLED::setLedPlasticSubstance(const QImage &picture)
{
    m_plasticSubstance = picture;
    m_textures.setPlastic(picture);
    requestRender();
}

void TIAgaloLED::setLedPlasticSubsMode(TIAglSubstanceMode value)
{
    if (value == m_look.plasticMode || !isValid(value))
        return;
    m_look.plasticMode = value;
    requestRender();
}

void TIAgaloLED::setGap(int value)
{
    if (value == m_look.gap || value < 0)
        return;
    reshapes([&](LedLook &look) { look.gap = value; });
}

void TIAgaloLED::setGapColor(TColor value)
{
    if (value == m_gapColor)
        return;
    m_gapColor = value;
    requestRender();
}

void TIAgaloLED::setInnerBorderStyle(TIABorderLedStyle value)
{
    if (value == m_look.innerStyle || !isValid(value))
        return;
    reshapes([&](LedLook &look) { look.innerStyle = value; });
}

void TIAgaloLED::setInnerBorderDepth(int value)
{
    if (value == m_look.innerDepth || value < 0)
        return;
    reshapes([&](LedLook &look) { look.innerDepth = value; });
}

void TIAgaloLED::setOuterBorderStyle(TIABorderLedStyle value)
{
    if (value == m_look.outerStyle || !isValid(value))
        return;
    reshapes([&](LedLook &look) { look.outerStyle = value; });
}

void TIAgaloLED::setOuterBorderDepth(int value)
{
    if (value == m_look.outerDepth || value < 0)
        return;
    reshapes([&](LedLook &look) { look.outerDepth = value; });
}

void TIAgaloLED::setBorderColor(TColor value)
{
    if (value == m_borderColor)
        return;
    m_borderColor = value;
    requestRender();
}

void TIAgaloLED::setBorderSubstance(const QImage &picture)
{
    m_borderSubstance = picture;
    m_textures.setBorder(picture);
    requestRender();
}

void TIAgaloLED::setBorderSubsMode(TIAglSubstanceMode value)
{
    if (value == m_look.borderMode || !isValid(value))
        return;
    m_look.borderMode = value;
    requestRender();
}

void TIAgaloLED::setAngle(int value)
{
    // Compared before normalising: 3600 written to a lamp at 0 still reshapes.
    if (value == m_look.angle)
        return;
    const int angle = normalisedAngle(value);
    reshapes([&](LedLook &look) { look.angle = angle; });
}

void TIAgaloLED::setGaloON(bool value)
{
    if (value == m_galoOn)
        return;
    m_galoOn = value;
    placeGlow();
    update();
}

void TIAgaloLED::setGaloSize(int value)
{
    if (value == m_galoSize || value < 0 || value > 49)
        return;
    m_galoSize = value;
    placeGlow();
    update();
}

void TIAgaloLED::setGaloIntensity(int value)
{
    if (value == m_galoIntensity || value < 1 || value > 10)
        return;
    m_galoIntensity = value;
    if (m_glow)
        m_glow->update();
    update();
}

void TIAgaloLED::setWidth(int value)
{
    // At an oblique angle the widget's size follows from the lamp.
    if (!isRightAngle(m_look) || value < 0)
        return;
    m_bounding.setWidth(value);
    resize(value, height());
    followSize();
}

void TIAgaloLED::setHeight(int value)
{
    if (!isRightAngle(m_look) || value < 0)
        return;
    m_bounding.setHeight(value);
    resize(width(), value);
    followSize();
}

// --- Shape and render ---------------------------------------------------------------

void TIAgaloLED::loaded()
{
    if (!m_borderSubstance.isNull())
        m_textures.setBorder(m_borderSubstance);
    reshape();
}

bool TIAgaloLED::reshapes(const std::function<void(iaglo::LedLook &)> &change)
{
    LedLook look = m_look;
    change(look);
    if (!fits(look))
        return false;
    m_look = look;
    reshape();
    return true;
}

void TIAgaloLED::reshape()
{
    m_bounding = iaglo::boundingSize(m_look);
    const bool resized = size() != m_bounding;
    if (resized)
        setGeometry(QRect(pos(), m_bounding));
    rebuildOutlines();
    requestRender();
    if (resized)
        followSize();
}

void TIAgaloLED::rebuildOutlines()
{
    m_outlines = iaglo::outlines(m_look, size());
    const TIAglPoly &outer = m_outlines.whole[LedOutlines::Outer];
    setMask(QRegion(QPolygon(QList<QPoint>(outer.begin(), outer.end())), Qt::OddEvenFill));
    placeGlow();
}

void TIAgaloLED::requestRender()
{
    m_render.request();
    update();
}

void TIAgaloLED::RenderLed()
{
    iaglo::LedLook look = m_look;
    look.plasticColor = resolveColor(m_plasticColor);
    look.gapColor = resolveColor(m_gapColor);
    look.borderColor = resolveColor(m_borderColor);
    iaglo::render(m_picture, look, m_outlines, m_textures, size(), devicePixelRatioF());
    m_render.done();
    ++m_renders;
}

const QImage &TIAgaloLED::picture()
{
    if (m_render.pending())
        RenderLed();
    return m_picture;
}

bool TIAgaloLED::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::ParentChange:
        placeGlow();
        break;
    default:
        if (m_render.serve(event, [this] { RenderLed(); }))
            return true;
    }
    return QWidget::event(event);
}

void TIAgaloLED::paintEvent(QPaintEvent *)
{
    if (m_render.pending() || m_picture.devicePixelRatio() != devicePixelRatioF())
        RenderLed();
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

void TIAgaloLED::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (size() != m_handledSize)
        sizeChanged();
}

// A hidden widget gets its resize event only when it is shown; the lamp follows its size
// at once all the same.
void TIAgaloLED::followSize()
{
    if (size() != m_handledSize)
        sizeChanged();
}

void TIAgaloLED::sizeChanged()
{
    m_handledSize = size();
    const int w = std::min(width(), MaxLampSide);
    const int h = std::min(height(), MaxLampSide);
    if (isRightAngle(m_look)) {
        const int b2 = 2 * m_look.frame();
        const bool upright = std::abs(std::abs(std::cos(m_look.radians())) - 1) < 0.0001;
        m_look.ledWidth = (upright ? w : h) - b2;
        m_look.ledHeight = (upright ? h : w) - b2;
        if (m_look.ledWidth < 0 || m_look.ledHeight < 0) {
            m_look.ledWidth = std::max(0, m_look.ledWidth);
            m_look.ledHeight = std::max(0, m_look.ledHeight);
            reshape();
        }
        reshape();
    } else if (size() != m_bounding) {
        setGeometry(QRect(pos(), m_bounding));
        followSize();
        return;
    } else {
        reshape();
    }
    placeGlow();
}

void TIAgaloLED::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    placeGlow();
}

void TIAgaloLED::placeGlow()
{
    const bool wanted = m_galoOn && m_look.ledOn && m_galoSize > 0 && parentWidget() && !isHidden();
    if (!wanted) {
        if (m_glow)
            m_glow->hide(); // the parent repaints beneath the old halo
        return;
    }
    if (m_glow && m_glow->parentWidget() != parentWidget())
        delete m_glow;
    if (!m_glow)
        m_glow = new Glow(this);
    const int g = m_galoSize;
    m_glow->setGeometry(geometry().adjusted(-g, -g, g, g));
    m_glow->raise();
    m_glow->show();
    m_glow->update();
}

} // namespace widgets
