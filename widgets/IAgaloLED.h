#pragma once

#include "widgets/Colors.h"

#include <QWidget>

// A lamp. LedPlasticColor reads back exactly the value last written, because the line
// evaluation keeps each line's previous state in it.
class TIAgaloLED : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int LedPlasticColor READ LedPlasticColor WRITE setLedPlasticColor)
    Q_PROPERTY(bool LedOn READ LedOn WRITE setLedOn)
    Q_PROPERTY(int LedWidth READ LedWidth WRITE setLedWidth)
    Q_PROPERTY(int LedHeight READ LedHeight WRITE setLedHeight)

public:
    explicit TIAgaloLED(QWidget *parent = nullptr);

    TColor LedPlasticColor() const { return m_plasticColor; }
    void setLedPlasticColor(TColor color);
    bool LedOn() const { return m_on; }
    void setLedOn(bool on);
    int LedWidth() const { return m_ledWidth; }
    void setLedWidth(int width);
    int LedHeight() const { return m_ledHeight; }
    void setLedHeight(int height);

    void loaded() {}
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TColor m_plasticColor = clLime;
    bool m_on = true;
    int m_ledWidth = 20;
    int m_ledHeight = 10;
};
