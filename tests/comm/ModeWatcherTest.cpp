#include "app/CommLineSource.h"
#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "protocol/ModeRuns.h"
#include "protocol/NumberFormat.h"
#include "timing/Chronometer.h"
#include "timing/ModeEngine.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using comm::MS_DSR_ON;
using timing::MeasurementMode;
using timing::Ticks;

namespace {

// The measurement modes fed by the watcher from a fake port, as the window feeds them.
class ModeWatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port1 = ports.add(1);
        status = std::make_unique<comm::TMyCommStatus>();
        lines = std::make_unique<app::CommLineSource>(*status);
        chrono = std::make_unique<timing::Chronometer>(*lines);
        engine.setFlagMeters(0.025L);
        lines->setOnChanged([this] {
            ++reports;
            if (lines->changeTicks())
                stated.push_back(lines->changeUncertainty());
            engine.evaluateLines(*chrono, *lines, out);
        });
        const auto suppression = chrono->suppress();
        lines->setComm(1);
    }

    void TearDown() override
    {
        lines->setOnChanged(nullptr);
        chrono.reset();
        lines.reset();
        status.reset();
    }

    // Barrier 1 goes dark (or light) at tick `at`; returns once its report is handled.
    void barrier1(bool dark, Ticks at)
    {
        const int before = reports;
        clock.set(at);
        port1->set(dark ? MS_DSR_ON : 0);
        ASSERT_TRUE(waitFor([&] { return reports > before && chrono->line1() == dark; }));
    }

    FakeSerialPorts ports;
    WatcherClock clock;
    std::shared_ptr<FakeModemLines> port1;
    std::unique_ptr<comm::TMyCommStatus> status;
    std::unique_ptr<app::CommLineSource> lines;
    std::unique_ptr<timing::Chronometer> chrono;
    timing::ModeEngine engine;
    timing::ModeOutput out;
    int reports = 0;
    std::vector<double> stated; // each change's instant uncertainty, in seconds
};

TEST_F(ModeWatcherTest, A25mmFlagAtHalfAMetreASecondDarkensBarrier1For50ms)
{
    engine.setMode(MeasurementMode::DarkTime);
    barrier1(true, 2'000'000);
    barrier1(false, 2'000'500);
    engine.poll(2'001'000, out);

    ASSERT_EQ(out.runs.size(), 1u);
    ASSERT_EQ(stated.size(), 2u);
    const protocol::Run run = protocol::makeRun(out.runs[0], timing::MeasurementMode::DarkTime, {}, {}, {});
    ASSERT_TRUE(run.ticks);
    EXPECT_EQ(protocol::formatFixed3(*run.ticks / 10000.0L, u','), "0,050");
    ASSERT_TRUE(run.speed());
    EXPECT_EQ(protocol::formatFixed3(*run.speed(), u','), "0,500");
    EXPECT_DOUBLE_EQ(run.uncertaintyMs, (stated[0] + stated[1]) * 1000.0);
    EXPECT_EQ(run.extra[1].name, "v");
    EXPECT_EQ(protocol::formatFixed3(*run.extra[1].value, u','), "0,500");
    EXPECT_FALSE(run.late);
}

TEST_F(ModeWatcherTest, APendulumOfPeriod1point4sGivesThatPeriodWithinTheInstantsUncertainty)
{
    engine.setMode(MeasurementMode::Pendulum);
    // Three passages of 20 ms, every 0.7 s: the first and the third begin a period apart.
    for (Ticks at : {2'000'000, 2'007'000, 2'014'000}) {
        barrier1(true, at);
        barrier1(false, at + 200);
    }
    engine.poll(2'015'000, out);

    ASSERT_EQ(out.runs.size(), 1u);
    ASSERT_EQ(stated.size(), 6u);
    const protocol::Run run = protocol::makeRun(out.runs[0], timing::MeasurementMode::DarkTime, {}, {}, {});
    EXPECT_EQ(run.ticks, 14'000);
    ASSERT_EQ(run.extra.size(), 1);
    EXPECT_EQ(protocol::formatFixed(*run.extra[0].value, 4, u','), "1,4000");
    EXPECT_DOUBLE_EQ(double(run.extra[0].uncertainty), stated[0] + stated[4]);
    EXPECT_DOUBLE_EQ(run.uncertaintyMs, (stated[0] + stated[4]) * 1000.0);
    EXPECT_EQ(engine.DigitsText(2'015'000), "00:00.1---"); // the next period runs
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
