#include "app/MainForm.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"

#include "support/MainWindowSurroundings.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QTest>

namespace {

using timing::MeasurementMode;

class ModeLengthField : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override { lines.openable = {1}; }
    void TearDown() override { form.reset(); }

    app::TForm1 &open()
    {
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
        return *form;
    }
    void choose(MeasurementMode mode)
    {
        form->cmbMode->setItemIndexQuiet(int(mode));
        form->cmbModeChange();
    }
    QString caption() const { return form->findChild<QGroupBox *>(QStringLiteral("grpFlag"))->title(); }
};

// The flag field is the mode's length: typed in the pendulum mode it is the pendulum's,
// each pendulum run keeps it as its setting, and the next start finds every length again.
TEST_F(ModeLengthField, IsTheFlagThePendulumOrTheSpacingByMode)
{
    startAfresh();
    app::TForm1 &f = open();
    const struct
    {
        MeasurementMode mode;
        QString caption;
        double shown; // the default
        double typed;
    } cases[] = {
        {MeasurementMode::DarkTime, "Fahnenlänge", 0.025, 0.02},
        {MeasurementMode::Pendulum, "Pendellänge", 1.0, 0.64},
        {MeasurementMode::PicketFence, "Lattenabstand", 0.05, 0.04},
    };
    for (const auto &c : cases) {
        choose(c.mode);
        EXPECT_EQ(caption(), c.caption);
        EXPECT_DOUBLE_EQ(f.edtFlag->Value(), c.shown);
        f.edtFlag->setValue(c.typed);
        emit f.edtFlag->OnChange();
    }
    choose(MeasurementMode::BetweenBarriers);
    EXPECT_EQ(caption(), QStringLiteral("Fahnenlänge")); // the default mode's layout as it was
    EXPECT_DOUBLE_EQ(double(f.session().flagLength()), 0.02);
    EXPECT_DOUBLE_EQ(double(f.session().pendulumLength()), 0.64);
    EXPECT_DOUBLE_EQ(double(f.session().picketSpacing()), 0.04);

    // Two periods of 1,6 s: a run at l = 0,64 m, without a speed.
    choose(MeasurementMode::Pendulum);
    for (const timing::Ticks at : {100000, 108000, 116000, 124000, 132000}) {
        clock.set(at);
        lines.change(true, false, at);
        clock.set(at + 100);
        lines.change(false, false, at + 100);
    }
    clock.set(142000);
    f.DigitsTimerTimer();
    ASSERT_FALSE(f.session().runs().runs().isEmpty());
    const protocol::Run &run = f.session().runs().runs().back();
    EXPECT_DOUBLE_EQ(double(run.meters), 0.64);
    EXPECT_FALSE(run.speed());
    EXPECT_DOUBLE_EQ(double(f.session().series().back().key.setting), 0.64);

    form.reset();
    app::TForm1 &again = open();
    EXPECT_DOUBLE_EQ(double(again.session().pendulumLength()), 0.64);
    EXPECT_DOUBLE_EQ(double(again.session().picketSpacing()), 0.04);
    EXPECT_EQ(caption(), QStringLiteral("Pendellänge"));
    EXPECT_DOUBLE_EQ(again.edtFlag->Value(), 0.64);
}

} // namespace

TF_QT_TEST_MAIN
