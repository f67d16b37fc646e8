#include "protocol/ResultText.h"

#include "analysis/Rounding.h"
#include "protocol/NumberFormat.h"

#include <cmath>

namespace protocol {

namespace {

QString superscript(int exponent)
{
    static const char16_t digits[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
    QString text = exponent < 0 ? QStringLiteral("⁻") : QString();
    for (const QChar c : QString::number(std::abs(exponent)))
        text += QChar(digits[c.digitValue()]);
    return text;
}

} // namespace

QString measuredText(double value, double uncertainty, QChar decimalSeparator)
{
    if (!std::isfinite(value))
        return QStringLiteral("???");
    const analysis::Rounding r = analysis::roundTogether(value, uncertainty);
    const long double scale = std::pow(10.0L, r.exponent);
    const QString power = r.exponent ? QStringLiteral("·10") + superscript(r.exponent) : QString();
    const QString shown = formatFixed(value / scale, r.decimals, decimalSeparator);
    if (!(r.uncertainty > 0))
        return shown + power;
    return QStringLiteral("(%1 ± %2)%3")
        .arg(shown, formatFixed(r.uncertainty / scale, r.decimals, decimalSeparator), power);
}

QString resultText(const QString &symbol, double value, double uncertainty, const QString &unit,
                   QChar decimalSeparator)
{
    QString text =
        symbol + QStringLiteral(" = ") + measuredText(value, uncertainty, decimalSeparator);
    if (!unit.isEmpty())
        text += u' ' + unit;
    return text;
}

} // namespace protocol
