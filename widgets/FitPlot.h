#pragma once

#include <QChar>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>

class QFontMetricsF;
class QPainter;

namespace widgets {

// A measured point with the standard uncertainties drawn as error bars.
struct FitPoint
{
    double x = 0;
    double y = 0;
    double ux = 0;
    double uy = 0;
};

// y = intercept + slope·x
struct FitLine
{
    double intercept = 0;
    double slope = 0;
    double at(double x) const { return intercept + slope * x; }
};

// What the plot shows: plain data, so the window, the report and a picket fence's
// v(t) share it.
struct FitPlotData
{
    QString xCaption; // with the unit: "s in m"
    QString yCaption; // "t² in s²"
    QList<FitPoint> points;
    std::optional<FitLine> line;
    QString equation;       // drawn above the plot: "t² = (4,01 ± 0,05) s²/m · s"
    bool residuals = true;  // a strip of y − line(x) under the plot, when there is a line
    bool showOrigin = true; // both axes reach 0, as a law through the origin is judged
    QChar decimalSeparator = u',';
    QColor pointColour = QColor::fromRgb(0x0072B2);
    QColor lineColour = QColor::fromRgb(0xD55E00);
    QString emptyText = QStringLiteral("Noch keine Messpunkte");
    QString description; // what it shows, for screen readers
};

// Where things go in an area: the plot, the residual strip (empty without one), and the
// value ranges they show. Points that are not finite take no part.
struct FitPlotLayout
{
    bool empty = true; // nothing finite to plot: the hint instead
    QRectF plot;
    QRectF strip;
    double xLow = 0, xHigh = 1, yLow = 0, yHigh = 1, rLow = -1, rHigh = 1;

    QPointF map(double x, double y) const;
    QPointF mapResidual(double x, double r) const;
};
FitPlotLayout fitPlotLayout(const QRectF &area, const FitPlotData &data,
                            const QFontMetricsF &metrics);

// Draws into `area` only, in the painter's font and logical units.
void paintFitPlot(QPainter &painter, const QRectF &area, const FitPlotData &data);

QImage renderFitPlot(const FitPlotData &data, QSize size, qreal devicePixelRatio,
                     const QFont &font);

// The plot as a widget; its picture is rebuilt in the first paint after a change.
class FitPlot : public QWidget
{
    Q_OBJECT

public:
    explicit FitPlot(QWidget *parent = nullptr);

    void setData(FitPlotData data);
    const FitPlotData &data() const { return m_data; }

    QSize sizeHint() const override { return {420, 360}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    FitPlotData m_data;
    QPixmap m_picture;
    bool m_dirty = true;
};

} // namespace widgets
