#include "app/Classroom.h"
#include "app/ExceptionHandler.h"
#include "app/MainForm.h"
#include "platform/Locale.h"
#include "registry/RegFile.h"
#include "registry/RegistryStore.h"
#include "platform/Shell.h"
#include "support/MainWindowSurroundings.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/IAeverLiquidIndicator.h"
#include "widgets/IAgaloLED.h"
#include "widgets/PicturePanel.h"
#include "widgets/SpeedButton.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/RecordingShell.h"
#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class MainFormTest : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override
    {
        locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27));
    }

    void TearDown() override
    {
        form.reset();
    }

    app::TForm1 &open()
    {
        form.reset();
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }

    QString display() const { return form->Digits->Indicatorstring(); }
    QStringList row(int r) const
    {
        QStringList texts;
        for (int c = 0; c < 4; ++c)
            texts << form->Prot->model()->index(r, c).data().toString();
        return texts;
    }
    void press(widgets::TSpeedButton *button, Qt::MouseButton mouse = Qt::LeftButton)
    {
        QTest::mousePress(button, mouse);
        QTest::mouseRelease(button, mouse);
    }

};

// Loading the window sets a dozen of the display's properties; the picture is drawn once.
TEST_F(MainFormTest, TheDisplayRendersOnceWhileTheWindowLoads)
{
    app::TForm1 &f = open();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.Digits->rebuildCount(), 1);
    EXPECT_EQ(f.Digits->picture().size(), f.Digits->size());
    EXPECT_EQ(f.Digits->rebuildCount(), 1);
}

TEST_F(MainFormTest, WindowHasTheStoredLayout)
{
    app::TForm1 &f = open();
    EXPECT_EQ(f.windowTitle(), "Kelvaro / Software / Velox / 1.02");
    // The statistics below the protocol, the measurement mode's row below them and the
    // classroom strip add their heights.
    EXPECT_EQ(f.size(), QSize(787, 644 + app::Classroom::StripHeight));
    // That is its smallest size; it can be enlarged.
    EXPECT_EQ(f.minimumSize(), f.size());
    EXPECT_GT(f.maximumSize().width(), f.width());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);

    const struct
    {
        const char *name;
        QRect geometry;
        const char *text;
    } controls[] = {
        {"btn46", {4, 56, 73, 38}, "Kontakt 1\n(4-6) [F5]"},
        {"btn78", {84, 56, 73, 38}, "Kontakt 2\n(7-8) [F6]"},
        {"btnReset", {164, 56, 73, 38}, "Reset\n[F8]"},
        {"btnInfo", {4, 8, 73, 38}, "&Info"},
        {"btnHelp", {84, 8, 73, 38}, "&Hilfe"},
        {"btnExport", {164, 8, 73, 38}, "&Export"},
        {"imgWiring", {432, 100, 349, 345}, nullptr},
        {"led4", {199, 71, 24, 14}, nullptr},
        {"led7", {299, 71, 24, 14}, nullptr},
        {"led6", {199, 260, 24, 14}, nullptr},
        {"led8", {299, 260, 24, 14}, nullptr},
        {"GroupBox1", {4, 100, 421, 345}, "Protokoll"},
        {"Prot", {4, 12, 409, 325}, nullptr},
        {"GroupBox2", {244, 52, 181, 45}, "Entfernung"},
        {"Label1", {120, 20, 47, 13}, "(metern)"},
        {"edtM", {8, 16, 105, 21}, nullptr},
        {"GroupBox3", {244, 4, 89, 45}, "PC COM PORT"},
        {"cmbPort", {8, 16, 73, 21}, nullptr},
        {"GroupBox4", {336, 4, 89, 45}, "Algorhitmus"},
        {"cmbAlg", {8, 16, 73, 21}, nullptr},
        {"Digits", {432, 8, 349, 85}, nullptr},
    };
    for (const auto &c : controls) {
        auto *w = f.findChild<QWidget *>(c.name);
        ASSERT_TRUE(w) << c.name;
        EXPECT_EQ(w->geometry(), c.geometry) << c.name;
        if (!c.text)
            continue;
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            text = b->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            text = g->title();
        else if (auto *l = qobject_cast<QLabel *>(w))
            text = l->text();
        EXPECT_EQ(text, c.text) << c.name;
    }
    for (const char *lamp : {"led4", "led7"})
        EXPECT_EQ(f.findChild<QWidget *>(lamp)->parentWidget(), static_cast<QWidget *>(f.imgWiring));
    EXPECT_EQ(f.cmbPort->Items(), QStringList({"KEIN", "COM 1", "COM 2"}));
    EXPECT_EQ(f.cmbAlg->Items(), QStringList({"EIN", "AUS"}));
    EXPECT_DOUBLE_EQ(f.edtM->Value(), 0.15);
    EXPECT_EQ(f.Digits->SignNumber(), 9);
    EXPECT_EQ(f.DigitsTimer->interval(), 100);
    EXPECT_TRUE(f.DigitsTimer->isActive());
    const QStringList headers = {"Datum/Zeit", "Stoppuhrzeit", "Entfernung", "Geschwindigkeit"};
    const int widths[] = {120, 80, 70, 115};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(f.Prot->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(f.Prot->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(f.btn46->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainFormTest, ShowingTheWindowResetsAndEvaluatesWithoutFiring)
{
    lines.openable = {1};
    app::TForm1 &f = open();
    // No port stored: "KEIN" was assigned, nothing is active, all lamps maroon.
    EXPECT_EQ(lines.assigned, std::vector<int>{0});
    EXPECT_EQ(f.cmbPort->currentIndex(), 0);
    for (widgets::TIAgaloLED *led : {f.led4, f.led6, f.led7, f.led8})
        EXPECT_EQ(led->LedPlasticColor(), widgets::clMaroon);
    EXPECT_FALSE(f.running());
    EXPECT_TRUE(f.btn46->isEnabled());
    EXPECT_FALSE(f.btn78->isEnabled());
    EXPECT_EQ(display(), "00:00.0000");
}

TEST_F(MainFormTest, KeysAndButtonsStartStopAndReset)
{
    app::TForm1 &f = open();
    enum Action { F5, ShiftF5, F6, F8, Press46Right, Press78Middle, PressReset };
    const auto act = [&](Action a) {
        switch (a) {
        case F5: QTest::keyClick(f.windowHandle(), Qt::Key_F5); break;
        case ShiftF5: QTest::keyClick(f.windowHandle(), Qt::Key_F5, Qt::ShiftModifier); break;
        case F6: QTest::keyClick(f.windowHandle(), Qt::Key_F6, Qt::ControlModifier); break;
        case F8: QTest::keyClick(f.windowHandle(), Qt::Key_F8, Qt::AltModifier); break;
        case Press46Right: press(f.btn46, Qt::RightButton); break;
        case Press78Middle: press(f.btn78, Qt::MiddleButton); break;
        case PressReset: press(f.btnReset); break;
        }
    };
    const struct
    {
        Action action;
        std::int64_t advance; // ticks before the action
        bool running;
        int entries;
        const char *display; // after the next refresh
    } steps[] = {
        {F6, 100, false, 0, "00:00.0000"},           // stop while stopped: nothing
        {F5, 100, true, 0, "00:00.0---"},
        {F5, 5000, true, 0, "00:00.5---"},           // start while running: nothing
        {ShiftF5, 1, true, 0, "00:00.5---"},         // from the focused selector, with Shift
        {F6, 7000, false, 1, "00:01.2001"},
        {Press46Right, 100, true, 1, "00:00.0---"},  // any mouse button presses
        {F8, 2000, false, 1, "00:00.0000"},          // reset drops the run
        {PressReset, 10, false, 1, "00:00.0000"},
        {F5, 10, true, 1, "00:00.0---"},
        {Press78Middle, 670452, false, 2, "01:07.0452"},
    };
    f.cmbPort->setFocus();
    int index = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(index++);
        clock.advance(step.advance);
        act(step.action);
        f.DigitsTimerTimer();
        EXPECT_EQ(f.running(), step.running);
        EXPECT_EQ(f.btn46->isEnabled(), !step.running);
        EXPECT_EQ(f.btn78->isEnabled(), step.running);
        EXPECT_EQ(f.cmbPort->isEnabled(), !step.running);
        EXPECT_EQ(f.cmbAlg->isEnabled(), !step.running);
        EXPECT_EQ(f.Prot->model()->rowCount(), step.entries);
        EXPECT_EQ(display(), step.display);
    }
    // Timed by hand: the list says so.
    EXPECT_EQ(row(0), QStringList({"06.12.2026/14:03:27", "00:01.2001 H", "0,150 m", "0,125 m/s"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainFormTest, KeysReachTheFocusedControlToo)
{
    app::TForm1 &f = open();
    f.edtM->setFocus();
    f.edtM->selectAll();
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    EXPECT_TRUE(f.running());
    // Typing still edits the field: the window only looks at the keys.
    QTest::keyClick(f.windowHandle(), '2');
    EXPECT_EQ(f.edtM->text(), "2,000");
}

TEST_F(MainFormTest, LinesFireContactsOnlyOnTheirRisingEdge)
{
    struct Report
    {
        bool dsr, cts;
        bool running;
        int entries;
        widgets::TColor lamp46, lamp78;
    };
    const struct
    {
        const char *name;
        int polarity;
        std::vector<Report> reports;
    } cases[] = {
        {"EIN: contact 1 then contact 2",
         0,
         {{true, false, true, 0, widgets::clLime, widgets::clMaroon},
          {false, false, true, 0, widgets::clMaroon, widgets::clMaroon},
          {false, true, false, 1, widgets::clMaroon, widgets::clLime},
          {false, false, false, 1, widgets::clMaroon, widgets::clMaroon}}},
        {"EIN: a line that stays on fires once",
         0,
         {{true, false, true, 0, widgets::clLime, widgets::clMaroon},
          {true, true, false, 1, widgets::clLime, widgets::clLime},
          {true, true, false, 1, widgets::clLime, widgets::clLime},
          {true, false, false, 1, widgets::clLime, widgets::clMaroon}}},
        {"EIN: both lines closing in one report make no run",
         0,
         {{true, true, false, 0, widgets::clLime, widgets::clLime}}},
        {"AUS: a line counts as active while off",
         1,
         {{true, true, false, 0, widgets::clMaroon, widgets::clMaroon},
          {false, true, true, 0, widgets::clLime, widgets::clMaroon},
          {false, false, false, 1, widgets::clLime, widgets::clLime}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        lines.openable = {1};
        app::TForm1 &f = open();
        f.cmbAlg->setItemIndexQuiet(c.polarity);
        f.cmbPort->setItemIndexQuiet(1);
        f.cmbPortChange();
        lines.report(); // the first real read: all lines off
        for (const Report &r : c.reports) {
            clock.advance(10);
            lines.change(r.dsr, r.cts);
            EXPECT_EQ(f.running(), r.running);
            EXPECT_EQ(f.Prot->model()->rowCount(), r.entries);
            EXPECT_EQ(f.led4->LedPlasticColor(), r.lamp46);
            EXPECT_EQ(f.led6->LedPlasticColor(), r.lamp46);
            EXPECT_EQ(f.led7->LedPlasticColor(), r.lamp78);
            EXPECT_EQ(f.led8->LedPlasticColor(), r.lamp78);
        }
    }
    EXPECT_EQ(form->Prot->model()->rowCount(), 1);
}

// A cable pulled or the power lost closes both contacts at once: no row, and the strip
// says why; both must be released before the next run.
TEST_F(MainFormTest, BothLinesInOneReportGiveNoRow)
{
    lines.openable = {1};
    app::TForm1 &f = open();
    f.cmbPort->setItemIndexQuiet(1);
    f.cmbPortChange();
    lines.change(true, true);
    EXPECT_EQ(f.Prot->model()->rowCount(), 0);
    EXPECT_FALSE(f.running());
    EXPECT_TRUE(f.classroom()->stateLabel()->text().contains(QStringLiteral("keine Messung")));
    lines.change(true, false);
    EXPECT_FALSE(f.running());
    lines.change(false, false);
    lines.change(true, false);
    EXPECT_TRUE(f.running());
}

TEST_F(MainFormTest, ContactsFromLinesTakeTheInstantTheChangeWasRead)
{
    lines.openable = {1};
    app::TForm1 &f = open();
    f.cmbPort->setItemIndexQuiet(1);
    f.cmbPortChange();
    clock.set(900000);
    lines.change(true, false, 100000);
    lines.change(true, true, 112345);
    EXPECT_EQ(f.startTicks(), 100000);
    EXPECT_EQ(f.stopTicks(), 112345);
    EXPECT_EQ(row(0)[1], "00:01.2345");
}

TEST_F(MainFormTest, SuppressedEvaluationsLightLampsButFireNothing)
{
    lines.openable = {1};
    app::TForm1 &f = open();
    f.cmbPort->setItemIndexQuiet(1);
    f.cmbPortChange();
    lines.change(true, false);
    ASSERT_TRUE(f.running());
    QTest::keyClick(f.windowHandle(), Qt::Key_F8);
    lines.change(false, false);

    // The user picks "AUS": both lines now count as active, yet nothing fires.
    f.cmbAlg->setItemIndexQuiet(1);
    emit f.cmbAlg->clickPicked();
    emit f.cmbAlg->changePicked();
    EXPECT_FALSE(f.running());
    EXPECT_FALSE(f.suppressed());
    EXPECT_EQ(f.led4->LedPlasticColor(), widgets::clLime);
    EXPECT_EQ(f.led7->LedPlasticColor(), widgets::clLime);
    // Only after the line has gone inactive and active again does contact 1 fire.
    lines.change(false, false);
    EXPECT_FALSE(f.running());
    lines.change(true, false);
    lines.change(false, false);
    EXPECT_TRUE(f.running());
}

TEST_F(MainFormTest, WithoutAnActivePortLampsStayMaroonAndKeysStillWork)
{
    lines.openable = {};
    app::TForm1 &f = open();
    f.cmbPort->setCurrentIndex(2);
    emit f.cmbPort->clickPicked();
    emit f.cmbPort->changePicked();
    EXPECT_EQ(lines.assigned.back(), 2);
    EXPECT_EQ(f.cmbPort->currentIndex(), 0); // fell back to "KEIN"
    lines.change(true, true);
    EXPECT_FALSE(f.running());
    EXPECT_EQ(f.led4->LedPlasticColor(), widgets::clMaroon);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    EXPECT_TRUE(f.running());
}

TEST_F(MainFormTest, NoSelectionAssignsPort255)
{
    app::TForm1 &f = open();
    f.cmbPort->setItemIndexQuiet(-1);
    f.cmbPortChange();
    EXPECT_EQ(lines.assigned.back(), 255);
    EXPECT_EQ(f.cmbPort->currentIndex(), 0);
}

TEST_F(MainFormTest, ProtocolEntryFollowsTheLocale)
{
    const struct
    {
        platform::FixedLocale locale;
        QStringList row;
    } cases[] = {
        {platform::FixedLocale::german(),
         {"06.12.2026/14:03:27", "00:00.0001 H", "0,150 m", "1500,000 m/s"}},
        {platform::FixedLocale::english(),
         {"12/6/2026/2:03:27 PM", "00:00.0001 H", "0.150 m", "1500.000 m/s"}},
    };
    for (const auto &c : cases) {
        locale = c.locale;
        locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27));
        app::TForm1 &f = open();
        QTest::keyClick(f.windowHandle(), Qt::Key_F5);
        clock.advance(1);
        QTest::keyClick(f.windowHandle(), Qt::Key_F6);
        ASSERT_EQ(f.Prot->model()->rowCount(), 1);
        EXPECT_EQ(row(0), c.row);
    }
}

TEST_F(MainFormTest, TheTypedDistanceReachesTheProtocolAndTheSettings)
{
    const struct
    {
        platform::FixedLocale locale;
        char separator;
        QString shown;
        QString distance;
        QString speed;
    } cases[] = {
        {platform::FixedLocale::german(), ',', "1,250", "1,250 m", "12500,000 m/s"},
        {platform::FixedLocale::english(), '.', "1.250", "1.250 m", "12500.000 m/s"},
    };
    for (const auto &c : cases) {
        locale = c.locale;
        app::TForm1 &f = open();
        EXPECT_EQ(f.edtM->text(), c.locale.decimalSeparator() == u',' ? "0,150" : "0.150");
        EXPECT_EQ(f.edtM->ValueType(), widgets::TFloatSpinEdit::vtFloat);
        EXPECT_EQ(f.edtM->Increment(), 0.01);
        EXPECT_EQ(f.edtM->ClipboardCommands(), widgets::TFloatSpinEdit::TClipboardCommands());
        EXPECT_FALSE(f.edtM->BeepOnError());
        f.edtM->setFocus();
        f.edtM->selectAll();
        for (char key : {'1', c.separator, '2', '5'})
            QTest::keyClick(f.windowHandle(), key);
        EXPECT_EQ(f.edtM->text(), c.shown);
        QTest::keyClick(f.windowHandle(), Qt::Key_F5);
        clock.advance(1);
        QTest::keyClick(f.windowHandle(), Qt::Key_F6);
        ASSERT_EQ(f.Prot->model()->rowCount(), 1);
        EXPECT_EQ(row(0).mid(2), QStringList({c.distance, c.speed}));

        // Stored as whole millimetres, shown again at the next start.
        f.close();
        registry::RegFile hive;
        registry::RegistryStore(config.path() + "/tachoflux/registry.reg").read(hive);
        const registry::RegValue *meters =
            hive.value("Kelvaro / Software / Velox / 1.02\\Settings", "Meters");
        ASSERT_TRUE(meters);
        EXPECT_EQ(meters->text(), "1250");
        EXPECT_EQ(open().edtM->text(), c.shown);
        form->close();
        QFile::remove(config.path() + "/tachoflux/registry.reg");
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(MainFormTest, ZeroDistanceAndStopNotAfterStart)
{
    app::TForm1 &f = open();
    // A distance of 0 is refused: the runs keep the one taken before.
    f.edtM->setValue(0);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    clock.advance(5);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6); // the same instant
    EXPECT_EQ(row(0).mid(1), QStringList({"00:00.0005 H", "0,150 m", "300,000 m/s"}));
    EXPECT_EQ(row(1).mid(1), QStringList({"???", "???", "???"}));
    EXPECT_EQ(f.Prot->model()->index(0, 3).data(Qt::TextAlignmentRole).toInt()
                  & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
}

TEST_F(MainFormTest, ExportWritesTheListAndOpensIt)
{
    QTemporaryDir dir;
    app::TForm1 &f = open();
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    clock.advance(12345);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);

    const QString target = dir.filePath("runs.txt");
    f.setSaveDialogRunner([&](QFileDialog &dialog) {
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.nameFilters(),
                  QStringList({"*.txt (*.txt)", "CSV, UTF-8 (*.csv)", "PDF-Bericht (*.pdf)"}));
        EXPECT_EQ(dialog.defaultSuffix(), "txt");
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        // A run that ends while the dialog is open is exported too.
        QTest::keyClick(f.windowHandle(), Qt::Key_F5);
        QTest::keyClick(f.windowHandle(), Qt::Key_F6);
        return target;
    });
    f.btnExport->click();

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes, "Tachoflux\r\n\r\n"
                     "Datum/Zeit               Stoppuhrzeit   Entfernung     Geschwindigkeit\r\n"
                         + QByteArray(70, ' ')
                         + "\r\n"
                           "06.12.2026/14:03:27      00:01.2345     0,150 m              0,122 m/s\r\n"
                           "06.12.2026/14:03:27      ???            ???" + QByteArray(24, ' ') + "???\r\n"
                           "\r\nKelvaro Software\r\n");
    EXPECT_EQ(shell.opened, QStringList{target});
    EXPECT_EQ(f.Prot->model()->rowCount(), 2);
}

TEST_F(MainFormTest, ExportToACsvNameWritesTheRunsAsNumbers)
{
    QTemporaryDir dir;
    app::TForm1 &f = open();
    // The label typed before a run goes with it.
    QTest::keyClicks(f.edtLabel, "Wagen A");
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    clock.advance(12345);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);
    f.edtLabel->clear();
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    QTest::keyClick(f.windowHandle(), Qt::Key_F6);

    // Picking the CSV type makes it the extension a bare name gets.
    QString suffix;
    f.setSaveDialogRunner([&](QFileDialog &dialog) {
        dialog.selectNameFilter(dialog.nameFilters().at(1));
        emit dialog.filterSelected(dialog.nameFilters().at(1));
        suffix = dialog.defaultSuffix();
        return dir.filePath("runs.csv");
    });
    f.btnExport->click();
    EXPECT_EQ(suffix, "csv");

    QFile file(dir.filePath("runs.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // In the German convention of the user's locale.
    // With a byte-order mark, so that a double-click shows umlauts; timed by hand.
    EXPECT_EQ(file.readAll(),
              "\xEF\xBB\xBF"
              "Datum/Zeit;Stoppuhrzeit (s);Entfernung (m);Geschwindigkeit (m/s);"
              "Unsicherheit (ms);Verspätet erkannt;Bezeichnung;Messart;Von Hand\r\n"
              "2026-12-06T14:03:27;1,2345;0,150;0,122;0,000;;Wagen A;0;H\r\n"
              "2026-12-06T14:03:27;;;;;;;0;H\r\n");
    EXPECT_EQ(shell.opened, QStringList{dir.filePath("runs.csv")});
    // The list itself is unchanged, and a later text export is the fixed-column one.
    EXPECT_EQ(row(0), QStringList({"06.12.2026/14:03:27", "00:01.2345 H", "0,150 m", "0,122 m/s"}));
    f.setSaveDialogRunner([&](QFileDialog &dialog) {
        emit dialog.filterSelected(dialog.nameFilters().at(0));
        suffix = dialog.defaultSuffix();
        return dir.filePath("runs.txt");
    });
    f.btnExport->click();
    EXPECT_EQ(suffix, "txt");
    QFile text(dir.filePath("runs.txt"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QByteArray bytes = text.readAll();
    EXPECT_TRUE(bytes.startsWith("Tachoflux\r\n"));
    EXPECT_FALSE(bytes.contains("Wagen")); // labels stay out of the fixed columns
}

TEST_F(MainFormTest, CancelledOrFailedExportOpensNothing)
{
    QTemporaryDir dir;
    app::TForm1 &f = open();
    f.setSaveDialogRunner([](QFileDialog &) { return QString(); });
    f.btnExportClick();
    // A folder cannot be written as a file: the error is shown, nothing is opened.
    f.setSaveDialogRunner([&](QFileDialog &) { return dir.path(); });
    f.btnExport->click();
    EXPECT_EQ(messages, QStringList{"File access denied."});
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(MainFormTest, ResetProtocolFromTheListsMenuEmptiesIt)
{
    app::TForm1 &f = open();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(f.windowHandle(), Qt::Key_F5);
        clock.advance(10);
        QTest::keyClick(f.windowHandle(), Qt::Key_F6);
    }
    ASSERT_EQ(f.Prot->model()->rowCount(), 3);
    QTest::keyClick(f.windowHandle(), Qt::Key_F8); // a chronometer reset keeps the list
    EXPECT_EQ(f.Prot->model()->rowCount(), 3);
    auto *item = f.PopupMenu1->findChild<QAction *>("ResetProtokoll1");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(), "Reset Protokoll");
    EXPECT_EQ(f.Prot->contextMenuPolicy(), Qt::CustomContextMenu);
    item->trigger();
    EXPECT_EQ(f.Prot->model()->rowCount(), 0);
}

TEST_F(MainFormTest, MissingCounterShowsTheErrorAndChangesNothing)
{
    app::TForm1 &f = open();
    clock.setFrequency(0);
    QTest::keyClick(f.windowHandle(), Qt::Key_F5);
    EXPECT_FALSE(f.running());
    EXPECT_TRUE(f.btn46->isEnabled());
    EXPECT_EQ(messages, QStringList{"Floating point division by zero."});
    clock.setFrequency(10000);
}

TEST(HelpFile, ReplacesTheProgramsExtension)
{
    const struct
    {
        const char *program, *help;
    } rows[] = {
        {"/opt/tools/chrono.exe", "/opt/tools/chrono.hlp"},
        {"/opt/tools/tachoflux", "/opt/tools/tachoflux.hlp"},
        {"/opt/my.tools/tachoflux", "/opt/my.tools/tachoflux.hlp"},
        {"/opt/tools/a.b.c", "/opt/tools/a.b.hlp"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(app::TForm1::helpFilePath(r.program), r.help);
}

} // namespace

TF_QT_TEST_MAIN
