#include "app/MainForm.h"
#include "app/RunReport.h"
#include "app/StatisticsStrip.h"
#include "support/MainWindowSurroundings.h"
#include "support/ConfigFolder.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "widgets/IAeverLiquidIndicator.h"
#include "widgets/RunChart.h"
#include "widgets/SpeedButton.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString pdfText(const QString &path)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!text.waitForFinished(60000) || text.exitCode() != 0)
        ADD_FAILURE() << "pdftotext (poppler-utils) failed on " << path.toStdString();
    return QString::fromUtf8(text.readAllStandardOutput());
}

class StatisticsWindow : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override
    {
        locale.pinNow(QDate(2026, 12, 7), QTime(11, 0, 5));
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override { form.reset(); }

    void run(const char *label, std::int64_t ticks)
    {
        form->edtLabel->setText(QString::fromUtf8(label));
        QTest::keyClick(form->windowHandle(), Qt::Key_F5);
        clock.advance(ticks);
        QTest::keyClick(form->windowHandle(), Qt::Key_F6);
    }

    // Five runs in two labels: "Wagen A" averages 0,8003 s, "Wagen B" 1,2010 s.
    void fiveRuns()
    {
        run("Wagen A", 8000);
        run("Wagen B", 12000);
        run("Wagen A", 8006);
        run("Wagen B", 12020);
        run("Wagen A", 8003);
    }

    // The first three cells of each line of the strip: group, count, mean time.
    QList<QStringList> strip() const
    {
        QList<QStringList> lines;
        for (const QStringList &cells : form->Statistik->cellTexts())
            lines << cells.mid(0, 3);
        return lines;
    }

    void select(std::initializer_list<int> rows)
    {
        QItemSelectionModel *selection = form->Prot->selectionModel();
        selection->clearSelection();
        for (const int r : rows)
            selection->select(form->Prot->model()->index(r, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QTemporaryDir dir;
};

using Lines = QList<QStringList>;

} // namespace

// Every change of the protocol reaches the strip: a new run, a selection of two or more
// rows, a deletion and its undo, a label edited in the list, a reset.
TEST_F(StatisticsWindow, TheStripFollowsRunsSelectionDeletionAndLabels)
{
    EXPECT_EQ(form->Statistik->rowCount(), 0);
    run("Wagen A", 8000);
    EXPECT_EQ(strip(), (Lines{{"Alle", "1", "0,8000"}}));
    EXPECT_EQ(form->Statistik->cellTexts()[0][3], QString()); // one run has no spread
    run("Wagen B", 12000);
    run("Wagen A", 8006);
    run("Wagen B", 12020);
    run("Wagen A", 8003);
    EXPECT_EQ(strip(), (Lines{{"Alle", "5", "0,9606"},
                              {"Wagen A", "3", "0,8003"},
                              {"Wagen B", "2", "1,2010"}}));

    select({1}); // one row is no subset
    EXPECT_EQ(strip()[0], (QStringList{"Alle", "5", "0,9606"}));
    select({0, 2});
    EXPECT_EQ(strip(), (Lines{{"Alle", "2", "0,8003"}}));
    // A new run does not join a selection.
    run("Wagen A", 9000);
    EXPECT_EQ(strip(), (Lines{{"Alle", "2", "0,8003"}}));

    select({1, 3, 5});
    form->deleteSelectedRuns();
    EXPECT_EQ(strip(), (Lines{{"Alle", "3", "0,8003"}}));
    form->undoProtocol();
    form->Prot->selectionModel()->clearSelection();
    EXPECT_EQ(strip()[0], (QStringList{"Alle", "6", "0,9505"}));

    form->runs().setLabel(5, QStringLiteral("Wagen C"));
    EXPECT_EQ(strip().last(), (QStringList{"Wagen C", "1", "0,9000"}));

    form->Reset1Click();
    EXPECT_EQ(form->Statistik->rowCount(), 0);
}

TEST_F(StatisticsWindow, TheChartToggleWidensTheWindowAndLeavesTheControlsWhereTheyAre)
{
    fiveRuns();
    QList<QRect> before;
    const QList<QWidget *> controls{form->btn46,     form->Prot,     form->Digits,  form->edtLabel,
                                    form->Statistik, form->btnChart, form->btnPrint};
    for (QWidget *w : controls)
        before << w->geometry();
    const QSize size = form->size();
    EXPECT_FALSE(form->Diagramm->isVisible());

    QTest::mouseClick(form->btnChart, Qt::LeftButton);
    EXPECT_TRUE(form->btnChart->isChecked());
    EXPECT_TRUE(form->Diagramm->isVisible());
    EXPECT_EQ(form->size().height(), size.height());
    EXPECT_GT(form->width(), size.width() + 300);
    // The chart's room is part of the smallest size now.
    EXPECT_EQ(form->minimumWidth(), form->width());
    for (qsizetype i = 0; i < controls.size(); ++i)
        EXPECT_EQ(controls[i]->geometry(), before[i]) << controls[i]->objectName().toStdString();

    const widgets::ChartData &data = form->Diagramm->data();
    EXPECT_EQ(data.runCount, 5);
    ASSERT_EQ(data.panels.size(), 2);
    EXPECT_EQ(data.panels[0].series.size(), 2);
    EXPECT_TRUE(form->Diagramm->accessibleDescription().contains(u"Wagen B: 2 Messungen"));

    // The visible chart follows the next run.
    run("Wagen C", 9000);
    EXPECT_EQ(form->Diagramm->data().runCount, 6);
    EXPECT_EQ(form->Diagramm->data().panels[0].series.size(), 3);

    QTest::mouseClick(form->btnChart, Qt::LeftButton);
    EXPECT_FALSE(form->Diagramm->isVisible());
    EXPECT_EQ(form->size(), size);
}

// The export's third file type writes the report; a name ending in .pdf does too.
TEST_F(StatisticsWindow, ExportToAPdfNameWritesTheReportAndOpensIt)
{
    fiveRuns();
    QString suffix;
    const QString target = dir.filePath(QStringLiteral("bericht.pdf"));
    form->setSaveDialogRunner([&](QFileDialog &dialog) {
        emit dialog.filterSelected(QStringLiteral("PDF-Bericht (*.pdf)"));
        suffix = dialog.defaultSuffix();
        return target;
    });
    form->btnExport->click();
    EXPECT_EQ(suffix, QStringLiteral("pdf"));
    EXPECT_EQ(shell.opened, QStringList{target});
    const QString text = pdfText(target);
    for (const char *part : {"Tachoflux – Messprotokoll", "Erstellt am 07.12.2026, 11:00:05",
                             "Mittelwert", "0,8003", "1,2010", "Wagen A", "00:01.2020"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part << "\n" << text.toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

// Printing draws the same page; here the printer writes a PDF file.
TEST_F(StatisticsWindow, CtrlPPrintsTheReportPage)
{
    fiveRuns();
    select({0, 2, 4});
    const QString target = dir.filePath(QStringLiteral("gedruckt.pdf"));
    int asked = 0;
    form->setPrintDialogRunner([&](QPrinter &printer) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target);
        return true;
    });
    QTest::keyClick(form->windowHandle(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    const QString text = pdfText(target);
    EXPECT_TRUE(text.contains(u"3 Messungen")) << text.toStdString();
    EXPECT_TRUE(text.contains(u"(Auswahl aus 5 Messungen)"));
    EXPECT_TRUE(text.contains(u"0,8003"));
    EXPECT_FALSE(text.contains(u"Wagen B"));

    // A cancelled dialog prints nothing.
    QFile::remove(target);
    form->setPrintDialogRunner([](QPrinter &) { return false; });
    form->printReport();
    EXPECT_FALSE(QFile::exists(target));
}

TF_QT_TEST_MAIN
