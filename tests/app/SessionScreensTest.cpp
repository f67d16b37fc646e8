// The window as a class sees it, drawn offscreen in German and kept as pictures: an
// enlarged window with two series, and the projector in the acceleration and pendulum
// modes, each checked for what it must say.
#include "app/Classroom.h"
#include "app/MainForm.h"
#include "app/ProjectorView.h"
#include "app/StatisticsStrip.h"
#include "support/MainWindowSurroundings.h"
#include "support/QtTestMain.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QTest>

namespace {

class SessionScreens : public ::testing::Test, protected MainWindowSurroundings
{
protected:
    void SetUp() override
    {
        locale.pinNow(QDate(2026, 12, 7), QTime(10, 15, 30));
        lines.openable = {1};
        startAfresh();
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->cmbPort->setItemIndexQuiet(1);
        form->cmbPortChange();
        QDir().mkpath(QStringLiteral(TF_SCREENSHOT_DIR));
    }
    void TearDown() override { form.reset(); }

    // The window's picture, kept under the build folder for a person to look at.
    void keep(QWidget &w, const char *name)
    {
        QCoreApplication::processEvents();
        const QString path = QStringLiteral(TF_SCREENSHOT_DIR "/%1.png").arg(QLatin1StringView(name));
        EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
    }
    // A cart between the barriers: contact 1 at `at`, contact 2 `ticks` later.
    void cart(timing::Ticks at, timing::Ticks ticks)
    {
        clock.set(at);
        lines.change(true, false, at);
        lines.change(false, false, at + 100);
        clock.set(at + ticks);
        lines.change(false, true, at + ticks);
        lines.change(false, false, at + ticks + 100);
        form->DigitsTimerTimer();
    }
    void edges(const std::vector<std::tuple<bool, bool, timing::Ticks>> &list)
    {
        for (const auto &[dsr, cts, at] : list) {
            clock.set(at);
            lines.change(dsr, cts, at);
        }
        clock.set(std::get<2>(list.back()) + 12000);
        form->DigitsTimerTimer();
    }
    void mode(timing::MeasurementMode m)
    {
        form->cmbMode->setItemIndexQuiet(int(m));
        form->cmbModeChange();
    }
    app::ProjectorView *projector()
    {
        if (!form->classroom()->projector() || !form->classroom()->projector()->isVisible())
            form->classroom()->toggleProjector();
        form->classroom()->refresh();
        return form->classroom()->projector();
    }
};

TEST_F(SessionScreens, AnEnlargedWindowWithTwoSeriesAndTheProjectorInTwoModes)
{
    app::TForm1 &f = *form;
    f.resize(f.minimumSize() + QSize(420, 260));
    f.edtLabel->setText(QStringLiteral("Wagen A"));
    f.edtM->setValue(0.5);
    for (int i = 0; i < 3; ++i)
        cart(2'000'000 + i * 100'000, 14'142 + i * 7);
    f.edtM->setValue(1.0);
    for (int i = 0; i < 3; ++i)
        cart(3'000'000 + i * 100'000, 20'000 + i * 9);
    ASSERT_EQ(f.runs().size(), 6);
    ASSERT_EQ(f.session().series().size(), 2);
    keep(f, "window-two-series");
    // Two distances: no line over both, one per series, named by its distance.
    const QList<QStringList> cells = f.Statistik->cellTexts();
    ASSERT_EQ(cells.size(), 2);
    EXPECT_TRUE(cells[0][0].contains(QStringLiteral("s = 0,500 m")));
    EXPECT_TRUE(cells[1][0].contains(QStringLiteral("s = 1,000 m")));

    // A pass through both barriers: the flag darkens each, the cart speeds up.
    mode(timing::MeasurementMode::Acceleration);
    edges({{true, false, 4'000'000}, {false, false, 4'000'500}, {false, true, 4'010'000},
           {false, false, 4'010'400}});
    app::ProjectorView *p = projector();
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->statisticsText().contains(QStringLiteral("a = "))) << p->statisticsText().toStdString();
    EXPECT_TRUE(p->lastRunText().contains(QStringLiteral("v2 = "))) << p->lastRunText().toStdString();
    keep(*p, "projector-acceleration");

    // A pendulum passing barrier 1 every 0,7 s: every second passage is a period.
    mode(timing::MeasurementMode::Pendulum);
    std::vector<std::tuple<bool, bool, timing::Ticks>> passages;
    for (int k = 0; k < 5; ++k) {
        passages.emplace_back(true, false, 5'000'000 + k * 7'000);
        passages.emplace_back(false, false, 5'000'200 + k * 7'000);
    }
    edges(passages);
    p = projector();
    EXPECT_TRUE(p->statisticsText().contains(QStringLiteral("T = 1,4000 s"))) << p->statisticsText().toStdString();
    EXPECT_TRUE(p->statisticsText().contains(QStringLiteral("2 Messungen")));
    keep(*p, "projector-pendulum");
}

} // namespace

TF_QT_TEST_MAIN
