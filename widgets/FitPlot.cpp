#include "widgets/FitPlot.h"

#include "widgets/ChartAxis.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace widgets {

namespace {

const QColor GridColour = QColor(0xd0, 0xd0, 0xd0);
constexpr int GridCount = 5;
constexpr int ResidualGridCount = 3;

bool finite(const FitPoint &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.ux) && std::isfinite(p.uy);
}

struct Span
{
    bool any = false;
    double low = 0;
    double high = 0;
    void take(double v)
    {
        if (!std::isfinite(v))
            return;
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    }
    // A little room on both sides, and some where all values are one.
    void pad()
    {
        const double width = high - low;
        if (!(width > 1e-12 * std::max(1.0, std::fabs(high)))) {
            const double room = std::fabs(high) > 0 ? std::fabs(high) * 0.01 : 1;
            low -= room;
            high += room;
            return;
        }
        low -= width * 0.08;
        high += width * 0.08;
    }
};

bool hasStrip(const FitPlotData &data)
{
    return data.residuals && data.line && std::isfinite(data.line->slope) &&
           std::isfinite(data.line->intercept);
}

// The widest grid label of a value axis.
double labelWidth(double low, double high, int count, QChar separator, const QFontMetricsF &metrics)
{
    double step = 1;
    const QList<double> values = chart::gridValues(low, high, count, &step);
    double widest = 0;
    for (const double v : values)
        widest = std::max(widest, metrics.horizontalAdvance(
                                      chart::number(v, chart::decimalsOf(step), separator)));
    return widest;
}

} // namespace

QPointF FitPlotLayout::map(double x, double y) const
{
    return {plot.left() + (x - xLow) / (xHigh - xLow) * plot.width(),
            plot.bottom() - (y - yLow) / (yHigh - yLow) * plot.height()};
}

QPointF FitPlotLayout::mapResidual(double x, double r) const
{
    return {strip.left() + (x - xLow) / (xHigh - xLow) * strip.width(),
            strip.bottom() - (r - rLow) / (rHigh - rLow) * strip.height()};
}

FitPlotLayout fitPlotLayout(const QRectF &area, const FitPlotData &data,
                            const QFontMetricsF &metrics)
{
    FitPlotLayout layout;
    Span x, y, r;
    const bool strip = hasStrip(data);
    for (const FitPoint &p : data.points) {
        if (!finite(p))
            continue;
        x.take(p.x - p.ux);
        x.take(p.x + p.ux);
        y.take(p.y - p.uy);
        y.take(p.y + p.uy);
        if (strip) {
            const double d = p.y - data.line->at(p.x);
            r.take(std::fabs(d) + p.uy);
        }
    }
    if (!x.any || !y.any)
        return layout;
    layout.empty = false;
    if (data.showOrigin) {
        x.take(0);
        y.take(0);
    }
    x.pad();
    y.pad();
    layout.xLow = x.low;
    layout.xHigh = x.high;
    layout.yLow = y.low;
    layout.yHigh = y.high;
    const double reach =
        r.any && r.high > 0 && std::isfinite(r.high) ? r.high * 1.15 : (y.high - y.low) * 0.01;
    layout.rLow = -reach;
    layout.rHigh = reach;

    const double line = metrics.height();
    const double unit = line / 4;
    const QRectF inner = area.adjusted(line / 3, line / 3, -line / 3, -line / 3);
    double labels = labelWidth(y.low, y.high, GridCount, data.decimalSeparator, metrics);
    if (strip)
        labels = std::max(labels, labelWidth(layout.rLow, layout.rHigh, ResidualGridCount,
                                             data.decimalSeparator, metrics));
    const double widestX = metrics.horizontalAdvance(QStringLiteral("-0000,00"));
    const double top = inner.top() + line * 1.2 * (data.equation.isEmpty() ? 1 : 2);
    const double bottom = inner.bottom() - line * 2.4;
    const double left = inner.left() + labels + 2 * unit;
    const double right = inner.right() - widestX / 2;
    const double height = bottom - top;
    if (right - left <= 0 || height <= 0) {
        layout.empty = true;
        return layout;
    }
    if (strip) {
        const double stripHeight = height * 0.25;
        layout.plot = QRectF(left, top, right - left, height - stripHeight - line / 2);
        layout.strip = QRectF(left, bottom - stripHeight, right - left, stripHeight);
    } else {
        layout.plot = QRectF(left, top, right - left, height);
    }
    return layout;
}

void paintFitPlot(QPainter &p, const QRectF &area, const FitPlotData &data)
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, Qt::white);
    const QFontMetricsF metrics(p.font());
    const FitPlotLayout layout = fitPlotLayout(area, data, metrics);
    if (layout.empty) {
        p.setPen(Qt::black);
        p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, data.emptyText);
        p.restore();
        return;
    }
    const double line = metrics.height();
    const double unit = line / 4;
    const QRectF inner = area.adjusted(line / 3, line / 3, -line / 3, -line / 3);
    const QRectF &plot = layout.plot;
    const QRectF lowest = layout.strip.isEmpty() ? plot : layout.strip;

    p.setPen(Qt::black);
    if (!data.equation.isEmpty())
        p.drawText(QRectF(plot.left(), inner.top(), inner.right() - plot.left(), line * 1.2),
                   Qt::AlignLeft | Qt::AlignVCenter, data.equation);
    p.drawText(QRectF(inner.left(), plot.top() - line * 1.2, inner.width(), line * 1.2),
               Qt::AlignLeft | Qt::AlignVCenter, data.yCaption);
    p.drawText(QRectF(plot.left(), inner.bottom() - line * 1.2, plot.width(), line * 1.2),
               Qt::AlignHCenter | Qt::AlignVCenter, data.xCaption);

    const QPen grid(GridColour, 0);
    const auto valueAxis = [&](const QRectF &rect, double low, double high, int count) {
        double step = 1;
        const QList<double> values = chart::gridValues(low, high, count, &step);
        for (const double v : values) {
            const double at = rect.bottom() - (v - low) / (high - low) * rect.height();
            p.setPen(grid);
            p.drawLine(QPointF(rect.left(), at), QPointF(rect.right(), at));
            p.setPen(Qt::black);
            p.drawText(QRectF(inner.left(), at - line / 2, rect.left() - inner.left() - unit, line),
                       Qt::AlignRight | Qt::AlignVCenter,
                       chart::number(v, chart::decimalsOf(step), data.decimalSeparator));
        }
    };
    valueAxis(plot, layout.yLow, layout.yHigh, GridCount);
    if (!layout.strip.isEmpty())
        valueAxis(layout.strip, layout.rLow, layout.rHigh, ResidualGridCount);

    double step = 1;
    const QList<double> xs = chart::gridValues(layout.xLow, layout.xHigh, GridCount, &step);
    for (const double v : xs) {
        const double at = layout.map(v, 0).x();
        p.setPen(grid);
        p.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        if (!layout.strip.isEmpty())
            p.drawLine(QPointF(at, layout.strip.top()), QPointF(at, layout.strip.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(at - plot.width() / 2, lowest.bottom() + unit / 2, plot.width(), line),
                   Qt::AlignHCenter | Qt::AlignTop,
                   chart::number(v, chart::decimalsOf(step), data.decimalSeparator));
    }

    const double radius = unit * 0.9;
    const auto bars = [&](QPointF low, QPointF high, bool horizontal) {
        p.drawLine(low, high);
        if (horizontal) {
            p.drawLine(low - QPointF(0, unit / 2), low + QPointF(0, unit / 2));
            p.drawLine(high - QPointF(0, unit / 2), high + QPointF(0, unit / 2));
        } else {
            p.drawLine(low - QPointF(unit / 2, 0), low + QPointF(unit / 2, 0));
            p.drawLine(high - QPointF(unit / 2, 0), high + QPointF(unit / 2, 0));
        }
    };

    p.save();
    p.setClipRect(plot.intersected(area));
    p.setRenderHint(QPainter::Antialiasing, true);
    if (data.line && std::isfinite(data.line->slope) && std::isfinite(data.line->intercept)) {
        p.setPen(QPen(data.lineColour, unit / 2));
        p.drawLine(layout.map(layout.xLow, data.line->at(layout.xLow)),
                   layout.map(layout.xHigh, data.line->at(layout.xHigh)));
    }
    for (const FitPoint &pt : data.points) {
        if (!finite(pt))
            continue;
        const QPointF at = layout.map(pt.x, pt.y);
        p.setPen(QPen(data.pointColour.darker(130), 0));
        if (pt.uy > 0)
            bars(layout.map(pt.x, pt.y - pt.uy), layout.map(pt.x, pt.y + pt.uy), false);
        if (pt.ux > 0)
            bars(layout.map(pt.x - pt.ux, pt.y), layout.map(pt.x + pt.ux, pt.y), true);
        p.setBrush(data.pointColour);
        p.drawEllipse(at, radius, radius);
    }
    p.restore();
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);

    if (!layout.strip.isEmpty()) {
        const QRectF &strip = layout.strip;
        p.save();
        p.setClipRect(strip.intersected(area));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(data.lineColour, unit / 3));
        p.drawLine(layout.mapResidual(layout.xLow, 0), layout.mapResidual(layout.xHigh, 0));
        for (const FitPoint &pt : data.points) {
            if (!finite(pt))
                continue;
            const double d = pt.y - data.line->at(pt.x);
            const QPointF at = layout.mapResidual(pt.x, d);
            p.setPen(QPen(data.pointColour.darker(130), 0));
            if (pt.uy > 0)
                bars(layout.mapResidual(pt.x, d - pt.uy), layout.mapResidual(pt.x, d + pt.uy),
                     false);
            p.setBrush(data.pointColour);
            p.drawEllipse(at, radius, radius);
        }
        p.setPen(Qt::darkGray);
        p.drawText(strip.adjusted(unit, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("Residuen"));
        p.restore();
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(strip);
    }
    p.restore();
}

QImage renderFitPlot(const FitPlotData &data, QSize size, qreal devicePixelRatio, const QFont &font)
{
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    paintFitPlot(painter, QRectF(QPointF(0, 0), QSizeF(size)), data);
    return image;
}

FitPlot::FitPlot(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Ausgleichsgerade"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FitPlot::setData(FitPlotData data)
{
    m_data = std::move(data);
    const QString told = m_data.points.isEmpty() ? m_data.emptyText : m_data.description;
    setAccessibleDescription(told);
    setToolTip(told);
    m_dirty = true;
    update();
}

void FitPlot::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_dirty || m_picture.devicePixelRatio() != ratio ||
        m_picture.deviceIndependentSize() != QSizeF(size())) {
        m_picture = QPixmap::fromImage(renderFitPlot(m_data, size(), ratio, font()));
        m_dirty = false;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void FitPlot::resizeEvent(QResizeEvent *event)
{
    m_dirty = true;
    QWidget::resizeEvent(event);
}

void FitPlot::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_dirty = true;
    QWidget::changeEvent(event);
}

} // namespace widgets
