#include "app/AdapterDialog.h"
#include "app/ExceptionHandler.h"
#include "app/HelpWindow.h"
#include "app/MainForm.h"
#include "platform/Locale.h"
#include "platform/Shell.h"
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

#include <QAccessible>
#include <QFileDialog>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

// The main window as keyboard and screen-reader users meet it.
class WindowAccessTest : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override
    {
        locale.pinNow(QDate(2026, 12, 6), QTime(14, 3, 27));
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override { form.reset(); }

    static QString accessible(QObject *object, QAccessible::Text text)
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
        return iface ? iface->text(text) : QStringLiteral("<none>");
    }

};

TEST_F(WindowAccessTest, EveryControlHasAnAccessibleName)
{
    const struct
    {
        const char *object;
        const char *name;
    } controls[] = {
        {"btn46", "Kontakt 1, Pins 4 und 6, Taste F5"},
        {"btn78", "Kontakt 2, Pins 7 und 8, Taste F6"},
        {"btnReset", "Reset, Taste F8"},
        {"btnInfo", "Info"},
        {"btnHelp", "Hilfe"},
        {"btnExport", "Export"},
        {"imgWiring", "Anschlussplan der seriellen Schnittstelle"},
        {"Prot", "Protokoll"},
        {"edtM", "Entfernung in Metern"},
        {"Digits", "Stoppuhrzeit"},
        {"GroupBox1", "Protokoll"},
        {"GroupBox2", "Entfernung"},
        {"GroupBox3", "PC COM PORT"},
        {"GroupBox4", "Algorhitmus"},
        {"GroupBox5", "Bezeichnung"},
        {"edtLabel", "Bezeichnung der nächsten Messungen"},
        {"Label1", "(metern)"},
    };
    for (const auto &c : controls) {
        auto *w = form->findChild<QWidget *>(c.object);
        ASSERT_TRUE(w) << c.object;
        EXPECT_EQ(accessible(w, QAccessible::Name), QString::fromUtf8(c.name)) << c.object;
    }
    // On Linux a drop-down's name is its current item, and its label is the group box
    // around it; elsewhere the name is the one the window gives it.
    const struct
    {
        widgets::TComboBox *combo;
        const char *label;
        const char *name;
    } combos[] = {
        {form->cmbPort, "PC COM PORT", "PC COM PORT"},
        {form->cmbAlg, "Algorhitmus", "Algorithmus: Leitung aktiv bei EIN oder AUS"},
    };
    for (const auto &c : combos) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(c.combo);
        ASSERT_TRUE(iface);
        QStringList labels;
        for (const auto &relation : iface->relations(QAccessible::Label))
            labels << relation.first->text(QAccessible::Name);
        EXPECT_EQ(labels, QStringList{c.label}) << c.label;
        EXPECT_EQ(c.combo->accessibleName(), QString::fromUtf8(c.name));
        EXPECT_EQ(iface->text(QAccessible::Value), c.combo->currentText());
    }

    // The buttons' shortcuts are announced with them.
    EXPECT_EQ(accessible(form->btnInfo, QAccessible::Accelerator), "Alt+I");
    EXPECT_EQ(accessible(form->btnExport, QAccessible::Accelerator), "Alt+E");
}

TEST_F(WindowAccessTest, DisplaysValueIsTheShownTime)
{
    QAccessibleInterface *display = QAccessible::queryAccessibleInterface(form->Digits);
    ASSERT_TRUE(display);
    EXPECT_EQ(display->role(), QAccessible::StaticText);
    EXPECT_EQ(display->text(QAccessible::Name), "Stoppuhrzeit");
    EXPECT_EQ(display->text(QAccessible::Value), "00:00.0000");

    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    clock.advance(12345);
    form->DigitsTimerTimer();
    EXPECT_EQ(display->text(QAccessible::Value), "00:01.2---");
    QTest::keyClick(form->windowHandle(), Qt::Key_F6);
    form->DigitsTimerTimer();
    EXPECT_EQ(display->text(QAccessible::Value), "00:01.2345");
}

TEST_F(WindowAccessTest, AltShortcutsReachInfoHelpAndExport)
{
    QSignalSpy info(form->btnInfo, &QAbstractButton::clicked);
    QTest::keyClick(form->windowHandle(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return info.count() == 1; }));

    QTest::keyClick(form->windowHandle(), Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto *help = form->findChild<app::HelpWindow *>();
        return help && help->isVisible();
    }));
    EXPECT_TRUE(shell.opened.isEmpty());
    // The help window took the focus; the main window's shortcuts work once it is back.
    form->findChild<app::HelpWindow *>()->close();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    int dialogs = 0;
    form->setSaveDialogRunner([&](QFileDialog &) {
        ++dialogs;
        return QString();
    });
    QTest::keyClick(form->windowHandle(), Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs == 1; }));
    EXPECT_TRUE(messages.isEmpty());
    // The shortcuts are no contacts: the chronometer never started.
    EXPECT_FALSE(form->running());
}

TEST_F(WindowAccessTest, TabWalksTheControlsInTheirOrderAndSkipsTheButtons)
{
    form->Prot->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Prot->hasFocus(); }));
    QStringList order;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        order << (focus ? focus->objectName() : QStringLiteral("<none>"));
    }
    EXPECT_EQ(order, QStringList({"edtM", "cmbPort", "cmbAlg", "edtLabel", "cmbMode", "edtFlag",
                                  "edtMin", "Prot"}));
}

TEST_F(WindowAccessTest, PortSelectorsMenuOpensTheAdapterDialog)
{
    EXPECT_EQ(form->cmbPort->contextMenuPolicy(), Qt::CustomContextMenu);
    auto *menu = form->findChild<QMenu *>("PortMenu");
    ASSERT_TRUE(menu);
    auto *action = menu->findChild<QAction *>("AdapterWaehlen1");
    ASSERT_TRUE(action);
    EXPECT_EQ(action->text(), QString::fromUtf8("&Adapter wählen …"));

    // A changed link for the port in use opens that port anew, on its new device; the
    // dialog's own window is the adapter dialog.
    lines.openable = {1};
    form->cmbPort->setItemIndexQuiet(1);
    form->cmbPortChange();
    ASSERT_TRUE(lines.active);
    ASSERT_TRUE(comm::writePortLink(1, QStringLiteral("/dev/null")).isEmpty());
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<app::AdapterDialog *>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->portButton(1)->setChecked(true);
            dialog->removeLink();
            dialog->accept();
        }
    });
    action->trigger();
    EXPECT_EQ(title, QString::fromUtf8("Adapter für COM 1 und COM 2"));
    EXPECT_EQ(lines.assigned, std::vector<int>({0, 1, 1}));
    EXPECT_EQ(form->cmbPort->currentIndex(), 1);
}

} // namespace

TF_QT_TEST_MAIN
