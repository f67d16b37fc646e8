#include "widgets/IAeverLiquidIndicator.h"

#include <QPainter>

TIAeverLiquidIndicator::TIAeverLiquidIndicator(QWidget *parent) : QWidget(parent)
{
    resize(172, 36);
}

void TIAeverLiquidIndicator::setSignNumber(int value)
{
    if (value > 0 && value != m_signNumber) {
        m_signNumber = value;
        update();
    }
}

void TIAeverLiquidIndicator::setIndicatorWidth(int value)
{
    if (value > 0 && value != m_indicatorWidth)
        m_indicatorWidth = value;
}

void TIAeverLiquidIndicator::setIndicatorHeight(int value)
{
    if (value > 0 && value != m_indicatorHeight)
        m_indicatorHeight = value;
}

void TIAeverLiquidIndicator::setIndicatorstring(const QString &value)
{
    if (value == m_string)
        return;
    m_string = value;
    update();
}

void TIAeverLiquidIndicator::setIndicatorKind(TIAIndicatorKind value)
{
    m_kind = value;
    update();
}

void TIAeverLiquidIndicator::setBackColor(TColor value)
{
    m_backColor = value;
    update();
}

void TIAeverLiquidIndicator::setNumberForeColor(TColor value)
{
    m_foreColor = value;
    update();
}

void TIAeverLiquidIndicator::setNumberBackColor(TColor value)
{
    m_numberBackColor = value;
    update();
}

void TIAeverLiquidIndicator::setIndicatorStyle(TIAIndicatorStyle value)
{
    m_style = value;
    update();
}

void TIAeverLiquidIndicator::loaded()
{
    resize(m_indicatorWidth, m_indicatorHeight);
    update();
}

void TIAeverLiquidIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(m_backColor));
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(qMax(8, height() * 2 / 3));
    painter.setFont(font);
    painter.setPen(toQColor(m_foreColor));
    painter.drawText(rect(), Qt::AlignCenter, m_string);
}
