#include "comm/MyCommStatus.h"
#include "comm/SerialLookout.h"
#include "comm/CommTestSupport.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <stdexcept>
#include <thread>

using comm::MS_CTS_ON;
using comm::MS_DSR_ON;
using comm::MS_RING_ON;
using comm::MS_RLSD_ON;

namespace {

struct Lines
{
    bool cts, dsr, ri, rlsd;
    bool operator==(const Lines &) const = default;
};

Lines linesOf(const comm::TMyCommStatus &status)
{
    return {status.ClearToSend(), status.DataSetReady(), status.Ring(), status.ReceiveLine()};
}

Lines linesOf(std::uint32_t word)
{
    return {bool(word & MS_CTS_ON), bool(word & MS_DSR_ON), bool(word & MS_RING_ON),
            bool(word & MS_RLSD_ON)};
}

constexpr Lines AllOff{false, false, false, false};

bool threadGone(pid_t tid)
{
    return tid != 0 && !QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(tid));
}

class MyCommStatusTest : public ::testing::Test
{
protected:
    MyCommStatusTest()
    {
        waits = ports.add(1, FakeModemLines::Waits);
        other = ports.add(2, FakeModemLines::Waits);
        polled = ports.add(3, FakeModemLines::Polled);
        mute = ports.add(5, FakeModemLines::Mute);
        noCounters = ports.add(6, FakeModemLines::WaitsNoCounters);
        slow = ports.add(7, FakeModemLines::SlowPolled);
    }

    void SetUp() override
    {
        status = std::make_unique<comm::TMyCommStatus>();
        status->setOnChanged([this](QObject *sender) {
            ++changes;
            senders.push_back(sender);
            seen.push_back(linesOf(*status));
        });
    }

    void TearDown() override
    {
        status.reset();
        // Nothing of this test may linger into the next one.
        EXPECT_TRUE(waitFor([this] {
            return waits->openPorts() + other->openPorts() + polled->openPorts() +
                       noCounters->openPorts() + slow->openPorts() ==
                   0;
        }));
    }

    // Waits until the watcher has reported the lines `expected`.
    bool reported(Lines expected)
    {
        return waitFor([&] { return !seen.empty() && seen.back() == expected; });
    }

    FakeSerialPorts ports;
    WatcherClock clock;
    std::shared_ptr<FakeModemLines> waits, other, polled, mute, noCounters, slow;
    std::unique_ptr<comm::TMyCommStatus> status;
    int changes = 0;
    std::vector<QObject *> senders;
    std::vector<Lines> seen;
};

TEST_F(MyCommStatusTest, NewComponentHasNoPortAndReadsAllLinesOff)
{
    EXPECT_EQ(status->Comm(), 0);
    EXPECT_FALSE(status->Active());
    EXPECT_EQ(linesOf(*status), AllOff);
    EXPECT_NE(status->watcher(), nullptr);
}

// Ports with and without a change wait behave alike.
class PortKinds : public MyCommStatusTest, public ::testing::WithParamInterface<std::uint8_t>
{
protected:
    FakeModemLines &lines()
    {
        switch (GetParam()) {
        case 1:
            return *waits;
        case 3:
            return *polled;
        case 6:
            return *noCounters;
        default:
            return *slow;
        }
    }
};

TEST_P(PortKinds, AssignmentReportsAllLinesOffThenTheWatcherReportsTheLinesThatAreOn)
{
    lines().set(MS_DSR_ON);
    status->ChangePort(GetParam());

    EXPECT_TRUE(status->Active());
    EXPECT_EQ(status->Comm(), GetParam());
    ASSERT_EQ(changes, 1);
    EXPECT_EQ(senders[0], status.get());
    EXPECT_EQ(seen[0], AllOff);

    ASSERT_TRUE(reported({false, true, false, false}));
    EXPECT_EQ(changes, 2);
    // The watcher's reports name the component as the sender too.
    EXPECT_EQ(senders[1], status.get());
    EXPECT_TRUE(status->DataSetReady());
}

TEST_P(PortKinds, EveryLineAloneIsReportedOnAndOff)
{
    status->ChangePort(GetParam());
    for (std::uint32_t bit : {MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON}) {
        SCOPED_TRACE(bit);
        lines().set(bit);
        EXPECT_TRUE(reported(linesOf(bit)));
        lines().set(0);
        EXPECT_TRUE(reported(AllOff));
    }
}

TEST_P(PortKinds, NoPortClosesTheOpenPortAndReportsOnce)
{
    lines().set(MS_CTS_ON | MS_DSR_ON);
    status->ChangePort(GetParam());
    ASSERT_TRUE(reported({true, true, false, false}));

    changes = 0;
    status->ChangePort(0);
    EXPECT_FALSE(status->Active());
    EXPECT_EQ(linesOf(*status), AllOff);
    EXPECT_EQ(changes, 1);
    // The watcher lets go of the port even while it blocks in the change wait.
    EXPECT_TRUE(waitFor([&] { return lines().openPorts() == 0; }));

    lines().set(MS_RING_ON);
    handleEventsFor(100);
    EXPECT_EQ(changes, 1);
}

TEST_P(PortKinds, SameNumberReopensThePortAndReportsAgain)
{
    lines().set(MS_DSR_ON);
    status->ChangePort(GetParam());
    ASSERT_TRUE(reported({false, true, false, false}));
    const int opened = lines().timesOpened();

    changes = 0;
    status->ChangePort(GetParam());
    EXPECT_EQ(lines().timesOpened(), opened + 1);
    EXPECT_TRUE(status->Active());
    EXPECT_EQ(seen.back(), AllOff);
    EXPECT_TRUE(reported({false, true, false, false}));
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(waitFor([&] { return lines().openPorts() == 1; }));
}

TEST_P(PortKinds, DestroyingTheComponentEndsTheWatcherAndClosesThePort)
{
    status->ChangePort(GetParam());
    ASSERT_TRUE(waitFor([&] { return status->watcher()->threadId() != 0; }));
    const pid_t tid = status->watcher()->threadId();
    status.reset();
    EXPECT_TRUE(waitFor([&] { return lines().openPorts() == 0 && threadGone(tid); }));
}

TEST_P(PortKinds, AnAdapterThatIsPulledIsClosedAtOnceAndCanBeChosenAgain)
{
    lines().set(MS_DSR_ON | MS_CTS_ON);
    status->ChangePort(GetParam());
    ASSERT_TRUE(reported({true, true, false, false}));
    const std::string name = "COM" + std::to_string(GetParam());

    changes = 0;
    lines().unplug();
    ASSERT_TRUE(waitFor([&] { return changes == 1; }));
    EXPECT_FALSE(status->Active());
    EXPECT_EQ(linesOf(*status), AllOff);
    EXPECT_EQ(status->message().toStdString(),
              "The adapter of " + name + " was removed; the port has been closed");
    EXPECT_EQ(status->Comm(), GetParam());
    // Closed, and nobody knocks at the dead device any more.
    EXPECT_TRUE(waitFor([&] { return lines().openPorts() == 0; }));
    EXPECT_TRUE(waitFor([&] { return status->watcher()->tier() == comm::TMyCommTier::None; }));
    const std::int64_t reads = lines().reads();
    handleEventsFor(100);
    EXPECT_EQ(lines().reads(), reads);
    EXPECT_EQ(changes, 1);

    // While it is away, choosing it fails; plugged in again, it works.
    status->ChangePort(GetParam());
    EXPECT_FALSE(status->Active());
    lines().replug();
    status->ChangePort(GetParam());
    EXPECT_TRUE(status->Active());
    EXPECT_TRUE(status->message().isEmpty());
    EXPECT_TRUE(reported({true, true, false, false}));
}

TEST_P(PortKinds, TheWatcherFollowsEachDriverInItsTier)
{
    const comm::TMyCommTier expected = GetParam() == 1 || GetParam() == 6
                                           ? comm::TMyCommTier::ChangeWait
                                       : GetParam() == 3 ? comm::TMyCommTier::Polled
                                                         : comm::TMyCommTier::BackToBack;
    status->ChangePort(GetParam());
    lines().set(MS_RING_ON);
    ASSERT_TRUE(reported({false, false, true, false}));
    // The watcher tries the change wait first; a driver without one is known only once
    // that first wait has been refused, which may come after the first report.
    EXPECT_TRUE(waitFor([&] { return status->watcher()->tier() == expected; }))
        << int(status->watcher()->tier());
    // Choosing a port arms it; the end of a run disarms.
    EXPECT_TRUE(status->watcher()->armed());
    status->setArmed(false);
    EXPECT_FALSE(status->watcher()->armed());
}

INSTANTIATE_TEST_SUITE_P(Waiting, PortKinds, ::testing::Values(std::uint8_t(1)));
INSTANTIATE_TEST_SUITE_P(WaitingWithoutCounters, PortKinds, ::testing::Values(std::uint8_t(6)));
INSTANTIATE_TEST_SUITE_P(Polled, PortKinds, ::testing::Values(std::uint8_t(3)));
INSTANTIATE_TEST_SUITE_P(SlowPolled, PortKinds, ::testing::Values(std::uint8_t(7)));

// The kernel's change wait compares with the counters it finds on entry: a contact that
// moves after the watcher's last look but before that snapshot does not end the wait.
// The lookout finds it long before the safety bound (here longer than any test), and the
// report says that its instant is late; changes the wait sees stay on time.
class ChangeWaits : public PortKinds
{
protected:
    void SetUp() override
    {
        comm::TMyCommWatcher::setWaitBound(3600'000'000'000);
        PortKinds::SetUp();
    }
    void TearDown() override
    {
        PortKinds::TearDown();
        comm::TMyCommWatcher::setWaitBound(0);
    }
};

TEST_P(ChangeWaits, ABounceJustBeforeTheDriversSnapshotIsFoundAtOnceAndMarkedLate)
{
    std::vector<std::optional<comm::TMyCommInstant>> instants;
    status->setOnChanged([&](QObject *) {
        seen.push_back(linesOf(*status));
        instants.push_back(status->changeInstant());
    });
    status->ChangePort(GetParam());
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return lines().waitsStarted() > 0; }));
    std::uint32_t word = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        // The watcher waits on the lines as they are now, and the lookout is done with that
        // wait, so that a slow wake on a loaded machine cannot be taken for a missed change.
        ASSERT_TRUE(waitFor([&] {
            return lines().waitingSinceLastSet() && status->watcher()->lookoutResting();
        }));
        // The contact bounces and settles inside the window of the next wait, which a
        // ring (that the wait does see) makes sure comes.
        const std::uint32_t settled = (word ^ MS_DSR_ON) & MS_DSR_ON;
        lines().beforeNextWait([&, settled] {
            lines().set((lines().word() & ~MS_DSR_ON) | (settled ^ MS_DSR_ON));
            lines().set((lines().word() & ~MS_DSR_ON) | settled);
        });
        const std::size_t before = seen.size();
        word ^= MS_RING_ON;
        lines().set(word);
        word ^= MS_DSR_ON;
        ASSERT_TRUE(reported(linesOf(word)));
        ASSERT_EQ(seen.size(), before + 2);
        // The ring, seen by the wait, is on time; the bounce it slept through is late, and
        // the change may lie up to the lookout's first look and its grace before the read.
        EXPECT_FALSE(instants[before]->late);
        EXPECT_TRUE(instants[before + 1]->late);
        EXPECT_GE(instants[before + 1]->uncertaintyNs,
                  comm::SerialLookout::FirstLookNs + comm::SerialLookout::GraceNs);
    }
    // A change the wait sees as it happens is on time: made once the watcher is back in a
    // wait and the lookout is done with it, so that only the kernel's wake can end it.
    ASSERT_TRUE(waitFor(
        [&] { return lines().waitingSinceLastSet() && status->watcher()->lookoutResting(); }));
    lines().set(MS_CTS_ON);
    ASSERT_TRUE(reported({true, false, false, false}));
    EXPECT_FALSE(instants.back()->late);
}

INSTANTIATE_TEST_SUITE_P(WithCounters, ChangeWaits, ::testing::Values(std::uint8_t(1)));
INSTANTIATE_TEST_SUITE_P(WithoutCounters, ChangeWaits, ::testing::Values(std::uint8_t(6)));

TEST_F(MyCommStatusTest, DestroyingTheComponentWithoutAPortEndsTheWatcher)
{
    ASSERT_TRUE(waitFor([&] { return status->watcher()->threadId() != 0; }));
    const pid_t tid = status->watcher()->threadId();
    status.reset();
    EXPECT_TRUE(waitFor([&] { return threadGone(tid); }));
}

// Ports that cannot be used: none open, and the watcher reports nothing for them.
TEST_F(MyCommStatusTest, UnusablePortsLeaveActiveFalseAndReportNothing)
{
    const struct
    {
        std::uint8_t number;
        const char *what;
    } rows[] = {{4, "does not exist"}, {5, "cannot report its lines"}, {255, "no selection"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        // A word left from a good port must not show up for the bad one.
        waits->set(MS_DSR_ON);
        status->ChangePort(1);
        ASSERT_TRUE(reported({false, true, false, false}));

        changes = 0;
        status->ChangePort(row.number);
        EXPECT_EQ(status->Comm(), row.number);
        EXPECT_FALSE(status->Active());
        EXPECT_EQ(linesOf(*status), AllOff);
        EXPECT_EQ(changes, 1);
        mute->set(MS_CTS_ON);
        waits->set(MS_CTS_ON);
        handleEventsFor(100);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(linesOf(*status), AllOff);
        EXPECT_EQ(mute->openPorts(), 0);
        waits->set(0);
    }
}

TEST_F(MyCommStatusTest, WritingTheLinePropertiesChangesNothing)
{
    waits->set(MS_CTS_ON | MS_DSR_ON);
    status->ChangePort(1);
    ASSERT_TRUE(reported({true, true, false, false}));
    for (const char *name : {"ClearToSend", "DataSetReady", "Ring", "ReceiveLine"}) {
        SCOPED_TRACE(name);
        const bool before = status->property(name).toBool();
        EXPECT_TRUE(status->setProperty(name, !before));
        EXPECT_EQ(status->property(name).toBool(), before);
    }
    EXPECT_EQ(linesOf(*status), (Lines{true, true, false, false}));
}

TEST_F(MyCommStatusTest, PropertiesAreThoseOfTheComponent)
{
    status->setProperty("Comm", 1);
    EXPECT_EQ(status->Comm(), 1);
    EXPECT_TRUE(status->property("Active").toBool());
    EXPECT_FALSE(status->setProperty("Active", false));
    EXPECT_TRUE(status->Active());
}

// The watcher does not wait for the window: a bouncing contact is read and stamped as it
// moves while the window is still busy with an earlier report, and the window then gets
// every change, in order, one at a time, each with the instant of the read that saw it.
TEST_F(MyCommStatusTest, ChangesWhileTheWindowIsBusyAreStampedAsTheyHappenAndComeInOrder)
{
    std::vector<std::optional<comm::TMyCommInstant>> instants;
    bool inHandler = false;
    bool nested = false;
    status->setOnChanged([&](QObject *) {
        nested = nested || inHandler;
        inHandler = true;
        seen.push_back(linesOf(*status));
        instants.push_back(status->changeInstant());
        // A handler that runs the event loop itself still gets no second report inside.
        QCoreApplication::processEvents();
        inHandler = false;
    });
    status->ChangePort(1);
    ASSERT_TRUE(waitFor([&] { return waits->waitsStarted() > 0; }));
    const struct
    {
        std::uint32_t word;
        std::int64_t at;
    } edges[] = {{MS_DSR_ON, 2'000'000},
                 {0, 2'000'007},
                 {MS_DSR_ON, 2'000'019},
                 {MS_DSR_ON | MS_CTS_ON, 2'012'345}};
    // This thread handles no events meanwhile: the window is busy.
    bool first = true;
    for (const auto &edge : edges) {
        // Each change comes once the watcher waits on the lines as they are and the lookout
        // is done with that wait: only the kernel's wake ends it then, and a slow wake on a
        // loaded machine is not taken for a change the wait slept through.
        ASSERT_TRUE(waitFor(
            [&] {
                return (first || waits->waitingSinceLastSet()) &&
                       status->watcher()->lookoutResting();
            },
            false));
        first = false;
        clock.set(edge.at);
        waits->set(edge.word);
        ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(waits->firstRead()); }, false))
            << edge.at;
    }
    clock.set(9'999'999);
    ASSERT_TRUE(waitFor([&] { return instants.size() == std::size(edges) + 1; }));
    EXPECT_FALSE(nested);
    EXPECT_EQ(seen.front(), AllOff);
    for (std::size_t i = 0; i < std::size(edges); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i + 1], linesOf(edges[i].word));
        ASSERT_TRUE(instants[i + 1].has_value());
        EXPECT_EQ(instants[i + 1]->counter, edges[i].at);
        // Read as it happened, though the window was busy: no doubt about it.
        EXPECT_FALSE(instants[i + 1]->late);
    }
}

// A change that comes just after the safety bound ended a wait, and that the next read
// sees as it happens, is a regular read of its tier: not late.
TEST_F(MyCommStatusTest, AChangeReadRightAfterTheSafetyBoundIsNotLate)
{
    comm::TMyCommWatcher::setWaitBound(2'000'000);
    std::vector<std::optional<comm::TMyCommInstant>> instants;
    status->setOnChanged([&](QObject *) {
        seen.push_back(linesOf(*status));
        instants.push_back(status->changeInstant());
    });
    status->ChangePort(1);
    std::uint32_t word = 0;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        // The watcher is in a wait that only its bound can end.
        const auto waitsBefore = waits->waitsStarted();
        ASSERT_TRUE(waitFor([&] { return waits->waitsStarted() > waitsBefore; }));
        word ^= MS_DSR_ON;
        waits->beforeNextRead([&, word] { waits->set(word); });
        ASSERT_TRUE(reported(linesOf(word)));
        ASSERT_TRUE(instants.back().has_value());
        EXPECT_FALSE(instants.back()->late);
    }
    comm::TMyCommWatcher::setWaitBound(0);
}

TEST_F(MyCommStatusTest, AnErrorOfTheHandlerEndsTheWatcherSilently)
{
    status->ChangePort(1);
    bool fail = true;
    int handled = 0;
    status->setOnChanged([&](QObject *) {
        ++handled;
        if (fail)
            throw std::runtime_error("handler failed");
    });
    waits->set(MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return handled == 1; }));
    ASSERT_TRUE(waitFor([&] { return status->watcher() == nullptr; }));

    // Later changes are not reported, while everything else goes on.
    fail = false;
    waits->set(MS_CTS_ON);
    handleEventsFor(100);
    EXPECT_EQ(handled, 1);
    status->ChangePort(2);
    EXPECT_TRUE(status->Active());
    EXPECT_EQ(handled, 2);
    other->set(MS_DSR_ON);
    handleEventsFor(100);
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(linesOf(*status), AllOff);
    status->ChangePort(0);
    EXPECT_TRUE(waitFor([&] { return waits->openPorts() + other->openPorts() == 0; }));
}

TEST_F(MyCommStatusTest, AnErrorOfTheHandlerDuringAPortChangeReachesTheCaller)
{
    status->setOnChanged([](QObject *) { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(status->ChangePort(1), std::runtime_error);
    EXPECT_TRUE(status->Active());
    // The watcher was not involved and goes on.
    int handled = 0;
    status->setOnChanged([&](QObject *) { ++handled; });
    waits->set(MS_RLSD_ON);
    EXPECT_TRUE(waitFor([&] { return handled == 1; }));
    EXPECT_TRUE(status->ReceiveLine());
}

TEST_F(MyCommStatusTest, AReportOnItsWayNeverReachesADestroyedComponent)
{
    status->ChangePort(1);
    ASSERT_TRUE(waitFor([&] { return waits->waitsStarted() > 0; }));
    waits->set(MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(waits->firstRead()); }, false));
    const pid_t tid = status->watcher()->threadId();
    const int before = changes;
    status.reset();
    handleEventsFor(50);
    EXPECT_EQ(changes, before);
    EXPECT_TRUE(waitFor([&] { return threadGone(tid) && waits->openPorts() == 0; }));
}

TEST_F(MyCommStatusTest, EachReportCarriesTheInstantOfTheReadThatSawIt)
{
    std::vector<std::optional<comm::TMyCommInstant>> instants;
    status->setOnChanged([&](QObject *) { instants.push_back(status->changeInstant()); });
    status->ChangePort(1);
    ASSERT_EQ(instants.size(), 1u);
    EXPECT_FALSE(instants[0].has_value());

    ASSERT_TRUE(waitFor([&] { return waits->waitsStarted() > 0; }));
    clock.set(5'000'000);
    waits->set(MS_CTS_ON);
    ASSERT_TRUE(waitFor([&] { return clock.stampedAfter(waits->firstRead()); }, false));
    clock.set(5'000'777);
    ASSERT_TRUE(waitFor([&] { return instants.size() == 2; }));
    ASSERT_TRUE(instants[1].has_value());
    EXPECT_EQ(instants[1]->counter, 5'000'000);
    EXPECT_EQ(instants[1]->frequency, 10'000);
    EXPECT_FALSE(status->changeInstant().has_value());
}

// Port changes in quick succession while the lines move: every wake must reach the
// watcher, or it would stay with an old port.
TEST_F(MyCommStatusTest, RapidPortChangesLoseNoWake)
{
    const std::uint8_t sequence[] = {1, 2, 0, 3, 1, 1, 2, 3, 0, 2};
    for (int round = 0; round < 30; ++round) {
        for (std::uint8_t n : sequence) {
            status->ChangePort(n);
            waits->set(round % 2 ? MS_DSR_ON : MS_CTS_ON);
            other->set(round % 2 ? MS_CTS_ON : MS_RING_ON);
            QCoreApplication::processEvents();
        }
    }
    status->ChangePort(2);
    other->set(MS_RLSD_ON | MS_DSR_ON);
    EXPECT_TRUE(reported({false, true, false, true}));
    EXPECT_TRUE(waitFor([&] {
        return waits->openPorts() == 0 && polled->openPorts() == 0 && other->openPorts() == 1;
    }));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
