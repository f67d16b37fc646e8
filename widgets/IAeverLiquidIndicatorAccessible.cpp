#include "widgets/IAeverLiquidIndicatorAccessible.h"

#include "widgets/IAeverLiquidIndicator.h"

#include <mutex>

namespace widgets {

namespace {

QAccessibleInterface *displayFactory(const QString &className, QObject *object)
{
    if (className == QLatin1StringView(TIAeverLiquidIndicator::staticMetaObject.className()) &&
        object && object->isWidgetType())
        return new TIAeverLiquidIndicatorAccessible(static_cast<TIAeverLiquidIndicator *>(object));
    return nullptr;
}

} // namespace

TIAeverLiquidIndicatorAccessible::TIAeverLiquidIndicatorAccessible(TIAeverLiquidIndicator *display)
    : QAccessibleWidget(display, QAccessible::StaticText)
{
}

TIAeverLiquidIndicator *TIAeverLiquidIndicatorAccessible::display() const
{
    return static_cast<TIAeverLiquidIndicator *>(widget());
}

QString TIAeverLiquidIndicatorAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return display()->Indicatorstring();
    return QAccessibleWidget::text(t);
}

void TIAeverLiquidIndicatorAccessible::install()
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(displayFactory); });
}

void TIAeverLiquidIndicatorAccessible::notifyValueChanged(TIAeverLiquidIndicator *display)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(display, display->Indicatorstring());
    QAccessible::updateAccessibility(&event);
}

} // namespace widgets
