#include "app/BigText.h"

#include <QEvent>
#include <QPainter>

namespace app {

BigText::BigText(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
}

void BigText::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    invalidate();
}

void BigText::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    invalidate();
}

void BigText::setPixelSize(int pixels)
{
    if (font().pixelSize() == pixels)
        return;
    QFont f = font();
    f.setPixelSize(pixels);
    setFont(f); // arrives as a font change
}

void BigText::invalidate()
{
    m_stale = true;
    update();
}

void BigText::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        invalidate();
}

void BigText::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_stale = true;
}

void BigText::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_stale || m_picture.devicePixelRatio() != ratio) {
        m_picture = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::black);
        QPainter painter(&m_picture);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font());
        painter.setPen(m_color);
        painter.drawText(QRect(QPoint(0, 0), size()), Qt::AlignCenter, m_text);
        m_stale = false;
        ++m_drawCount;
    }
    QPainter(this).drawImage(0, 0, m_picture);
}

} // namespace app
