#include "widgets/IAgaloLED.h"

#include <QPainter>

TIAgaloLED::TIAgaloLED(QWidget *parent) : QWidget(parent)
{
    resize(m_ledWidth, m_ledHeight);
}

void TIAgaloLED::setLedPlasticColor(TColor color)
{
    if (color == m_plasticColor)
        return;
    m_plasticColor = color;
    update();
}

void TIAgaloLED::setLedOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    update();
}

void TIAgaloLED::setLedWidth(int width)
{
    if (width <= 0 || width == m_ledWidth)
        return;
    m_ledWidth = width;
    resize(m_ledWidth, m_ledHeight);
    update();
}

void TIAgaloLED::setLedHeight(int height)
{
    if (height <= 0 || height == m_ledHeight)
        return;
    m_ledHeight = height;
    resize(m_ledWidth, m_ledHeight);
    update();
}

QSize TIAgaloLED::sizeHint() const
{
    return {m_ledWidth, m_ledHeight};
}

void TIAgaloLED::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor fill = toQColor(m_plasticColor);
    if (!m_on)
        fill = fill.darker(300);
    painter.fillRect(rect(), fill);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
