#pragma once

#include "protocol/Run.h"
#include "session/Series.h"
#include "session/SessionAnalysis.h"
#include "protocol/Statistics.h"
#include "widgets/RunChart.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>

#include <optional>
#include <span>

class QPainter;
class QPrinter;

namespace platform {
class Locale;
}

namespace app {

// The chart of the given rows of the protocol: speed and time per run, one colour per
// label in the order the labels first appear, each label's mean and standard deviation.
widgets::ChartData chartData(std::span<const protocol::Run> runs, std::span<const qsizetype> rows,
                             QChar decimalSeparator);
// The same with the statistics of the series at hand: one line of points per series.
widgets::ChartData chartData(std::span<const protocol::Run> runs, const session::StatisticsView &view,
                             QChar decimalSeparator);
// The statistics of the series the rows fall into.
session::StatisticsView statisticsView(std::span<const protocol::Run> runs,
                                       std::span<const qsizetype> rows, QChar decimalSeparator);

// What one report page shows: the runs and statistics over the chosen rows, and when it
// was made.
struct ReportContent
{
    QList<protocol::Run> runs;
    QList<qsizetype> rows; // into runs; the statistics' subset
    QDateTime made;
    // The session's texts, on the first page where given.
    QString title;
    QString className;
    QString notes;
    // A second page "Auswertung" where there are series to analyse.
    std::optional<session::SessionAnalysis> analysis;
};

inline constexpr char ReportTitle[] = "Tachoflux – Messprotokoll";
inline constexpr char ReportEmptyText[] = "Keine Messungen";

// Draws the page into `page` (the printable area in the painter's device units): title,
// date, distances, the statistics per label, the chart and as many runs as fit. Dates and
// numbers follow `locale`. PDF and printer both come here.
void paintReport(QPainter &painter, const QRectF &page, const ReportContent &content,
                 const platform::Locale &locale);

// The second page: the plot of the analysis, the series table, the fit and the result.
void paintAnalysisPage(QPainter &painter, const QRectF &page,
                       const session::SessionAnalysis &analysis, const platform::Locale &locale);
// The pages as an A4 PDF: the runs, and the analysis where the content has one.
QByteArray reportPdf(const ReportContent &content, const platform::Locale &locale);

// Writes the PDF to `path` through writeFileReplacing: a failure throws the German file
// error and leaves an old file as it was.
void writeReport(const QString &path, const ReportContent &content, const platform::Locale &locale);

void printReport(QPrinter &printer, const ReportContent &content, const platform::Locale &locale);

// True when the name chosen in the save dialog asks for the report.
bool isReportFileName(const QString &path);

} // namespace app
