#include "widgets/PicturePanel.h"

#include <QPainter>

TPicturePanel::TPicturePanel(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPicturePanel::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void TPicturePanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_picture.isNull()) {
        const QPoint origin((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2);
        painter.drawImage(origin, m_picture);
    }
}
