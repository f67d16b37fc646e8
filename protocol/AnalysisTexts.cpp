#include "protocol/AnalysisTexts.h"

#include "analysis/Rounding.h"
#include "protocol/NumberFormat.h"
#include "protocol/ResultText.h"

#include <cmath>

namespace protocol {

QString slopeUnit(const analysis::PairText &pair)
{
    const bool speedOverTime =
        pair.yUnit == QStringLiteral("m/s") && pair.xUnit == QStringLiteral("s");
    const bool squaredOverLength =
        pair.yUnit == QStringLiteral("m²/s²") && pair.xUnit == QStringLiteral("m");
    if (speedOverTime || squaredOverLength)
        return QStringLiteral("m/s²");
    return pair.yUnit + u'/' + pair.xUnit;
}

QString equationText(const analysis::PairText &pair, const analysis::FitResult &fit,
                     QChar decimalSeparator)
{
    QString text = pair.ySymbol + QStringLiteral(" = ");
    if (fit.model == analysis::Model::Linear)
        text += measuredText(fit.intercept, fit.interceptUncertainty, decimalSeparator) + u' ' +
                pair.yUnit + QStringLiteral(" + ");
    return text + measuredText(fit.slope, fit.slopeUncertainty, decimalSeparator) + u' ' +
           slopeUnit(pair) + QStringLiteral(" · ") + pair.xSymbol;
}

QStringList fitSummary(const analysis::Analysis &a, QChar decimalSeparator)
{
    if (!a.fit.ok())
        return QStringList{a.fit.error} + a.notes;
    const analysis::PairText pair = analysis::pairText(a.pair);
    QStringList lines{equationText(pair, a.fit, decimalSeparator)};
    lines << QStringLiteral("R² = ") + formatFixed(a.fit.rSquared, 5, decimalSeparator);
    if (a.fit.weighted)
        lines << QStringLiteral("gewichtet mit den Standardfehlern; χ² = %1 bei %2 "
                                "Freiheitsgraden")
                     .arg(formatFixed(a.fit.chiSquared, 2, decimalSeparator))
                     .arg(a.fit.degreesOfFreedom);
    else
        lines << QStringLiteral("ungewichtet; Unsicherheiten aus der Streuung um die Gerade");
    if (a.derived)
        lines << resultText(a.derived->symbol, a.derived->value, a.derived->uncertainty,
                            a.derived->unit, decimalSeparator);
    return lines + a.notes;
}

QStringList seriesCaptions(const QString &settingSymbol, const QString &valueSymbol,
                           const QString &valueUnit)
{
    const QString unit = QStringLiteral(" (") + valueUnit + u')';
    return {settingSymbol + QStringLiteral(" (m)"), QStringLiteral("n"),
            QStringLiteral("Mittelwert ") + valueSymbol + unit, QStringLiteral("SD") + unit,
            QStringLiteral("SEM") + unit};
}

QList<QStringList> seriesRows(std::span<const analysis::Point> points, QChar decimalSeparator)
{
    QList<QStringList> rows;
    for (const analysis::Point &p : points) {
        // The SEM's two digits set the decimals; a single run keeps the time's four.
        const analysis::Rounding r = analysis::roundTogether(p.mean, p.sem);
        const int decimals = p.sem > 0 && r.exponent == 0 ? r.decimals : 4;
        const auto shown = [&](double v) { return formatFixed(v, decimals, decimalSeparator); };
        rows << QStringList{formatFixed3(p.setting, decimalSeparator), QString::number(p.n),
                            shown(p.mean), p.n >= 2 ? shown(p.sd) : QStringLiteral("–"),
                            p.n >= 2 ? shown(p.sem) : QStringLiteral("–")};
    }
    return rows;
}

} // namespace protocol
