#include "app/RunReport.h"

#include "app/AnalysisPlot.h"
#include "platform/Locale.h"
#include "protocol/AnalysisTexts.h"
#include "widgets/FitPlot.h"
#include "protocol/ExportFile.h"
#include "protocol/ModeRuns.h"
#include "protocol/NumberFormat.h"
#include "timing/TimeBase.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

namespace app {

namespace {

QString caption(const protocol::Run &run, const platform::Locale &locale)
{
    return locale.shortDate(run.date) + u'/' + locale.longTime(run.time);
}

// Time, distance and speed as the protocol list shows them.
QStringList valueTexts(const protocol::Run &run, QChar separator)
{
    if (!run.ticks || *run.ticks <= 0)
        return {QStringLiteral("???"), QStringLiteral("???"), QStringLiteral("???")};
    return {timing::TicksToStr(*run.ticks) + (run.late ? QStringLiteral("*") : QString()),
            protocol::formatFixed3(run.meters, separator) + QStringLiteral(" m"),
            run.speed() ? protocol::formatFixed3(*run.speed(), separator) + QStringLiteral(" m/s")
                        : QStringLiteral("–")};
}

QFont reportFont(qreal points, bool bold = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A table of cells in columns of the given shares of `width`; returns the height used.
// The first `leftColumns` are left-aligned, the others right-aligned, like the list.
// The first row is the header.
// A page's heading in the report's large type, on the page's first line; returns the
// line's height.
double paintHeading(QPainter &p, const QRectF &page, const QString &text)
{
    p.setFont(reportFont(16, true));
    const double height = QFontMetricsF(p.font()).height() * 1.2;
    p.drawText(QRectF(page.left(), page.top(), page.width(), height),
               Qt::AlignLeft | Qt::AlignVCenter, text);
    return height;
}

double paintTable(QPainter &p, QPointF at, double width, const QList<double> &shares,
                  int leftColumns, const QList<QStringList> &rows, double rowHeight)
{
    double total = 0;
    for (const double s : shares)
        total += s;
    const double pad = rowHeight / 5;
    double y = at.y();
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QFont font = p.font();
        font.setBold(r == 0);
        p.setFont(font);
        double x = at.x();
        for (qsizetype c = 0; c < shares.size() && c < rows[r].size(); ++c) {
            const double w = width * shares[c] / total;
            const Qt::Alignment align =
                (c < leftColumns ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
            p.drawText(QRectF(x + pad, y, w - 2 * pad, rowHeight), align, rows[r][c]);
            x += w;
        }
        y += rowHeight;
        p.setPen(QPen(r == 0 ? Qt::black : QColor(0xc0, 0xc0, 0xc0), 0));
        p.drawLine(QPointF(at.x(), y), QPointF(at.x() + width, y));
        p.setPen(Qt::black);
    }
    QFont font = p.font();
    font.setBold(false);
    p.setFont(font);
    return y - at.y();
}

// The session's title, class and notes under the report's title; returns the height used.
double paintTexts(QPainter &p, const QRectF &box, const ReportContent &content, double mm)
{
    double y = box.top();
    if (!content.title.isEmpty()) {
        p.setFont(reportFont(13, true));
        QRectF used;
        p.drawText(QRectF(box.left(), y, box.width(), box.height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, content.title, &used);
        y += used.height() + 1 * mm;
    }
    p.setFont(reportFont(10));
    if (!content.className.isEmpty()) {
        QRectF used;
        p.drawText(QRectF(box.left(), y, box.width(), std::max(0.0, box.bottom() - y)),
                   Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Klasse: ") + content.className, &used);
        y += used.height() + 1 * mm;
    }
    if (!content.notes.isEmpty()) {
        QRectF used;
        p.drawText(QRectF(box.left(), y, box.width(), std::max(0.0, box.bottom() - y)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, content.notes, &used);
        y += used.height() + 1 * mm;
    }
    return y > box.top() ? y - box.top() + 2 * mm : 0;
}

// Both pages, into a painter on a paged device.
template <typename Device>
void paintPages(QPainter &painter, Device &device, const ReportContent &content,
                const platform::Locale &locale)
{
    const QRect area = device.pageLayout().paintRectPixels(device.resolution());
    const QRectF page(0, 0, area.width(), area.height());
    paintReport(painter, page, content, locale);
    if (content.analysis && !content.analysis->keys.isEmpty()) {
        device.newPage();
        paintAnalysisPage(painter, page, *content.analysis, locale);
    }
}

} // namespace

widgets::ChartData chartData(std::span<const protocol::Run> runs, const session::StatisticsView &view,
                             QChar decimalSeparator)
{
    widgets::ChartData data;
    data.decimalSeparator = decimalSeparator;
    data.emptyText = QString::fromUtf8(ReportEmptyText);
    if (view.series.isEmpty())
        return data;
    widgets::ChartPanel speed{QStringLiteral("Geschwindigkeit in m/s"), {}};
    widgets::ChartPanel time{QStringLiteral("Zeit in s"), {}};
    for (const session::SeriesStatistics &one : view.series) {
        const protocol::RunStatistics &group = one.statistics;
        const QString name = group.label.isEmpty() ? QStringLiteral("ohne Bezeichnung") : group.label;
        widgets::ChartSeries t{name, widgets::seriesColour(int(time.series.size())), {}, {}, {}};
        widgets::ChartSeries v = t;
        t.points.reserve(one.rows.size());
        for (const qsizetype r : one.rows) {
            const protocol::Run &run = runs[std::size_t(r)];
            data.runCount = std::max(data.runCount, int(r) + 1);
            if (!run.ticks || *run.ticks <= 0)
                continue;
            // A picture needs no more than double precision, and is drawn after every run.
            const double seconds = double(timing::secondsOf(static_cast<long double>(*run.ticks)));
            t.points.append(QPointF(double(r + 1), seconds));
            if (const std::optional<long double> speedOf = run.speed())
                v.points.append(QPointF(double(r + 1), double(*speedOf)));
        }
        const auto apply = [](widgets::ChartSeries &s, const protocol::Spread &spread) {
            if (spread.count > 0)
                s.mean = double(spread.mean);
            if (spread.deviation)
                s.deviation = double(*spread.deviation);
        };
        apply(t, group.time);
        apply(v, group.speed);
        time.series << t;
        speed.series << v;
    }
    data.panels << speed << time;
    data.description = QStringLiteral("Geschwindigkeit und Zeit je Messung, Mittelwert und "
                                      "Standardabweichung als Linie und Band. ")
                       + protocol::statisticsSummary(view.groups(), decimalSeparator);
    return data;
}

session::StatisticsView statisticsView(std::span<const protocol::Run> runs,
                                       std::span<const qsizetype> rows, QChar decimalSeparator)
{
    const QList<protocol::Run> list(runs.begin(), runs.end());
    return session::statisticsView(list, session::seriesOf(list), rows, decimalSeparator);
}

widgets::ChartData chartData(std::span<const protocol::Run> runs, std::span<const qsizetype> rows,
                             QChar decimalSeparator)
{
    return chartData(runs, statisticsView(runs, rows, decimalSeparator), decimalSeparator);
}

void paintAnalysisPage(QPainter &p, const QRectF &page, const session::SessionAnalysis &analysis,
                       const platform::Locale &locale)
{
    const QChar separator = locale.decimalSeparator();
    const double mm = p.device()->logicalDpiY() / 25.4;
    p.save();
    p.setPen(Qt::black);
    double y = page.top();
    const double titleHeight = paintHeading(
        p, page, QStringLiteral("Auswertung: ") + analysis::pairText(analysis.pair).title);
    y += titleHeight + 2 * mm;

    p.setFont(reportFont(9));
    const double plotHeight = std::min(120 * mm, page.height() / 2);
    widgets::paintFitPlot(p, QRectF(page.left(), y, page.width(), plotHeight),
                          analysisPlot(analysis.analysis, separator));
    y += plotHeight + 4 * mm;

    // The fit and the result, one line each; the equation and the result in bold.
    const QStringList summary = analysis.summary(separator);
    const QString result =
        analysis.analysis.derived ? analysis.analysis.derived->symbol + QStringLiteral(" = ") : QString();
    for (qsizetype i = 0; i < summary.size(); ++i) {
        p.setFont(reportFont(10, i == 0 || (!result.isEmpty() && summary[i].startsWith(result))));
        const double line = QFontMetricsF(p.font()).height() * 1.3;
        QRectF used;
        p.drawText(QRectF(page.left(), y, page.width(), 3 * line),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, summary[i], &used);
        y += std::max(used.height(), line);
    }
    y += 3 * mm;

    p.setFont(reportFont(11, true));
    const double line = QFontMetricsF(p.font()).height() * 1.3;
    p.drawText(QRectF(page.left(), y, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Messreihen"));
    y += line;
    p.setFont(reportFont(9));
    QList<QStringList> cells{analysis.captions()};
    cells << analysis.rows(separator);
    const double rowHeight = QFontMetricsF(p.font()).height() * 1.45;
    paintTable(p, QPointF(page.left(), y), page.width(), {1.2, 0.6, 1.4, 1.2, 1.2}, 0, cells,
               rowHeight);
    p.restore();
}

void paintReport(QPainter &p, const QRectF &page, const ReportContent &content,
                 const platform::Locale &locale)
{
    const QChar separator = locale.decimalSeparator();
    const double mm = p.device()->logicalDpiY() / 25.4;
    p.save();
    p.setPen(Qt::black);
    double y = page.top();

    const double titleHeight = paintHeading(p, page, QString::fromUtf8(ReportTitle));
    p.setFont(reportFont(9));
    p.drawText(QRectF(page.left(), y, page.width(), titleHeight), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Erstellt am ") + locale.shortDate(content.made.date()) + QStringLiteral(", ")
                   + locale.longTime(content.made.time()));
    y += titleHeight + 2 * mm;
    y += paintTexts(p, QRectF(page.left(), y, page.width(), page.height() / 4), content, mm);

    // Over the chosen rows: the ones the statistics cover.
    QList<qsizetype> rows;
    for (const qsizetype r : content.rows)
        if (r >= 0 && r < content.runs.size())
            rows << r;

    p.setFont(reportFont(10));
    const double line = QFontMetricsF(p.font()).height() * 1.3;
    if (rows.isEmpty()) {
        p.setFont(reportFont(14));
        p.drawText(QRectF(page.left(), y + 20 * mm, page.width(), 20 * mm), Qt::AlignCenter,
                   QString::fromUtf8(ReportEmptyText));
        p.restore();
        return;
    }

    QStringList distances;
    for (const qsizetype r : rows) {
        const QString d =
            protocol::formatFixed3(content.runs[r].meters, separator) + QStringLiteral(" m");
        if (!distances.contains(d))
            distances << d;
    }
    const QString count = rows.size() == 1 ? QStringLiteral("1 Messung")
                                           : QStringLiteral("%1 Messungen").arg(rows.size());
    QString facts = count + QStringLiteral("   Entfernung: ") + distances.join(QStringLiteral(", "));
    if (rows.size() < content.runs.size())
        facts += QStringLiteral("   (Auswahl aus %1 Messungen)").arg(content.runs.size());
    p.drawText(QRectF(page.left(), y, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter, facts);
    y += line + 3 * mm;

    const auto heading = [&](const QString &text) {
        p.setFont(reportFont(11, true));
        const double h = QFontMetricsF(p.font()).height() * 1.3;
        p.drawText(QRectF(page.left(), y, page.width(), h), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += h;
    };

    // Statistics per label.
    heading(QStringLiteral("Statistik"));
    const session::StatisticsView view = statisticsView(content.runs, rows, separator);
    const QList<protocol::RunStatistics> groups = view.groups();
    const protocol::StatisticsTable table = protocol::statisticsTable(groups, separator);
    QList<QStringList> cells{table.captions};
    cells << table.rows;
    p.setFont(reportFont(7.5));
    const double cellHeight = QFontMetricsF(p.font()).height() * 1.45;
    QList<double> shares{1.6, 0.8};
    for (int i = 0; i < 10; ++i)
        shares << 1.0;
    y += paintTable(p, QPointF(page.left(), y), page.width(), shares, 1, cells, cellHeight);
    p.setFont(reportFont(7.5));
    const QString legend = QStringLiteral(
        "\u00D8: Mittelwert;  s: Standardabweichung der Stichprobe;  s/\u221An: Standardfehler "
        "des Mittelwerts;  n: Messungen mit Zeit, in Klammern die "
        "ohne gültige Zeit (nicht gemittelt);  Zeiten in s, Geschwindigkeiten in m/s.");
    const QRectF legendBox(page.left(), y + 1 * mm, page.width(), 3 * cellHeight);
    QRectF used;
    p.drawText(legendBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, legend, &used);
    y += used.height() + 4 * mm;

    // The chart.
    heading(QStringLiteral("Diagramm"));
    p.setFont(reportFont(8));
    const double chartHeight = std::min(95 * mm, (page.bottom() - y) / 2);
    paintRunChart(p, QRectF(page.left(), y, page.width(), chartHeight),
                  chartData(content.runs, rows, separator));
    y += chartHeight + 4 * mm;

    // The runs, as many as the page holds.
    heading(QStringLiteral("Messungen"));
    p.setFont(reportFont(8));
    const double runHeight = QFontMetricsF(p.font()).height() * 1.4;
    const qsizetype fit =
        std::max<qsizetype>(0, qsizetype((page.bottom() - y) / runHeight) - 2);
    const qsizetype shown = rows.size() <= fit + 1 ? rows.size() : fit;
    QList<QStringList> runRows{{QStringLiteral("Nr."), QStringLiteral("Datum/Zeit"),
                                QStringLiteral("Bezeichnung"), QStringLiteral("Stoppuhrzeit"),
                                QStringLiteral("Entfernung"), QStringLiteral("Geschwindigkeit")}};
    QList<double> runShares{0.5, 1.9, 1.6, 1.1, 1.0, 1.3};
    // A measurement mode's further values follow, as in the export.
    QList<protocol::Run> shownRuns;
    for (qsizetype i = 0; i < shown; ++i)
        shownRuns << content.runs[rows[i]];
    const QList<protocol::CsvExtraColumn> extra = protocol::extraColumns(shownRuns);
    for (const protocol::CsvExtraColumn &c : extra) {
        runRows[0] << protocol::columnCaption(c);
        runShares << 1.3;
    }
    for (qsizetype i = 0; i < shown; ++i) {
        const protocol::Run &run = shownRuns[i];
        QStringList rowCells{QString::number(rows[i] + 1), caption(run, locale), run.label};
        rowCells += valueTexts(run, separator);
        for (const protocol::CsvExtraColumn &c : extra)
            rowCells << protocol::cellText(run, c, separator);
        runRows << rowCells;
    }
    y += paintTable(p, QPointF(page.left(), y), page.width(), runShares, 3, runRows, runHeight);
    if (shown < rows.size())
        p.drawText(QRectF(page.left(), y, page.width(), runHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("… und %1 weitere Messungen (vollständig im CSV-Export)")
                       .arg(rows.size() - shown));
    p.restore();
}

QByteArray reportPdf(const ReportContent &content, const platform::Locale &locale)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QString::fromUtf8(ReportTitle));
        writer.setCreator(QStringLiteral("Tachoflux"));
        QPainter painter(&writer);
        paintPages(painter, writer, content, locale);
    }
    return bytes;
}

void writeReport(const QString &path, const ReportContent &content, const platform::Locale &locale)
{
    protocol::writeFileReplacing(path, reportPdf(content, locale));
}

void printReport(QPrinter &printer, const ReportContent &content, const platform::Locale &locale)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QString::fromUtf8(ReportTitle));
    QPainter painter(&printer);
    paintPages(painter, printer, content, locale);
}

bool isReportFileName(const QString &path)
{
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

} // namespace app
