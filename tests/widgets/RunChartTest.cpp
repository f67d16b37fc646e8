#include "support/QtTestMain.h"
#include "widgets/RunChart.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QFontMetricsF>
#include <QImage>
#include <QTest>

using widgets::ChartData;
using widgets::ChartPanel;
using widgets::ChartSeries;

namespace {

// Speed and time of five runs in two labels, each with its mean and spread.
ChartData twoLabels()
{
    ChartData data;
    data.runCount = 5;
    data.description = QStringLiteral("Zwei Bezeichnungen");
    const ChartSeries a{QStringLiteral("Wagen A"), widgets::seriesColour(0),
                        {{1, 0.1875}, {3, 0.1874}, {5, 0.1876}}, 0.1875, 0.0001};
    const ChartSeries b{QStringLiteral("Wagen B"), widgets::seriesColour(1),
                        {{2, 0.25}, {4, 0.2496}}, 0.2498, 0.0003};
    data.panels << ChartPanel{QStringLiteral("Geschwindigkeit in m/s"), {a, b}};
    ChartSeries at = a;
    at.points = {{1, 0.8}, {3, 0.8006}, {5, 0.8003}};
    at.mean = 0.8003;
    at.deviation = 0.0003;
    ChartSeries bt = b;
    bt.points = {{2, 1.2}, {4, 1.202}};
    bt.mean = 1.201;
    bt.deviation = 0.0014;
    data.panels << ChartPanel{QStringLiteral("Zeit in s"), {at, bt}};
    return data;
}

// Pixels within a small distance of a colour: a drawn point or band edge of that label.
int pixelsOf(const QImage &image, QColor colour)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if (std::abs(qRed(line[x]) - colour.red()) + std::abs(qGreen(line[x]) - colour.green())
                    + std::abs(qBlue(line[x]) - colour.blue())
                < 12)
                ++count;
    }
    return count;
}

int darkPixels(const QImage &image)
{
    return pixelsOf(image, Qt::black);
}

} // namespace

TEST(RunChart, DrawsEveryLabelInItsColourAtEachPixelRatio)
{
    const QSize size(360, 345);
    int countAtOne[2] = {};
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage image = widgets::renderRunChart(twoLabels(), size, ratio, QFont());
        EXPECT_EQ(image.size(), size * ratio);
        EXPECT_EQ(image.devicePixelRatio(), ratio);
        for (int label = 0; label < 2; ++label) {
            const int count = pixelsOf(image, widgets::seriesColour(label));
            EXPECT_GT(count, 0) << "label " << label << " at " << ratio;
            if (ratio == 1.0)
                countAtOne[label] = count;
            else // drawn anew with four times the pixels, not one picture stretched
                EXPECT_GT(count, 3 * countAtOne[label]) << label;
        }
        EXPECT_GT(darkPixels(image), 0); // axes and numbers
    }
}

TEST(RunChart, ColoursDifferPerLabelAndRepeatOnlyAfterThePalette)
{
    for (int i = 0; i < 7; ++i)
        for (int j = i + 1; j < 7; ++j)
            EXPECT_NE(widgets::seriesColour(i), widgets::seriesColour(j)) << i << " " << j;
    EXPECT_EQ(widgets::seriesColour(7), widgets::seriesColour(0));
    EXPECT_EQ(widgets::seriesColour(-1), widgets::seriesColour(6));
}

// Shapes of data that have no spread or no range must still give a picture.
TEST(RunChart, DegenerateDataStillDraws)
{
    ChartData one = twoLabels();
    for (ChartPanel &panel : one.panels) {
        panel.series.resize(1);
        panel.series[0].points.resize(1);
        panel.series[0].deviation.reset();
    }
    ChartData equal = twoLabels();
    for (ChartPanel &panel : equal.panels)
        for (ChartSeries &s : panel.series) {
            for (QPointF &p : s.points)
                p.setY(0.5);
            s.mean = 0.5;
            s.deviation = 0;
        }
    ChartData many = twoLabels();
    many.runCount = 10000;
    ChartData tiny = twoLabels();
    const struct
    {
        ChartData data;
        QSize size;
        bool plotted; // too small a widget draws no plot, but must not fail
    } rows[] = {{one, {360, 345}, true},
                {equal, {360, 345}, true},
                {many, {360, 345}, true},
                {tiny, {40, 30}, false}};
    for (const auto &row : rows) {
        const QImage image = widgets::renderRunChart(row.data, row.size, 1, QFont());
        EXPECT_EQ(image.size(), row.size);
        EXPECT_EQ(pixelsOf(image, widgets::seriesColour(0)) > 0, row.plotted) << row.size.width();
    }

    ChartData empty;
    empty.emptyText = QStringLiteral("Keine Messungen");
    const QImage image = widgets::renderRunChart(empty, QSize(360, 345), 1, QFont());
    EXPECT_GT(darkPixels(image), 0);
    EXPECT_EQ(pixelsOf(image, widgets::seriesColour(0)), 0);
}

TEST(RunChart, TheWidgetShowsItsDataAndSaysWhatItShows)
{
    widgets::RunChart chart;
    chart.resize(chart.sizeHint());
    EXPECT_EQ(chart.accessibleName(), QStringLiteral("Diagramm"));
    chart.setData(twoLabels());
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    EXPECT_EQ(chart.accessibleDescription(), QStringLiteral("Zwei Bezeichnungen"));
    const QImage shown = chart.grab().toImage();
    EXPECT_GT(pixelsOf(shown, widgets::seriesColour(1)), 0);

    // New data is drawn in the next paint.
    ChartData other = twoLabels();
    other.panels[0].series.removeLast();
    other.panels[1].series.removeLast();
    chart.setData(other);
    EXPECT_EQ(pixelsOf(chart.grab().toImage(), widgets::seriesColour(1)), 0);
}

// Eleven labels: the legend keeps to the right of the caption (those that do not fit are
// counted) and never runs over the caption or the value axis; a value that is no number
// is left out of the plot.
TEST(RunChart, ALongLegendStaysRightOfTheCaption)
{
    ChartData eleven = twoLabels();
    eleven.panels.resize(1);
    eleven.panels[0].series[0].points << QPointF(2, std::nan(""));
    const ChartSeries first = eleven.panels[0].series[0];
    for (int i = 2; i < 11; ++i) {
        ChartSeries s = first;
        s.label = QStringLiteral("Wagen %1 mit Ladung").arg(i + 1);
        s.colour = widgets::seriesColour(i);
        eleven.panels[0].series << s;
    }
    ChartData one = eleven;
    one.panels[0].series.resize(1);
    for (const QSize size : {QSize(360, 345), QSize(900, 400)}) {
        const QImage many = widgets::renderRunChart(eleven, size, 1, QFont());
        const QImage single = widgets::renderRunChart(one, size, 1, QFont());
        const QFontMetricsF metrics{QFont()};
        const double pad = metrics.height() / 3;
        const QRect strip(0, 0, int(pad + metrics.horizontalAdvance(eleven.panels[0].caption) +
                                    metrics.height() / 2),
                          int(pad + metrics.height() * 1.2));
        EXPECT_EQ(many.copy(strip), single.copy(strip)) << size.width();
        EXPECT_GT(pixelsOf(many, widgets::seriesColour(0)), 0);
    }
}

TF_QT_TEST_MAIN
