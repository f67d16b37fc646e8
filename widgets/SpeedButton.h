#pragma once

#include <QPushButton>

namespace widgets {

// A flat tool button that never takes the focus. mouseDown fires when any mouse button
// is pressed on it; clicked keeps Qt's meaning (left button released inside).
class TSpeedButton : public QPushButton
{
    Q_OBJECT

public:
    explicit TSpeedButton(QWidget *parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

} // namespace widgets
