// The protocol list as the user works with it: labels, deleting, undoing, the journal
// and loading it back, following new rows.
#include "app/MainForm.h"
#include "app/RunTableModel.h"
#include "platform/Shell.h"
#include "protocol/RunJournal.h"
#include "support/MainWindowSurroundings.h"
#include "support/ConfigFolder.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "widgets/FloatSpinEdit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

namespace {

class ProtocolWindowTest : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override { locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27)); }
    void TearDown() override { form.reset(); }

    app::TForm1 &open()
    {
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }
    // A run of `ticks` by the keys, with the label typed into the field first.
    void run(timing::Ticks ticks, const QString &label = {})
    {
        form->edtLabel->setText(label);
        QTest::keyClick(form->windowHandle(), Qt::Key_F5);
        clock.advance(ticks);
        QTest::keyClick(form->windowHandle(), Qt::Key_F6);
    }
    QAbstractItemModel &model() const { return *form->Prot->model(); }
    QString cell(int row, int column) const { return model().index(row, column).data().toString(); }
    // The time column from top to bottom.
    QStringList times() const
    {
        QStringList out;
        for (int r = 0; r < model().rowCount(); ++r)
            out << cell(r, 1);
        return out;
    }
    QAction *action(const char *name) const
    {
        auto *a = form->PopupMenu1->findChild<QAction *>(name);
        EXPECT_TRUE(a) << name;
        return a;
    }
    void select(const QList<int> &rows)
    {
        QItemSelectionModel *selection = form->Prot->selectionModel();
        selection->clearSelection();
        for (int r : rows)
            selection->select(model().index(r, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QByteArray journalBytes() const
    {
        QFile file(config.dataFolder() + "/Messungen-2026-12-06.csv");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

};

} // namespace

TEST_F(ProtocolWindowTest, DeletedAndResetRowsComeBackWithCtrlZUntilTheNextRun)
{
    app::TForm1 &f = open();
    for (int i = 1; i <= 5; ++i)
        run(i * 1000);
    const QStringList all = times();
    ASSERT_EQ(all.size(), 5);
    EXPECT_EQ(action("MessungLoeschen1")->text(), QString::fromUtf8("Messung löschen"));
    EXPECT_EQ(action("Rueckgaengig1")->text(), QString::fromUtf8("Rückgängig"));
    EXPECT_EQ(f.PopupMenu1->actions().value(1)->text(), "Letzte Messungen laden");
    EXPECT_FALSE(action("Rueckgaengig1")->isEnabled());

    // Del deletes the selected rows while the list has the focus; in a field it is the field's.
    // The menu shown without a selection does not take Del away.
    emit f.PopupMenu1->aboutToShow();
    EXPECT_FALSE(action("MessungLoeschen1")->isEnabled());
    f.edtLabel->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.edtLabel->hasFocus(); }));
    select({1, 3});
    QTest::keyClick(f.edtLabel, Qt::Key_Delete);
    EXPECT_EQ(times(), all);
    f.Prot->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.Prot->hasFocus(); }));
    QTest::keyClick(f.Prot, Qt::Key_Delete);
    EXPECT_EQ(times(), QStringList({all[0], all[2], all[4]}));
    select({0});
    action("MessungLoeschen1")->trigger();
    EXPECT_EQ(times(), QStringList({all[2], all[4]}));
    action("ResetProtokoll1")->trigger();
    EXPECT_EQ(model().rowCount(), 0);

    // Each undo brings back one step, in its places and order.
    QTest::keyClick(f.windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(times(), QStringList({all[2], all[4]}));
    action("Rueckgaengig1")->trigger();
    EXPECT_EQ(times(), QStringList({all[0], all[2], all[4]}));
    EXPECT_TRUE(action("Rueckgaengig1")->isEnabled());

    select({1});
    QTest::keyClick(f.Prot, Qt::Key_Delete);
    run(6000);
    // The new run ended the undo: nothing comes back.
    EXPECT_FALSE(action("Rueckgaengig1")->isEnabled());
    QTest::keyClick(f.windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(times(), QStringList({all[0], all[4], "00:00.6000 H"}));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(ProtocolWindowTest, LabelsGoWithNewRunsAndAreEditedInTheList)
{
    app::TForm1 &f = open();
    EXPECT_EQ(f.edtLabel->maxLength(), 40);
    run(1000, "Wagen A");
    run(2000, "Wagen\tB");
    run(3000);
    EXPECT_EQ(model().headerData(4, Qt::Horizontal).toString(), "Bezeichnung");
    EXPECT_EQ(cell(0, 4), "Wagen A");
    EXPECT_EQ(cell(1, 4), "WagenB");
    EXPECT_EQ(cell(2, 4), "");
    // Only the label can be edited.
    EXPECT_FALSE(model().flags(model().index(0, 1)) & Qt::ItemIsEditable);

    f.Prot->setFocus();
    f.Prot->setCurrentIndex(model().index(2, 0));
    action("BezeichnungAendern1")->trigger();
    auto *editor = f.Prot->viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(f.Prot->currentIndex(), model().index(2, 4));
    QTest::keyClicks(editor, "Wagen C");
    QTest::keyClick(editor, Qt::Key_Return);
    // The view takes the text once the editor is done with the key.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !cell(2, 4).isEmpty(); }));
    EXPECT_EQ(cell(2, 4), "Wagen C");
    EXPECT_EQ(f.runs().at(2).label, "Wagen C");
    // The four columns of the list are untouched by labels.
    EXPECT_EQ(cell(2, 1), "00:00.3000 H");
    EXPECT_EQ(cell(2, 2), "0,150 m");
}

// Each run is in the journal the moment it is in the list; deleting or relabelling in the
// list leaves the journal as measured; a new session brings the runs back.
TEST_F(ProtocolWindowTest, JournalKeepsEveryRunAndLoadsBack)
{
    app::TForm1 &f = open();
    EXPECT_EQ(f.journal().folder(), config.dataFolder());
    int rowsWhenJournaled = -1;
    QObject::connect(f.Prot->model(), &QAbstractItemModel::rowsInserted, [&] {
        // The row is shown only once its line is on the disk.
        rowsWhenJournaled = int(journalBytes().count('\n')) - 1;
    });
    run(12345, "Wagen A");
    EXPECT_EQ(rowsWhenJournaled, 1);
    f.edtM->setValue(0.3);
    run(6789, "Wagen B");
    run(1);
    const QByteArray journal = journalBytes();
    EXPECT_EQ(journal, protocol::csvBytes(f.runs().runs(), {u';', u','}));
    EXPECT_TRUE(journal.contains("\r\n2026-12-06T14:03:27;0,6789;0,300;0,442;0,000;;Wagen B;0;H\r\n"));
    select({0});
    action("MessungLoeschen1")->trigger();
    f.runs().setLabel(0, "anders");
    EXPECT_EQ(journalBytes(), journal);

    const QStringList shown = {cell(0, 0), cell(0, 1), cell(0, 2), cell(0, 3)};
    form.reset();
    app::TForm1 &next = open();
    EXPECT_EQ(model().rowCount(), 0); // the protocol starts empty
    action("LetzteMessungen1")->trigger();
    ASSERT_EQ(model().rowCount(), 3);
    EXPECT_EQ(cell(0, 4), "Wagen A");
    EXPECT_EQ(QStringList({cell(1, 0), cell(1, 1), cell(1, 2), cell(1, 3)}), shown);
    EXPECT_EQ(cell(2, 3), "3000,000 m/s");
    // Loading is undone like a reset.
    action("Rueckgaengig1")->trigger();
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    (void)next;
}

TEST_F(ProtocolWindowTest, AJournalThatCannotBeWrittenIsReportedOnceAndRunsGoOn)
{
    // The data folder is a file.
    QDir().mkpath(config.dataHome());
    QFile blocker(config.dataFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    app::TForm1 &f = open();
    run(1000);
    run(2000);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(model().rowCount(), 2);
    // The journal and the session file are said once each.
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith("Die Messungen können nicht gesichert werden: "
                                       "Der Ordner ist eine Datei"))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[1].startsWith("Die Sitzung kann nicht gesichert werden"))
        << messages[1].toStdString();
    // Nothing to load: said in German.
    action("LetzteMessungen1")->trigger();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[2].startsWith("Es gibt noch keine gesicherten Messungen"))
        << messages[2].toStdString();
    EXPECT_EQ(model().rowCount(), 2);
    (void)f;
}

TEST_F(ProtocolWindowTest, NewRowsScrollIntoViewUnlessTheUserLooksAtOlderOnes)
{
    app::TForm1 &f = open();
    QScrollBar *bar = f.Prot->verticalScrollBar();
    const auto lastRowVisible = [&] {
        const QRect row = f.Prot->visualRect(model().index(model().rowCount() - 1, 0));
        return f.Prot->viewport()->rect().contains(row);
    };
    for (int i = 0; i < 40; ++i) {
        run(100 + i);
        QCoreApplication::processEvents();
        ASSERT_TRUE(lastRowVisible()) << i;
    }
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(3);
    run(500);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 3);
    EXPECT_FALSE(lastRowVisible());
    // Back at the end, it follows again.
    bar->setValue(bar->maximum());
    run(600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(lastRowVisible());
}

TF_QT_TEST_MAIN
