#include "app/RunReport.h"
#include "app/StatisticsStrip.h"
#include "platform/Errors.h"
#include "support/FixedLocale.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

protocol::Run run(std::optional<timing::Ticks> ticks, long double meters, const char *label)
{
    protocol::Run r;
    r.date = {2026, 12, 7};
    r.time = {10, 15, 30};
    r.ticks = ticks;
    r.meters = meters;
    r.label = QString::fromUtf8(label);
    return r;
}

// Five runs in two labels: "Wagen A" averages 0,8003 s, "Wagen B" 1,2010 s.
QList<protocol::Run> fiveRuns()
{
    return {run(8000, 0.15L, "Wagen A"), run(12000, 0.3L, "Wagen B"), run(8006, 0.15L, "Wagen A"),
            run(12020, 0.3L, "Wagen B"), run(8003, 0.15L, "Wagen A")};
}

QList<qsizetype> all(const QList<protocol::Run> &runs)
{
    return protocol::statisticsRows({}, runs.size());
}

const QDateTime Made{QDate(2026, 12, 7), QTime(11, 0, 5)};

platform::FixedLocale german()
{
    return {u',', u'.', QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss")};
}

// The text poppler finds in the PDF, and its page count.
struct PdfText
{
    QString text;
    int pages = 0;
};

PdfText readPdf(const QString &path)
{
    PdfText result;
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!text.waitForFinished(60000) || text.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext (poppler-utils, see scripts/install-deps.sh) failed: "
                      << text.errorString().toStdString();
        return result;
    }
    result.text = QString::fromUtf8(text.readAllStandardOutput());
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {path});
    info.waitForFinished(60000);
    for (const QString &line : QString::fromUtf8(info.readAllStandardOutput()).split(u'\n'))
        if (line.startsWith(u"Pages:"))
            result.pages = line.mid(6).trimmed().toInt();
    return result;
}

class Report : public ::testing::Test
{
protected:
    QString write(const app::ReportContent &content, const platform::Locale &locale)
    {
        const QString path = dir.filePath(QStringLiteral("bericht.pdf"));
        app::writeReport(path, content, locale);
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(Report, APageHoldsTitleStatisticsAndRunsInTheLocalesFormat)
{
    const struct
    {
        platform::FixedLocale locale;
        QStringList expected;
    } rows[] = {
        {german(),
         {"Tachoflux – Messprotokoll", "Erstellt am 07.12.2026, 11:00:05", "5 Messungen",
          "Entfernung: 0,150 m, 0,300 m", "Mittelwert", "Standardabweichung", "Standardfehler",
          "Wagen A", "Wagen B", "0,8003", "1,2010", "07.12.2026/10:15:30", "00:01.2020",
          "0,250 m/s", "Diagramm", "Geschwindigkeit in m/s", "Zeit in s"}},
        {platform::FixedLocale(u'.', u',', QStringLiteral("MM/dd/yy"), QStringLiteral("h:mm:ss AP")),
         {"Erstellt am 12/07/26, 11:00:05 AM", "0.8003", "1.2010", "0.150 m"}},
    };
    for (const auto &row : rows) {
        const PdfText pdf = readPdf(write({fiveRuns(), all(fiveRuns()), Made}, row.locale));
        EXPECT_EQ(pdf.pages, 1);
        for (const QString &part : row.expected)
            EXPECT_TRUE(pdf.text.contains(part)) << part.toStdString() << "\n" << pdf.text.toStdString();
    }
}

TEST_F(Report, AModesRunsCarryTheirFurtherColumns)
{
    QList<protocol::Run> runs = fiveRuns();
    runs[1].extra = {{"Schranke", "", 2, 0, 0}, {"v", "m/s", 0.5L, 0.002L, 3}};
    const PdfText pdf = readPdf(write({runs, all(runs), Made}, german()));
    for (const char *part : {"Schranke", "v (m/s)", "0,500±0,002 m/s"})
        EXPECT_TRUE(pdf.text.contains(QString::fromUtf8(part))) << part << "\n"
                                                                << pdf.text.toStdString();
}

TEST_F(Report, AnEmptyProtocolSaysSoAndNothingElse)
{
    const PdfText pdf = readPdf(write({{}, {}, Made}, german()));
    EXPECT_EQ(pdf.pages, 1);
    EXPECT_TRUE(pdf.text.contains(u"Keine Messungen"));
    EXPECT_TRUE(pdf.text.contains(u"Tachoflux – Messprotokoll"));
    EXPECT_FALSE(pdf.text.contains(u"Mittelwert"));
}

// A selection is reported as such; a protocol longer than the page keeps to one page and
// says how many runs it left out.
TEST_F(Report, ASelectionOrALongProtocolStillFitsOnePage)
{
    const QList<protocol::Run> five = fiveRuns();
    const PdfText chosen = readPdf(write({five, {1, 3}, Made}, german()));
    EXPECT_TRUE(chosen.text.contains(u"2 Messungen")) << chosen.text.toStdString();
    EXPECT_TRUE(chosen.text.contains(u"(Auswahl aus 5 Messungen)"));
    EXPECT_FALSE(chosen.text.contains(u"Wagen A"));

    QList<protocol::Run> many;
    for (int i = 0; i < 300; ++i)
        many << run(8000 + i, 0.15L, i % 2 ? "Wagen A" : "Wagen B");
    const PdfText pdf = readPdf(write({many, all(many), Made}, german()));
    EXPECT_EQ(pdf.pages, 1);
    EXPECT_TRUE(pdf.text.contains(u"300 Messungen"));
    EXPECT_TRUE(pdf.text.contains(u"weitere Messungen (vollständig im CSV-Export)"));
}

TEST_F(Report, AFailedWriteKeepsTheOldFileAndGivesTheFileError)
{
    const QString path = dir.filePath(QStringLiteral("alt.pdf"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old report");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    try {
        app::writeReport(path, {fiveRuns(), all(fiveRuns()), Made}, german());
        ADD_FAILURE() << "a write-protected file was replaced";
    } catch (const platform::EInOutError &e) {
        EXPECT_EQ(e.errorCode(), 5);
        EXPECT_EQ(e.message(), QStringLiteral("File access denied"));
    }
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old report");

    EXPECT_THROW(app::writeReport(dir.filePath(QStringLiteral("fehlt/bericht.pdf")),
                                  {fiveRuns(), all(fiveRuns()), Made}, german()),
                 platform::EInOutError);
}

TEST(ReportFileName, PdfEndingChoosesTheReport)
{
    for (const char *name : {"a.pdf", "A.PDF", "/tmp/x.Pdf"})
        EXPECT_TRUE(app::isReportFileName(QString::fromUtf8(name))) << name;
    for (const char *name : {"a.txt", "a.csv", "pdf", "a.pdf.txt"})
        EXPECT_FALSE(app::isReportFileName(QString::fromUtf8(name))) << name;
}

TEST(ChartData, OneSeriesPerLabelWithItsRunsMeanAndSpread)
{
    QList<protocol::Run> runs = fiveRuns();
    runs << run(std::nullopt, 0.15L, "Wagen A") << run(9000, 0.15L, "");
    const widgets::ChartData data = app::chartData(runs, all(runs), u',');
    EXPECT_EQ(data.runCount, 7);
    ASSERT_EQ(data.panels.size(), 2);
    EXPECT_EQ(data.panels[0].caption, QStringLiteral("Geschwindigkeit in m/s"));
    EXPECT_EQ(data.panels[1].caption, QStringLiteral("Zeit in s"));

    const struct
    {
        QString label;
        QList<double> runNumbers;
        double meanTime;
        bool spread;
    } expected[] = {
        // Two distances: each series is named by its setting too.
        {"Wagen A (s = 0,150 m)", {1, 3, 5}, 0.8003, true}, // the run without a time has no point
        {"Wagen B (s = 0,300 m)", {2, 4}, 1.201, true},
        {"s = 0,150 m", {7}, 0.9, false},
    };
    for (const widgets::ChartPanel &panel : data.panels) {
        ASSERT_EQ(panel.series.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const widgets::ChartSeries &s = panel.series[i];
            EXPECT_EQ(s.label, expected[i].label);
            EXPECT_EQ(s.colour, widgets::seriesColour(i));
            QList<double> numbers;
            for (const QPointF &p : s.points)
                numbers << p.x();
            EXPECT_EQ(numbers, expected[i].runNumbers) << i;
            EXPECT_EQ(s.deviation.has_value(), expected[i].spread) << i;
        }
    }
    EXPECT_NEAR(*data.panels[1].series[0].mean, 0.8003, 1e-12);
    EXPECT_NEAR(*data.panels[1].series[1].mean, 1.201, 1e-12);
    EXPECT_NEAR(*data.panels[0].series[1].mean, (0.3 / 1.2 + 0.3 / 1.202) / 2, 1e-12);
    EXPECT_TRUE(data.description.contains(u"Wagen B (s = 0,300 m): 2 Messungen"));
    EXPECT_TRUE(data.description.contains(u"Mittelwert der Zeit 0,8003 s"));

    // A selection plots its own runs at their places in the protocol.
    const widgets::ChartData chosen = app::chartData(runs, QList<qsizetype>{1, 3}, u',');
    ASSERT_EQ(chosen.panels[0].series.size(), 1);
    EXPECT_EQ(chosen.panels[0].series[0].points.size(), 2);
    EXPECT_EQ(chosen.panels[0].series[0].points[1].x(), 4);
    EXPECT_TRUE(app::chartData(runs, QList<qsizetype>{}, u',').panels.isEmpty());
}

TEST(StatisticsStrip, ShowsOneLinePerGroupAndNothingForNoRuns)
{
    app::StatisticsStrip strip;
    const QList<protocol::Run> runs = fiveRuns();
    strip.showStatistics(protocol::statisticsByLabel(runs, all(runs)), u',');
    const QList<QStringList> cells = strip.cellTexts();
    ASSERT_EQ(cells.size(), 3);
    EXPECT_EQ(cells[0].mid(0, 3), (QStringList{"Alle", "5", "0,9606"}));
    EXPECT_EQ(cells[1].mid(0, 3), (QStringList{"Wagen A", "3", "0,8003"}));
    EXPECT_EQ(cells[2].mid(0, 3), (QStringList{"Wagen B", "2", "1,2010"}));
    EXPECT_TRUE(strip.accessibleDescription().contains(u"Alle: 5 Messungen"));
    EXPECT_EQ(strip.horizontalHeaderItem(2)->toolTip(), QStringLiteral("Mittelwert der Zeit in s"));

    strip.showStatistics({}, u',');
    EXPECT_EQ(strip.rowCount(), 0);
    EXPECT_TRUE(strip.accessibleDescription().isEmpty());
}

TF_QT_TEST_MAIN
