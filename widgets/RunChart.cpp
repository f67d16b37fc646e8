#include "widgets/RunChart.h"

#include "widgets/ChartAxis.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEngine>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace widgets {

namespace {

using chart::decimalsOf;
using chart::niceStep;
using chart::number;

// Okabe and Ito's palette without its yellow, which vanishes on white paper.
constexpr std::array<QRgb, 7> Palette{0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7,
                                      0xE69F00, 0x56B4E9, 0x000000};

struct Range
{
    double low = 0;
    double high = 1;
};

Range valueRange(const ChartPanel &panel)
{
    bool any = false;
    double low = 0;
    double high = 0;
    const auto take = [&](double v) {
        if (!std::isfinite(v))
            return;
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    };
    for (const ChartSeries &s : panel.series) {
        for (const QPointF &p : s.points)
            take(p.y());
        if (s.mean && s.deviation) {
            take(*s.mean - *s.deviation);
            take(*s.mean + *s.deviation);
        }
    }
    if (!any)
        return {};
    if (high - low < 1e-12 * std::max(1.0, std::fabs(high))) {
        const double pad = std::fabs(high) > 0 ? std::fabs(high) * 0.01 : 1;
        return {low - pad, high + pad};
    }
    const double pad = (high - low) * 0.08;
    return {low - pad, high + pad};
}

// The value axis of a panel: grid values at whole multiples of a 1-2-5 step, counted
// rather than summed, and the width of their widest label.
struct Axis
{
    Range range;
    QList<double> ticks;
    int decimals = 0;
    double labelWidth = 0;
};

Axis axisOf(const ChartPanel &panel, const ChartData &data, const QFontMetricsF &metrics)
{
    Axis axis;
    axis.range = valueRange(panel);
    const double step = niceStep((axis.range.high - axis.range.low) / 5);
    axis.decimals = decimalsOf(step);
    for (double i = std::ceil(axis.range.low / step); i <= std::floor(axis.range.high / step); ++i)
        axis.ticks << i * step;
    for (const double v : axis.ticks)
        axis.labelWidth = std::max(
            axis.labelWidth,
            metrics.horizontalAdvance(number(v, axis.decimals, data.decimalSeparator)));
    return axis;
}

// `labelWidth` is the same for every panel, so their run axes line up.
void paintPanel(QPainter &p, const QRectF &area, const ChartPanel &panel, const ChartData &data,
                double labelWidth, bool withLegend)
{
    const QFontMetricsF metrics(p.font());
    const double line = metrics.height();
    const double unit = line / 4; // the small lengths grow with the font

    const Axis axis = axisOf(panel, data, metrics);
    const Range range = axis.range;
    const int decimals = axis.decimals;
    const QList<double> &ticks = axis.ticks;

    const QRectF plot(area.left() + labelWidth + 2 * unit, area.top() + line * 1.4,
                      area.width() - labelWidth - 3 * unit, area.height() - line * 2.8);
    if (plot.width() <= 0 || plot.height() <= 0)
        return;

    const double runs = std::max(1, data.runCount);
    const auto x = [&](double run) {
        return plot.left() + (run - 0.5) / runs * plot.width();
    };
    const auto y = [&](double value) {
        return plot.bottom() - (value - range.low) / (range.high - range.low) * plot.height();
    };

    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), line * 1.2),
               Qt::AlignLeft | Qt::AlignVCenter, panel.caption);

    // Grid and value axis.
    const QPen grid(QColor(0xd0, 0xd0, 0xd0), 0);
    for (const double v : ticks) {
        const double at = y(v);
        p.setPen(grid);
        p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), at - line / 2, labelWidth + unit, line),
                   Qt::AlignRight | Qt::AlignVCenter, number(v, decimals, data.decimalSeparator));
    }

    // Run axis: every run while the numbers fit, else every second, fifth, tenth, ...
    const double widest = metrics.horizontalAdvance(QString::number(data.runCount)) + 2 * unit;
    const int every = std::max(1, int(niceStep(widest * runs / plot.width())));
    for (int run = every; run <= data.runCount; run += every) {
        p.setPen(Qt::black);
        p.drawText(QRectF(x(run) - widest, plot.bottom() + unit / 2, 2 * widest, line),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(run));
        p.setPen(grid);
        p.drawLine(QPointF(x(run), plot.bottom()), QPointF(x(run), plot.bottom() + unit));
    }

    p.save();
    p.setClipRect(plot);
    for (const ChartSeries &s : panel.series) {
        if (!s.mean)
            continue;
        QColor band = s.colour;
        if (s.deviation && *s.deviation > 0) {
            band.setAlpha(45);
            p.fillRect(QRectF(QPointF(plot.left(), y(*s.mean + *s.deviation)),
                              QPointF(plot.right(), y(*s.mean - *s.deviation))),
                       band);
        }
        QPen meanPen(s.colour, unit / 2, Qt::DashLine);
        p.setPen(meanPen);
        p.drawLine(QPointF(plot.left(), y(*s.mean)), QPointF(plot.right(), y(*s.mean)));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    const double radius = unit * 0.9;
    // Thousands of runs land on the same few pixels: each spot is drawn once per label.
    const int columns = int(std::ceil(plot.width())) + 1;
    const int rowsOfSpots = int(std::ceil(plot.height())) + 1;
    std::vector<bool> drawn;
    // On a screen a dot is drawn once and stamped; a PDF or printer keeps vector dots.
    const bool raster = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster;
    const qreal ratio = p.device()->devicePixelRatioF();
    for (const ChartSeries &s : panel.series) {
        p.setPen(QPen(s.colour.darker(130), 0));
        p.setBrush(s.colour);
        QImage stamp;
        const double reach = std::ceil(radius + 1);
        if (raster) {
            stamp = QImage(QSize(int(2 * reach * ratio), int(2 * reach * ratio)),
                           QImage::Format_ARGB32_Premultiplied);
            stamp.setDevicePixelRatio(ratio);
            stamp.fill(Qt::transparent);
            QPainter dot(&stamp);
            dot.setRenderHint(QPainter::Antialiasing, true);
            dot.setPen(p.pen());
            dot.setBrush(p.brush());
            dot.drawEllipse(QPointF(reach, reach), radius, radius);
        }
        drawn.assign(std::size_t(columns) * std::size_t(rowsOfSpots), false);
        for (const QPointF &point : s.points) {
            const QPointF at(x(point.x()), y(point.y()));
            // A value that is no number has no place on the plot.
            if (!std::isfinite(at.x()) || !std::isfinite(at.y()))
                continue;
            const int cx = std::clamp(int(at.x() - plot.left()), 0, columns - 1);
            const int cy = std::clamp(int(at.y() - plot.top()), 0, rowsOfSpots - 1);
            const std::size_t spot = std::size_t(cy) * std::size_t(columns) + std::size_t(cx);
            if (drawn[spot])
                continue;
            drawn[spot] = true;
            if (raster)
                p.drawImage(at - QPointF(reach, reach), stamp);
            else
                p.drawEllipse(at, radius, radius);
        }
    }
    p.restore();

    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);

    if (!withLegend)
        return;
    // The legend to the right of the caption, one entry per label, as many as fit between
    // the caption and the right edge; the rest are counted ("+3"), never drawn over the
    // caption or the value axis.
    const double captionEnd = area.left() + metrics.horizontalAdvance(panel.caption) + 3 * unit;
    const auto entryWidth = [&](const QString &label) {
        return metrics.horizontalAdvance(label) + 6 * unit;
    };
    const auto restText = [](qsizetype rest) { return QStringLiteral("+%1").arg(rest); };
    qsizetype shown = panel.series.size();
    const auto widthOf = [&](qsizetype n) {
        double width = 0;
        for (qsizetype i = 0; i < n; ++i)
            width += entryWidth(panel.series[i].label);
        if (n < panel.series.size())
            width += metrics.horizontalAdvance(restText(panel.series.size() - n)) + 3 * unit;
        return width;
    };
    while (shown > 0 && area.right() - widthOf(shown) < captionEnd)
        --shown;
    double right = area.right();
    if (shown < panel.series.size()) {
        const QString rest = restText(panel.series.size() - shown);
        const double width = metrics.horizontalAdvance(rest);
        if (right - width >= captionEnd) {
            p.setPen(Qt::black);
            p.drawText(QRectF(right - width, area.top(), width, line * 1.2),
                       Qt::AlignLeft | Qt::AlignVCenter, rest);
        }
        right -= width + 3 * unit;
    }
    for (qsizetype i = shown; i-- > 0;) {
        const ChartSeries &s = panel.series[i];
        const double width = metrics.horizontalAdvance(s.label);
        const QRectF text(right - width, area.top(), width, line * 1.2);
        p.setPen(Qt::black);
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, s.label);
        const QRectF swatch(text.left() - 3 * unit, text.center().y() - unit, 2 * unit, 2 * unit);
        p.fillRect(swatch, s.colour);
        right = swatch.left() - 3 * unit;
    }
}

} // namespace

QColor seriesColour(int index)
{
    const auto n = int(Palette.size());
    return QColor::fromRgb(Palette[std::size_t(((index % n) + n) % n)]);
}

void paintRunChart(QPainter &painter, const QRectF &area, const ChartData &data)
{
    painter.save();
    painter.fillRect(area, Qt::white);
    if (data.runCount == 0 || data.panels.isEmpty()) {
        painter.setPen(Qt::black);
        painter.drawText(area, Qt::AlignCenter, data.emptyText);
        painter.restore();
        return;
    }
    const double pad = QFontMetricsF(painter.font()).height() / 3;
    const QRectF inner = area.adjusted(pad, pad, -pad, -pad);
    const double height = inner.height() / double(data.panels.size());
    double labelWidth = 0;
    for (const ChartPanel &panel : data.panels)
        labelWidth = std::max(labelWidth,
                              axisOf(panel, data, QFontMetricsF(painter.font())).labelWidth);
    for (qsizetype i = 0; i < data.panels.size(); ++i)
        paintPanel(painter, QRectF(inner.left(), inner.top() + double(i) * height, inner.width(), height),
                   data.panels[i], data, labelWidth, i == 0);
    painter.restore();
}

QImage renderRunChart(const ChartData &data, QSize size, qreal devicePixelRatio, const QFont &font)
{
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    paintRunChart(painter, QRectF(QPointF(0, 0), QSizeF(size)), data);
    return image;
}

RunChart::RunChart(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Diagramm"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RunChart::setData(ChartData data)
{
    m_data = std::move(data);
    setAccessibleDescription(m_data.description);
    setToolTip(m_data.description);
    m_dirty = true;
    update();
}

void RunChart::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_dirty || m_picture.devicePixelRatio() != ratio
        || m_picture.deviceIndependentSize() != QSizeF(size())) {
        m_picture = QPixmap::fromImage(renderRunChart(m_data, size(), ratio, font()));
        m_dirty = false;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void RunChart::resizeEvent(QResizeEvent *event)
{
    m_dirty = true;
    QWidget::resizeEvent(event);
}

void RunChart::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_dirty = true;
    QWidget::changeEvent(event);
}

} // namespace widgets
