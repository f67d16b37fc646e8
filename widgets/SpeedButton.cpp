#include "widgets/SpeedButton.h"

#include <QMouseEvent>

namespace widgets {

TSpeedButton::TSpeedButton(QWidget *parent) : QPushButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
}

void TSpeedButton::mousePressEvent(QMouseEvent *event)
{
    // A disabled button never gets here: Qt does not deliver mouse events to it.
    emit mouseDown(event->button());
    QPushButton::mousePressEvent(event);
}

} // namespace widgets
