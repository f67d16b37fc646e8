#include "app/AnalysisCommands.h"
#include "app/AnalysisWindow.h"
#include "platform/Locale.h"
#include "session/SessionFile.h"
#include "widgets/FitPlot.h"

#include "support/FakeLines.h"

#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cmath>

namespace {

using timing::MeasurementMode;

// A cart from rest at a = 0,5 m/s², five runs at each of s = 0,25 / 0,50 / 1,00 m.
QList<protocol::Run> inclinedPlane()
{
    QList<protocol::Run> runs;
    for (const double s : {0.25, 0.5, 1.0}) {
        for (int i = 0; i < 5; ++i) {
            protocol::Run r;
            r.date = QDate(2026, 12, 7);
            r.time = QTime(10, 0).addSecs(int(runs.size()));
            r.mode = MeasurementMode::BetweenBarriers;
            r.meters = s;
            r.label = QStringLiteral("Wagen");
            r.ticks = std::llround((std::sqrt(2 * s / 0.5) + (i - 2) * 6e-4 * (1 + s)) * 10000);
            runs << r;
        }
    }
    return runs;
}

// The window follows the session, offers the mode's pairs and keeps the report's texts in
// the session.
TEST(AnalysisWindow, FollowsTheSessionAndKeepsTheTexts)
{
    FakeLines lines;
    session::Session session(lines);
    app::AnalysisWindow window(session);
    window.show();
    auto *summary = window.findChild<QLabel *>(QStringLiteral("lblSummary"));
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tblSeries"));
    auto *pairs = window.findChild<QComboBox *>(QStringLiteral("cmbPair"));
    auto *model = window.findChild<QComboBox *>(QStringLiteral("cmbModel"));
    ASSERT_TRUE(summary && table && pairs && model);
    EXPECT_TRUE(summary->text().contains(QStringLiteral("Keine Messreihen")));
    EXPECT_EQ(pairs->count(), 3); // t über s, t² über s, s über t

    session.runs().replace(inclinedPlane());
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("s (m)"));
    pairs->setCurrentIndex(1);
    model->setCurrentIndex(1);
    EXPECT_EQ(window.current().pair, analysis::Pair::TimeSquaredOverDistance);
    EXPECT_EQ(window.current().model, analysis::Model::Linear);
    ASSERT_TRUE(window.current().fitted());
    const QChar separator = platform::locale().decimalSeparator();
    EXPECT_TRUE(summary->text().contains(QStringLiteral("a = (0") + separator + QStringLiteral("50")))
        << summary->text().toStdString();
    const widgets::FitPlotData &plot =
        window.findChild<widgets::FitPlot *>(QStringLiteral("plotAnalysis"))->data();
    EXPECT_EQ(plot.points.size(), 3);
    EXPECT_TRUE(plot.line.has_value());

    window.setModeIndex(int(MeasurementMode::Pendulum));
    EXPECT_EQ(pairs->itemText(0), QStringLiteral("T über l"));
    EXPECT_EQ(table->rowCount(), 0);

    auto *title = window.findChild<QLineEdit *>(QStringLiteral("edtReportTitle"));
    title->setFocus();
    title->insert(QStringLiteral("Schiefe Ebene"));
    EXPECT_EQ(session.texts().title, QStringLiteral("Schiefe Ebene"));
    session.setTexts(QStringLiteral("Anders"), QStringLiteral("10b"), QString());
    EXPECT_EQ(window.findChild<QLineEdit *>(QStringLiteral("edtReportClass"))->text(),
              QStringLiteral("10b"));
    EXPECT_EQ(title->text(), QStringLiteral("Anders"));

    // The picture a user sees, where asked for one.
    if (const QByteArray shot = qgetenv("TF_ANALYSIS_SHOT"); !shot.isEmpty()) {
        window.setModeIndex(0);
        pairs->setCurrentIndex(1);
        QApplication::processEvents();
        window.grab().save(QString::fromLocal8Bit(shot));
    }
}

// The menu offers v(t) only on a picket fence row, and the pass's chart opens from it.
TEST(AnalysisWindow, APassChartFromThePicketFenceRow)
{
    FakeLines lines;
    session::Session session(lines);
    QWidget main;
    QMenu menu;
    int row = 0;
    app::AnalysisCommands commands(&main, &menu, session, [&row] { return row; });
    protocol::Run pass;
    pass.mode = MeasurementMode::PicketFence;
    pass.ticks = 5000;
    pass.meters = 0.45L;
    pass.speeds = {{0.05, 0.30}, {0.15, 0.35}, {0.25, 0.40}};
    session.runs().replace({inclinedPlane().first(), pass});
    QAction *chart = main.findChild<QAction *>(QStringLiteral("PassChart1"));
    ASSERT_TRUE(chart);
    const struct
    {
        int row;
        bool visible;
    } cases[] = {{0, false}, {1, true}, {-1, false}};
    for (const auto &c : cases) {
        row = c.row;
        emit menu.aboutToShow();
        EXPECT_EQ(chart->isVisible(), c.visible) << c.row;
    }
    QWidget *window = commands.showPass(pass);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->findChild<widgets::FitPlot *>()->data().points.size(), 3);
    EXPECT_FALSE(commands.showPass(inclinedPlane().first()));
    EXPECT_TRUE(commands.showAnalysis()->isVisible());
}

struct Outcome
{
    int code = -1;
    QString err;
};

Outcome report(const QStringList &arguments, const QString &dataHome)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TACHOFLUX_PROGRAM), arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The real program writes the report of a session file without a window, or says in
// German why not.
TEST(ReportCommand, WritesTheSessionsReportWithoutAWindow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    session::SessionData data;
    data.created = QDateTime(QDate(2026, 12, 7), QTime(10, 0));
    data.title = QStringLiteral("Schiefe Ebene");
    data.className = QStringLiteral("10b");
    data.notes = QStringLiteral("Wagen aus der Ruhe losgelassen");
    data.runs = inclinedPlane();
    const QString file = dir.filePath(QStringLiteral("sitzung.json"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(session::sessionBytes(data));
    }
    const QString pdf = dir.filePath(QStringLiteral("bericht.pdf"));
    const Outcome made = report({QStringLiteral("--bericht"), pdf, file}, dir.path());
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    const QString text = pdfText(pdf);
    for (const QString &part : {QStringLiteral("Schiefe Ebene"), QStringLiteral("Klasse: 10b"),
                                QStringLiteral("Auswertung: t² über s"), QStringLiteral("t² = ("),
                                QStringLiteral("a = (0,50")}) {
        // pdftotext reads the decimal point as the page wrote it: the program's locale.
        QString expected = part;
        if (!text.contains(QStringLiteral("a = (0,5")))
            expected.replace(QStringLiteral("0,50"), QStringLiteral("0.50"));
        EXPECT_TRUE(text.contains(expected)) << part.toStdString() << "\n" << text.toStdString();
    }

    const struct
    {
        QStringList arguments;
        QString says;
    } failures[] = {
        {{QStringLiteral("--bericht"), dir.filePath(QStringLiteral("bericht.txt")), file}, "PDF-Datei"},
        {{QStringLiteral("--bericht"), pdf, dir.filePath(QStringLiteral("fehlt.json"))}, "lässt sich nicht lesen"},
        // No session stored yet in this data folder.
        {{QStringLiteral("--bericht"), pdf}, "keine gespeicherte Sitzung"},
        {{QStringLiteral("--bericht"), dir.filePath(QStringLiteral("kein/Ordner/b.pdf")), file}, "b.pdf"},
    };
    for (const auto &f : failures) {
        const Outcome o = report(f.arguments, dir.filePath(QStringLiteral("leer")));
        EXPECT_NE(o.code, 0) << f.arguments.join(u' ').toStdString();
        EXPECT_TRUE(o.err.contains(f.says)) << o.err.toStdString();
    }
}

} // namespace

TF_QT_TEST_MAIN
