#include "app/CommLineSource.h"
#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "session/Session.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>

using comm::MS_CTS_ON;
using comm::MS_DSR_ON;
using timing::MeasurementMode;
using timing::Ticks;

namespace {

// The session on the modem-status component over a port that behaves like the kernel's
// driver, without a window: the window's queue is drained when the test says so.
class SessionWatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port1 = ports.add(1);
        status = std::make_unique<comm::TMyCommStatus>();
        lines = std::make_unique<app::CommLineSource>(*status);
        session = std::make_unique<session::Session>(*lines);
        lines->setOnChanged([this] {
            ++reports;
            session->linesChanged();
        });
    }

    void TearDown() override
    {
        lines->setOnChanged(nullptr);
        session.reset();
        lines.reset();
        status.reset();
    }

    // The lines become `word` at tick `at`; returns once the watcher has read it. With
    // `drain`, also once the window has handled the report.
    void lineWord(std::uint32_t word, Ticks at, bool drain = true)
    {
        const int before = reports;
        clock.set(at);
        port1->set(word);
        ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(port1->firstRead()); }, false));
        if (drain)
            ASSERT_TRUE(waitFor([&] { return reports > before; }));
    }

    FakeSerialPorts ports;
    WatcherClock clock;
    std::shared_ptr<FakeModemLines> port1;
    std::unique_ptr<comm::TMyCommStatus> status;
    std::unique_ptr<app::CommLineSource> lines;
    std::unique_ptr<session::Session> session;
    int reports = 0;
};

TEST_F(SessionWatcherTest, AContactHeldWhenThePortOpensStartsNothing)
{
    port1->set(MS_DSR_ON);
    session->openPort(1);
    ASSERT_TRUE(status->Active());
    // The watcher's first read reports the closed contact as a change.
    ASSERT_TRUE(waitFor([&] { return session->chronometer().line1(); }));
    EXPECT_FALSE(session->running());
    EXPECT_EQ(session->armedState(), session::ArmedState::ContactFault);
    lineWord(MS_DSR_ON | MS_CTS_ON, 2'000'000);
    lineWord(MS_DSR_ON, 2'001'000);
    EXPECT_TRUE(session->runs().isEmpty());
    // Once released it counts.
    lineWord(0, 2'002'000);
    EXPECT_EQ(session->armedState(), session::ArmedState::Ready);
    lineWord(MS_DSR_ON, 2'010'000);
    lineWord(MS_DSR_ON | MS_CTS_ON, 2'022'345);
    ASSERT_EQ(session->runs().size(), 1);
    EXPECT_EQ(session->runs().at(0).ticks, 12'345);
}

TEST_F(SessionWatcherTest, BothLinesInOneReportGiveNoRow)
{
    session->openPort(1);
    lineWord(0, 2'000'000, false);
    // The watcher has read the port and vouches for its lines at rest.
    ASSERT_TRUE(waitFor([&] { return lines->quietUntil().has_value(); }));
    lineWord(MS_DSR_ON | MS_CTS_ON, 2'010'000);
    EXPECT_FALSE(session->running());
    EXPECT_TRUE(session->runs().isEmpty());
    EXPECT_FALSE(session->stateNote().isEmpty());
}

// Five passages of a pendulum, each with a bounce, while the window drains its queue late:
// the display timer runs at a wall clock far past the queued edges before they arrive.
TEST_F(SessionWatcherTest, APendulumWithBouncesAndABusyWindowGivesItsPeriods)
{
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "busy window" : "calm window");
        session->runs().clear();
        session->setMode(MeasurementMode::Pendulum);
        session->setMinimumMs(MeasurementMode::Pendulum, 1);
        session->openPort(1);
        ASSERT_TRUE(waitFor([&] { return lines->quietUntil().has_value(); }));
        for (int k = 0; k < 5; ++k) {
            const Ticks t = 2'000'000 + k * 7'000;
            for (const auto &[offset, word] :
                 {std::pair<Ticks, std::uint32_t>{0, MS_DSR_ON}, {100, 0}, {103, MS_DSR_ON}, {200, 0}}) {
                lineWord(word, t + offset, !busy);
                if (busy) {
                    // The timer fires first, a second after the edge, while its report waits.
                    session->poll(t + offset + 10'000);
                    ASSERT_TRUE(waitFor([&] { return session->chronometer().line1() == (word != 0); }));
                }
            }
        }
        clock.set(2'100'000);
        ASSERT_TRUE(waitFor([&] {
            session->poll(2'100'000);
            return session->runs().size() >= 2;
        }));
        ASSERT_EQ(session->runs().size(), 2);
        for (const protocol::Run &run : session->runs().runs())
            EXPECT_EQ(run.ticks, 14'000);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
