#pragma once

#include "widgets/Colors.h"

#include <QWidget>

// The simulated liquid-crystal display. This plain body shows the string as text.
class TIAeverLiquidIndicator : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int SignNumber READ SignNumber WRITE setSignNumber)
    Q_PROPERTY(int IndicatorWidth READ IndicatorWidth WRITE setIndicatorWidth)
    Q_PROPERTY(int IndicatorHeight READ IndicatorHeight WRITE setIndicatorHeight)
    Q_PROPERTY(QString Indicatorstring READ Indicatorstring WRITE setIndicatorstring)
    Q_PROPERTY(TIAIndicatorKind IndicatorKind READ IndicatorKind WRITE setIndicatorKind)
    Q_PROPERTY(int BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(int NumberForeColor READ NumberForeColor WRITE setNumberForeColor)
    Q_PROPERTY(int NumberBackColor READ NumberBackColor WRITE setNumberBackColor)
    Q_PROPERTY(TIAIndicatorStyle IndicatorStyle READ IndicatorStyle WRITE setIndicatorStyle)

public:
    enum TIAIndicatorKind { ik7segment, ik5x7matrix, ik9segment };
    Q_ENUM(TIAIndicatorKind)
    enum TIAIndicatorStyle { isThin, isNormal, isThick };
    Q_ENUM(TIAIndicatorStyle)

    explicit TIAeverLiquidIndicator(QWidget *parent = nullptr);

    int SignNumber() const { return m_signNumber; }
    void setSignNumber(int value);
    int IndicatorWidth() const { return m_indicatorWidth; }
    void setIndicatorWidth(int value);
    int IndicatorHeight() const { return m_indicatorHeight; }
    void setIndicatorHeight(int value);
    QString Indicatorstring() const { return m_string; }
    void setIndicatorstring(const QString &value);
    TIAIndicatorKind IndicatorKind() const { return m_kind; }
    void setIndicatorKind(TIAIndicatorKind value);
    TColor BackColor() const { return m_backColor; }
    void setBackColor(TColor value);
    TColor NumberForeColor() const { return m_foreColor; }
    void setNumberForeColor(TColor value);
    TColor NumberBackColor() const { return m_numberBackColor; }
    void setNumberBackColor(TColor value);
    TIAIndicatorStyle IndicatorStyle() const { return m_style; }
    void setIndicatorStyle(TIAIndicatorStyle value);

    // The toolkit's after-loading step, run once the window's layout has been read.
    void loaded();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_signNumber = 10;
    int m_indicatorWidth = 172;
    int m_indicatorHeight = 36;
    QString m_string;
    TIAIndicatorKind m_kind = ik7segment;
    TColor m_backColor = 0xDDDDDD;
    TColor m_foreColor = 0x363636;
    TColor m_numberBackColor = 0xD3D3D3;
    TIAIndicatorStyle m_style = isNormal;
};
