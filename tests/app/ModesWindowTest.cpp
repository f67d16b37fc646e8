// The measurement modes in the real window: the selector, the flag length and the minimum,
// edges through the line source, the protocol's columns, the export and the settings.
#include "app/MainForm.h"
#include "app/RunTableModel.h"
#include "platform/Shell.h"
#include "protocol/ProtocolExport.h"
#include "support/MainWindowSurroundings.h"
#include "support/ConfigFolder.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/IAeverLiquidIndicator.h"
#include "widgets/SpeedButton.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One change of the lines, read at tick `at`.
struct Edge
{
    bool dsr;
    bool cts;
    timing::Ticks at;
};

class ModesWindow : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override
    {
        locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27));
        lines.openable = {1};
    }
    void TearDown() override { form.reset(); }

    app::TForm1 &open()
    {
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
        return *form;
    }
    // As the user picks it: the selector's change.
    void choose(timing::MeasurementMode mode)
    {
        form->cmbMode->setItemIndexQuiet(int(mode));
        form->cmbModeChange();
    }
    // The edges, then the display's timer a second after the last, which settles it.
    void feed(const std::vector<Edge> &edges)
    {
        timing::Ticks last = 0;
        for (const Edge &e : edges) {
            clock.set(e.at);
            lines.change(e.dsr, e.cts, e.at);
            last = e.at;
        }
        clock.set(last + 10000);
        form->DigitsTimerTimer();
    }
    QAbstractItemModel &model() const { return *form->Prot->model(); }
    QStringList headers() const
    {
        QStringList out;
        for (int c = 0; c < model().columnCount(); ++c)
            out << model().headerData(c, Qt::Horizontal).toString();
        return out;
    }
    // Time, distance, speed and every further column of each row.
    QList<QStringList> rows() const
    {
        QList<QStringList> out;
        for (int r = 0; r < model().rowCount(); ++r) {
            QStringList row;
            for (int c = 1; c < model().columnCount(); ++c)
                if (c != app::RunTableModel::Label)
                    row << model().index(r, c).data().toString();
            out << row;
        }
        return out;
    }

};

const QStringList FourAndLabel{"Datum/Zeit", "Stoppuhrzeit", "Entfernung", "Geschwindigkeit",
                               "Bezeichnung"};

struct ModeCase
{
    const char *name;
    timing::MeasurementMode mode;
    std::vector<Edge> edges;
    QStringList extraHeaders;
    QList<QStringList> rows; // time, distance, speed, then the further columns
    const char *display;     // a second after the last edge
};

TEST_F(ModesWindow, EachModeTurnsEdgesIntoRowsWithItsOwnColumns)
{
    using M = timing::MeasurementMode;
    const ModeCase cases[] = {
        {"a 25 mm flag at 0.5 m/s through barrier 1, at 1 m/s through 2, one bounce",
         M::DarkTime,
         {{true, false, 100000}, {false, false, 100500},
          {false, true, 200000}, {false, false, 200250},
          // 0.5 ms: shorter than the 1 ms minimum.
          {true, false, 300000}, {false, false, 300005}},
         {"Schranke", "v (m/s)"},
         {{"00:00.0500", "0,025 m", "0,500 m/s", "1", "0,500 m/s"},
          {"00:00.0250", "0,025 m", "1,000 m/s", "2", "1,000 m/s"}},
         "00:00.0250"},
        {"one pass: 0.5 m/s at barrier 1, 1 m/s at barrier 2 one second later",
         M::Acceleration,
         {{true, false, 100000}, {false, false, 100500},
          {false, true, 110000}, {false, false, 110250}},
         {"t1 (s)", "t2 (s)", "v1 (m/s)", "v2 (m/s)", "a (m/s²)"},
         // a = 0.5 m/s / 0.9875 s between the middles.
         {{"00:01.0000", "0,150 m", "0,150 m/s", "0,0500 s", "0,0250 s", "0,500 m/s",
           "1,000 m/s", "0,506 m/s²"}},
         "00:01.0000"},
        {"a pendulum of 1.4 s through barrier 1; barrier 2 is not looked at",
         M::Pendulum,
         {{true, false, 100000}, {false, false, 100100},
          {false, true, 103000}, {false, false, 103100},
          {true, false, 107000}, {false, false, 107100},
          {true, false, 114000}, {false, false, 114100},
          {true, false, 121000}, {false, false, 121100},
          {true, false, 128000}, {false, false, 128100}},
         {"Periode (s)"},
         // A period has no distance.
         {{"00:01.4000", "0,000 m", "0,000 m/s", "1,4000 s"},
          {"00:01.4000", "0,000 m", "0,000 m/s", "1,4000 s"}},
         // Still swinging: the time since the last period began runs on.
         "00:01.0---"},
        {"a picket fence of four 50 mm bands speeding up through barrier 1",
         M::PicketFence,
         {{true, false, 100000}, {false, false, 100400},
          {true, false, 101000}, {false, false, 101400},
          {true, false, 101800}, {false, false, 102200},
          {false, true, 102300}, {false, false, 102350},
          {true, false, 102500}, {false, false, 102900}},
         {"Latten", "a (m/s²)"},
         // Intervals of 0,1 / 0,08 / 0,07 s; the line through their speeds.
         {{"00:00.2500", "0,150 m", "0,600 m/s", "4", "1,302±0,057 m/s²"}},
         "00:00.2500"},
    };
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(c.name);
        app::TForm1 &f = open();
        choose(c.mode);
        EXPECT_EQ(f.mode(), c.mode);
        EXPECT_EQ(f.edtMin->Value(), 1) << "the flag modes' minimum";
        EXPECT_FALSE(f.btn46->isEnabled()) << "contacts belong to the default mode";
        feed(c.edges);
        EXPECT_EQ(headers(), FourAndLabel + c.extraHeaders);
        EXPECT_EQ(rows(), c.rows);
        // On screen the mode's columns follow the speed, the label comes last.
        EXPECT_EQ(f.Prot->horizontalHeader()->visualIndex(app::RunTableModel::Label),
                  model().columnCount() - 1);
        EXPECT_EQ(f.Prot->horizontalHeader()->visualIndex(app::RunTableModel::Label + 1),
                  app::RunTableModel::Label);
        EXPECT_TRUE(f.Prot->isColumnHidden(app::RunTableModel::Distance));
        EXPECT_TRUE(f.Prot->isColumnHidden(app::RunTableModel::Speed));
        EXPECT_EQ(f.Digits->Indicatorstring(), QString::fromUtf8(c.display));
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
        form.reset();
    }
}

TEST_F(ModesWindow, TheDisplayRunsWhileABarrierIsDarkAndF5StartsNothing)
{
    app::TForm1 &f = open();
    choose(timing::MeasurementMode::DarkTime);
    clock.set(100000);
    lines.change(true, false, 100000);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    clock.set(112345);
    f.DigitsTimerTimer();
    EXPECT_EQ(f.Digits->Indicatorstring(), "00:01.2---");
    // The display runs with the flag in the barrier; F5 started no clock.
    EXPECT_FALSE(f.chronometer().running());
    // F8 drops the interruption begun: its end makes no row.
    QTest::keyClick(f.windowHandle(), Qt::Key_F8);
    feed({{false, false, 120000}});
    EXPECT_EQ(model().rowCount(), 0);
}

TEST_F(ModesWindow, TheTextExportAddsTheModesColumnsRightAligned)
{
    app::TForm1 &f = open();
    choose(timing::MeasurementMode::DarkTime);
    feed({{true, false, 100000}, {false, false, 100500}});
    QTemporaryDir dir;
    const QString target = dir.filePath("runs.txt");
    f.setSaveDialogRunner([&](QFileDialog &) { return target; });
    f.btnExportClick();
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 5);
    const auto right = [](const char *text) { return QString::fromUtf8(text).rightJustified(15); };
    EXPECT_EQ(QString::fromLatin1(lines[2]),
              protocol::exportRow("Datum/Zeit", "Stoppuhrzeit", "Entfernung", "Geschwindigkeit") +
                  right("Schranke") + right("v (m/s)") + u'\r');
    EXPECT_EQ(QString::fromLatin1(lines[3]), QString(100, u' ') + u'\r');
    EXPECT_EQ(QString::fromLatin1(lines[4]),
              protocol::exportRow("06.12.2026/14:03:27", "00:00.0500", "0,025 m", "0,500 m/s") +
                  right("1") + right("0,500 m/s") + u'\r');
}

TEST_F(ModesWindow, RunsOfTheModeLeftKeepTheirColumnsBesideTheNewModes)
{
    app::TForm1 &f = open();
    choose(timing::MeasurementMode::DarkTime);
    feed({{true, false, 100000}, {false, false, 100500}});
    choose(timing::MeasurementMode::Pendulum);
    EXPECT_EQ(headers(), FourAndLabel + QStringList({"Periode (s)", "Schranke", "v (m/s)"}));
    EXPECT_EQ(rows(), (QList<QStringList>{
                          {"00:00.0500", "0,025 m", "0,500 m/s", "", "1", "0,500 m/s"}}));
    // Back in the default mode, only the runs still in the list bring further columns.
    choose(timing::MeasurementMode::BetweenBarriers);
    EXPECT_EQ(headers(), FourAndLabel + QStringList({"Schranke", "v (m/s)"}));
    EXPECT_FALSE(f.Prot->isColumnHidden(app::RunTableModel::Distance));
    EXPECT_FALSE(f.Prot->isColumnHidden(app::RunTableModel::Speed));
    f.Reset1Click();
    EXPECT_EQ(headers(), FourAndLabel);
    EXPECT_TRUE(f.btn46->isEnabled());
}

TEST_F(ModesWindow, AMinimumInTheDefaultModeIgnoresABouncingContact)
{
    app::TForm1 &f = open();
    EXPECT_EQ(f.edtMin->Value(), 0) << "the default mode keeps its contacts as they are";
    f.edtMin->setValue(5);
    // 2 ms bounce on contact 1, then contact 1 for real, contact 2 a second later.
    feed({{true, false, 100000}, {false, false, 100020},
          {true, false, 110000}, {false, false, 110500},
          {false, true, 120000}, {false, false, 120500}});
    EXPECT_EQ(rows(), (QList<QStringList>{{"00:01.0000", "0,150 m", "0,150 m/s"}}));
    EXPECT_EQ(f.Digits->Indicatorstring(), "00:01.0000");
    // The flag modes have their own minimum; the default mode's comes back with it.
    choose(timing::MeasurementMode::DarkTime);
    EXPECT_EQ(f.edtMin->Value(), 1);
    choose(timing::MeasurementMode::BetweenBarriers);
    EXPECT_EQ(f.edtMin->Value(), 5);
}

TEST_F(ModesWindow, ModeFlagLengthAndBothMinimaComeBackAfterARestart)
{
    {
        app::TForm1 &f = open();
        f.edtMin->setValue(3);
        choose(timing::MeasurementMode::Acceleration);
        f.edtFlag->setValue(0.03);
        f.edtMin->setValue(7);
        f.close();
        form.reset();
    }
    app::TForm1 &f = open();
    EXPECT_EQ(f.cmbMode->currentIndex(), 2);
    EXPECT_EQ(f.mode(), timing::MeasurementMode::Acceleration);
    EXPECT_EQ(f.edtFlag->Value(), 0.03);
    EXPECT_EQ(f.edtMin->Value(), 7);
    EXPECT_EQ(headers().mid(5), (QStringList{"t1 (s)", "t2 (s)", "v1 (m/s)", "v2 (m/s)",
                                             "a (m/s²)"}));
    choose(timing::MeasurementMode::BetweenBarriers);
    EXPECT_EQ(f.edtMin->Value(), 3);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(ModesWindow, TheFlagLengthIsRefusedLikeTheDistanceAndTheMinimumBeyond100ms)
{
    app::TForm1 &f = open();
    struct Case
    {
        widgets::TFloatSpinEdit *field;
        const char *typed;
        double kept;
    };
    const Case cases[] = {
        {f.edtFlag, "0", 0.025},      {f.edtFlag, "-0,01", 0.025}, {f.edtFlag, "1001", 0.025},
        {f.edtFlag, "0,05", 0.05},    {f.edtMin, "101", 0},        {f.edtMin, "100", 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        c.field->setText(QString::fromUtf8(c.typed));
        c.field->checkAccepted();
        EXPECT_EQ(c.field->AcceptedValue(), c.kept);
    }
}

} // namespace

TF_QT_TEST_MAIN
