#pragma once

#include <QAccessibleWidget>

namespace widgets {

class TIAeverLiquidIndicator;

// What assistive technology learns of the segment display: its name, and as its value
// the text it shows, so that a screen reader can read the time.
class TIAeverLiquidIndicatorAccessible : public QAccessibleWidget
{
public:
    explicit TIAeverLiquidIndicatorAccessible(TIAeverLiquidIndicator *display);

    QString text(QAccessible::Text t) const override;

    // Makes the toolkit use this for every display; safe to call more than once.
    static void install();
    // Tells assistive technology that the shown text changed.
    static void notifyValueChanged(TIAeverLiquidIndicator *display);

private:
    TIAeverLiquidIndicator *display() const;
};

} // namespace widgets
