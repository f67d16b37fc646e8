#pragma once

#include <QChar>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

namespace widgets {

// The runs of one label in one quantity: points at (run number, value), with the mean and
// the standard deviation drawn as a line and a band when known.
struct ChartSeries
{
    QString label;
    QColor colour;
    QList<QPointF> points;
    std::optional<double> mean;
    std::optional<double> deviation;
};

// One quantity over the run numbers, with a caption such as "Geschwindigkeit in m/s".
struct ChartPanel
{
    QString caption;
    QList<ChartSeries> series;
};

struct ChartData
{
    QList<ChartPanel> panels;
    int runCount = 0;          // the run axis goes from 1 to this
    QChar decimalSeparator = u',';
    QString emptyText;         // shown when there is nothing to plot
    QString description;       // what the chart shows, for screen readers
};

// The n-th label's colour: well apart from each other, also for red-green blindness.
QColor seriesColour(int index);

// Draws the panels one above the other into `area`, in the painter's font; every length
// is in the painter's logical units, so a printer and a screen get the same picture.
void paintRunChart(QPainter &painter, const QRectF &area, const ChartData &data);

// The chart as a picture of `size` logical pixels at the given device pixel ratio.
QImage renderRunChart(const ChartData &data, QSize size, qreal devicePixelRatio, const QFont &font);

// The chart of the runs beside the protocol. Its picture is rebuilt in the first paint
// after a change, at the screen's pixel ratio.
class RunChart : public QWidget
{
    Q_OBJECT

public:
    explicit RunChart(QWidget *parent = nullptr);

    void setData(ChartData data);
    const ChartData &data() const { return m_data; }

    QSize sizeHint() const override { return {360, 345}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    ChartData m_data;
    QPixmap m_picture;
    bool m_dirty = true;
};

} // namespace widgets
