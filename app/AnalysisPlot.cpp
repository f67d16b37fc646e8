#include "app/AnalysisPlot.h"

#include "protocol/AnalysisTexts.h"
#include "protocol/ResultText.h"

#include <vector>

namespace app {

namespace {

QString caption(const QString &symbol, const QString &unit)
{
    return symbol + QStringLiteral(" in ") + unit;
}

} // namespace

widgets::FitPlotData analysisPlot(const analysis::Analysis &a, QChar decimalSeparator)
{
    const analysis::PairText text = analysis::pairText(a.pair);
    widgets::FitPlotData data;
    data.xCaption = caption(text.xSymbol, text.xUnit);
    data.yCaption = caption(text.ySymbol, text.yUnit);
    data.decimalSeparator = decimalSeparator;
    data.description = text.title;
    for (const analysis::PlotPoint &p : a.points)
        data.points << widgets::FitPoint{p.x, p.y, p.ux, p.uy};
    if (!a.fit.ok()) {
        data.equation = a.fit.error;
        return data;
    }
    data.line = widgets::FitLine{a.fit.intercept, a.fit.slope};
    data.equation = protocol::equationText(text, a.fit, decimalSeparator);
    if (a.derived)
        data.equation +=
            QStringLiteral("   ") + protocol::resultText(a.derived->symbol, a.derived->value,
                                                         a.derived->uncertainty, a.derived->unit,
                                                         decimalSeparator);
    data.description += QStringLiteral(": ") + data.equation;
    return data;
}

widgets::FitPlotData passPlot(const timing::ModeRun &pass, QChar decimalSeparator)
{
    const analysis::Pair pair = analysis::Pair::SpeedOverTime;
    analysis::Analysis a;
    a.pair = pair;
    std::vector<double> t;
    std::vector<double> v;
    for (const QPointF &p : pass.speeds) {
        a.points.push_back({p.x(), p.y(), 0, 0, 1});
        t.push_back(p.x());
        v.push_back(p.y());
    }
    // The same line as the pass's acceleration came from.
    a.fit = analysis::fit(t, v, {}, analysis::Model::Linear);
    a.derived = analysis::derivedOf(pair, a.fit);
    widgets::FitPlotData data = analysisPlot(a, decimalSeparator);
    data.description = QStringLiteral("Lattenzaun: ") + data.description;
    return data;
}

} // namespace app
