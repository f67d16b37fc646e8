#include "comm/MyCommStatus.h"
#include "comm/SelfTest.h"
#include "comm/SerialLookout.h"
#include "comm/CommTestSupport.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
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
    // The watcher lets go of the port even while it blocks in the change wait, and what it
    // read before reaches nobody.
    ASSERT_TRUE(waitFor([&] { return lines().openPorts() == 0; }));
    lines().set(MS_RING_ON);
    ASSERT_TRUE(waitFor([&] {
        return status->watcher()->tier() == comm::TMyCommTier::None &&
               !status->watcher()->delivering();
    }));
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
    // Closed (no port on the device is left to knock at it), and nothing else comes.
    EXPECT_TRUE(waitFor([&] {
        return lines().openPorts() == 0 &&
               status->watcher()->tier() == comm::TMyCommTier::None &&
               !status->watcher()->delivering();
    }));
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


// The bound on wake lateness: a high quantile of the latest wakes and half again, never below
// the latest few nor the floor; a prior until enough wakes are known.
TEST(WakeLateness, BoundsTheLatestWakesByAHighQuantile)
{
    using comm::WakeLateness;
    struct Run
    {
        std::size_t count;
        std::int64_t ns;
    };
    const struct
    {
        const char *what;
        std::vector<Run> runs;
        std::int64_t bound;
    } rows[] = {
        {"nothing known", {}, WakeLateness::PriorNs},
        {"too few", {{15, 1'000}}, WakeLateness::PriorNs},
        {"quick wakes", {{256, 5'000}}, WakeLateness::FloorNs},
        {"early wakes count as on time", {{256, -9'000}}, WakeLateness::FloorNs},
        {"steady", {{256, 50'000}}, 75'000},
        {"spikes beyond the quantile", {{250, 10'000}, {6, 1'000'000}}, 1'500'000},
        {"a rare spike long ago", {{1, 3'000'000}, {255, 10'000}}, WakeLateness::FloorNs},
        {"a load that just began", {{255, 10'000}, {1, 5'000'000}}, 5'000'000},
        {"... and has gone again", {{247, 10'000}, {1, 5'000'000}, {8, 10'000}}, WakeLateness::FloorNs},
        {"a load that has gone", {{300, 1'000'000}, {256, 30'000}}, 45'000},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        WakeLateness lateness;
        std::size_t total = 0;
        for (const Run &run : row.runs) {
            for (std::size_t i = 0; i < run.count; ++i)
                lateness.note(run.ns);
            total += run.count;
        }
        EXPECT_EQ(lateness.samples(), total);
        EXPECT_EQ(lateness.boundNs(), row.bound);
    }
}

// The instant up to which the component vouches that every change has reached the
// handler: none without a port, with a report still queued, or without a clock; in a
// polled tier the last read, in a change wait that the lookout confirmed now less the
// wake bound.
TEST_P(PortKinds, TheQuietInstantFollowsTheReadsAndNeverPassesAQueuedChange)
{
    const bool changeWait = GetParam() == 1 || GetParam() == 6;
    EXPECT_FALSE(status->quietUntil().has_value()) << "no port";
    clock.set(2'000'000);
    status->ChangePort(GetParam());
    ASSERT_TRUE(waitFor([&] { return status->quietUntil().has_value(); }));
    EXPECT_LE(status->quietUntil()->counter, 2'000'000);
    EXPECT_EQ(status->quietUntil()->frequency, 10'000);

    // A change read while the window is busy: nothing at or past its instant is vouched
    // for until the handler has had it.
    std::vector<std::int64_t> instants;
    status->setOnChanged([&](QObject *) {
        if (const auto at = status->changeInstant())
            instants.push_back(at->counter);
    });
    ASSERT_TRUE(waitFor([&] { return lines().waitingSinceLastSet() || !changeWait; }, false));
    clock.set(2'000'100);
    lines().set(MS_DSR_ON);
    ASSERT_TRUE(waitFor([&] { return status->watcher()->delivering(); }, false));
    clock.set(2'000'500);
    std::vector<std::optional<comm::TMyCommInstant>> whileQueued;
    for (int look = 0; look < 20; ++look)
        whileQueued.push_back(status->quietUntil());
    ASSERT_TRUE(waitFor([&] { return instants.size() == 1; }));
    // Slow reads are stamped in their middle, which may straddle the clock's step.
    EXPECT_LE(instants[0], 2'000'100);
    EXPECT_GT(instants[0], 2'000'000);
    for (const auto &q : whileQueued)
        EXPECT_TRUE(!q || q->counter < instants[0]) << q->counter;

    // Once it has: polled reads carry the instant on; a change wait that the lookout
    // found sound vouches for now, less the wake bound (at 10 kHz a few counts).
    if (changeWait) {
        ASSERT_TRUE(waitFor([&] {
            return lines().waitingSinceLastSet() && status->watcher()->lookoutResting();
        }));
    }
    clock.set(2'001'000);
    const auto margin = [&] {
        return std::int64_t(std::ceil(double(status->watcher()->wakeBoundNs()) * 1e4 / 1e9));
    };
    ASSERT_TRUE(waitFor([&] {
        const auto quiet = status->quietUntil();
        return quiet && quiet->counter >= 2'001'000 - (changeWait ? margin() : 0);
    })) << status->quietUntil().value_or(comm::TMyCommInstant{}).counter;
    EXPECT_LE(status->quietUntil()->counter, 2'001'000);

    clock.setFrequency(0);
    EXPECT_FALSE(status->quietUntil().has_value()) << "no clock";
    clock.setFrequency(10'000);
    status->ChangePort(0);
    EXPECT_FALSE(status->quietUntil().has_value()) << "closed";
}

// With the machine's clock and a contact that bounces at random: no change reaches the
// handler with an instant that a quiet instant returned before had already passed.
TEST_P(PortKinds, NoChangeArrivesBehindAQuietInstant)
{
    platform::setClock(nullptr);
    std::int64_t vouched = INT64_MIN;
    int behind = 0;
    int reports = 0;
    status->setOnChanged([&](QObject *) {
        if (const auto at = status->changeInstant()) {
            ++reports;
            behind += at->counter <= vouched;
        }
    });
    status->ChangePort(GetParam());
    std::atomic<bool> done{false};
    std::thread contact([&] {
        std::mt19937 random(7);
        std::uint32_t word = 0;
        for (int edge = 0; edge < 300; ++edge) {
            word ^= MS_DSR_ON;
            lines().set(word);
            std::this_thread::sleep_for(std::chrono::microseconds(20 + random() % 600));
        }
        done.store(true);
    });
    int vouches = 0;
    while (!done.load() || status->watcher()->delivering()) {
        QCoreApplication::processEvents();
        if (const auto quiet = status->quietUntil()) {
            vouched = std::max(vouched, quiet->counter);
            ++vouches;
        }
    }
    contact.join();
    // The watcher lets go of the port, and so of the clock, before the test's comes back.
    status->ChangePort(0);
    platform::setClock(&clock);
    EXPECT_GT(reports, 0);
    EXPECT_GT(vouches, 0);
    EXPECT_EQ(behind, 0);
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
        // Nothing of either port is open or on its way to the component.
        ASSERT_TRUE(waitFor([&] {
            return waits->openPorts() == 0 &&
                   status->watcher()->tier() == comm::TMyCommTier::None &&
                   !status->watcher()->delivering();
        }));
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

// Whatever stops the watching of a port's lines closes the port, as a pulled adapter does:
// the component says why in its message and reports once more, so that the window falls
// back; the port chosen again is watched as before. An error of the handler while it hears
// of the closing ends the watcher itself, and the next choice starts another.
TEST_F(MyCommStatusTest, AnErrorThatStopsTheWatchingClosesThePortWithAMessage)
{
    const struct
    {
        const char *what;
        bool handlerFails;   // the handler throws on the change report
        bool closingFails;   // ... and on the report of the closing as well
        bool readFails;      // the driver's status read throws instead
        const char *message; // what the component says
    } rows[] = {
        {"handler", true, false, false,
         "The contacts on COM1 are no longer watched after an error (handler failed); the "
         "port has been closed. Choose it again to go on"},
        {"handler, twice", true, true, false,
         "The contacts on COM1 are no longer watched after an error (handler failed); the "
         "port has been closed. Choose it again to go on"},
        {"driver", false, false, true,
         "The contacts on COM1 are no longer watched after an error (driver fault); the "
         "port has been closed. Choose it again to go on"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        status->setOnChanged([&](QObject *) { seen.push_back(linesOf(*status)); });
        status->ChangePort(1);
        ASSERT_TRUE(reported(linesOf(waits->word())));
        ASSERT_TRUE(waitFor([&] {
            return waits->waitingSinceLastSet() && !status->watcher()->delivering();
        }));
        int handled = 0;
        int thrown = 0;
        std::vector<bool> active;
        status->setOnChanged([&](QObject *) {
            ++handled;
            active.push_back(status->Active());
            if (row.handlerFails && (thrown == 0 || row.closingFails)) {
                ++thrown;
                throw std::runtime_error("handler failed");
            }
        });
        if (row.readFails)
            waits->beforeNextRead([] { throw std::runtime_error("driver fault"); });
        waits->set(waits->word() ^ MS_DSR_ON);
        ASSERT_TRUE(waitFor([&] { return !status->Active(); }));
        ASSERT_TRUE(waitFor([&] { return waits->openPorts() == 0; }));
        EXPECT_EQ(status->message().toStdString(), row.message);
        EXPECT_EQ(linesOf(*status), AllOff);
        EXPECT_EQ(status->Comm(), 1);
        // The change itself (unless the read failed), then the closing, which the handler
        // sees with the port closed.
        ASSERT_EQ(handled, row.readFails ? 1 : 2);
        EXPECT_FALSE(active.back());
        if (!row.readFails) {
            EXPECT_TRUE(active.front());
        }
        // Until the port is chosen again, nothing comes.
        if (row.closingFails)
            ASSERT_TRUE(waitFor([&] { return status->watcher() == nullptr; }));
        else
            ASSERT_TRUE(waitFor([&] { return !status->watcher()->delivering(); }));
        EXPECT_EQ(handled, row.readFails ? 1 : 2);

        status->setOnChanged([&](QObject *) { seen.push_back(linesOf(*status)); });
        status->ChangePort(2);
        EXPECT_TRUE(status->Active());
        EXPECT_TRUE(status->message().isEmpty());
        other->set(other->word() ^ MS_CTS_ON);
        EXPECT_TRUE(reported(linesOf(other->word())));
        status->ChangePort(0);
    }
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
    ASSERT_TRUE(waitFor([&] { return threadGone(tid) && waits->openPorts() == 0; }));
    // Whatever the watcher posted before it ended has now been handled.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(changes, before);
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

// The live log's tap: one edge per line that a report changes, in the lines' order, each
// with the report's instant, before the handler hears of it; opening and closing the port
// make none.
TEST_F(MyCommStatusTest, TheTapGetsEveryEdgeOfEveryReportWithItsInstant)
{
    std::vector<comm::TMyCommEdge> edges;
    std::vector<std::size_t> tappedBeforeHandler;
    status->setEdgeTap([&](const comm::TMyCommEdge &edge) { edges.push_back(edge); });
    status->setOnChanged([&](QObject *) { tappedBeforeHandler.push_back(edges.size()); });
    status->ChangePort(1);
    using Edges = std::vector<std::pair<std::uint32_t, bool>>;
    const struct
    {
        std::uint32_t word;
        std::int64_t at;
        Edges edges;
    } rows[] = {
        {MS_DSR_ON, 3'000'000, {{MS_DSR_ON, true}}},
        {MS_DSR_ON | MS_CTS_ON, 3'000'100, {{MS_CTS_ON, true}}},
        {MS_RING_ON | MS_RLSD_ON, 3'000'200,
         {{MS_CTS_ON, false}, {MS_DSR_ON, false}, {MS_RING_ON, true}, {MS_RLSD_ON, true}}},
        {MS_RLSD_ON, 3'000'300, {{MS_RING_ON, false}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.at);
        // Read as it happens: the watcher waits on the lines as they are, the lookout rests.
        ASSERT_TRUE(waitFor([&] {
            return waits->waitingSinceLastSet() && status->watcher()->lookoutResting() &&
                   !status->watcher()->delivering();
        }));
        const std::size_t before = edges.size();
        const std::size_t reports = tappedBeforeHandler.size();
        clock.set(row.at);
        waits->set(row.word);
        ASSERT_TRUE(waitFor([&] { return tappedBeforeHandler.size() == reports + 1; }));
        ASSERT_EQ(edges.size(), before + row.edges.size());
        EXPECT_EQ(tappedBeforeHandler.back(), edges.size());
        for (std::size_t i = 0; i < row.edges.size(); ++i) {
            const comm::TMyCommEdge &edge = edges[before + i];
            EXPECT_EQ(std::make_pair(edge.line, edge.on), row.edges[i]) << i;
            EXPECT_EQ(edge.at.counter, row.at);
            EXPECT_FALSE(edge.at.late);
            EXPECT_GT(edge.at.uncertaintyNs, 0);
        }
    }
    const std::size_t tapped = edges.size();
    status->ChangePort(0);
    EXPECT_EQ(edges.size(), tapped);
    EXPECT_EQ(tappedBeforeHandler.size(), std::size(rows) + 2);
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

// The self-test of the timing path on a loopback plug: it finds a delay held in one line's
// path as the systematic difference between the two contacts, says when the driver
// buffers, and without a loopback says so instead of giving figures.
TEST(SelfTest, FindsADelayInOneLinesPathAndTheAbsentLoopback)
{
    const struct
    {
        const char *what;
        FakeModemLines::Kind kind;
        bool loopback;
        std::int64_t ctsDelayNs;
        int latencyMs;
    } rows[] = {
        {"change wait, both paths alike", FakeModemLines::Waits, true, 0, -1},
        {"change wait, 2 ms on CTS", FakeModemLines::Waits, true, 2'000'000, -1},
        {"polled, 2 ms on CTS, a buffering driver", FakeModemLines::Polled, true, 2'000'000, 16},
        {"no loopback", FakeModemLines::Waits, false, 0, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        FakeSerialPorts ports;
        std::shared_ptr<FakeModemLines> lines = ports.add(1, row.kind);
        lines->setLoopback(row.loopback, row.ctsDelayNs);
        comm::SerialPortFacts facts;
        facts.latencyMs = row.latencyMs;
        lines->setFacts(facts);
        comm::TMyCommStatus status;
        int tapped = 0;
        status.setEdgeTap([&](const comm::TMyCommEdge &) { ++tapped; });
        status.ChangePort(1);
        ASSERT_TRUE(status.Active());

        const int toggles = 60;
        const comm::SelfTestResult result = comm::runSelfTest(status, toggles, 300);
        EXPECT_EQ(result.loopback, row.loopback);
        EXPECT_EQ(result.buffering, row.latencyMs > 1);
        EXPECT_EQ(result.latencyMs, row.latencyMs);
        if (!row.loopback) {
            EXPECT_EQ(result.dsr.edges + result.cts.edges, 0);
            status.ChangePort(0);
            continue;
        }
        EXPECT_EQ(result.dsr.edges, toggles / 2);
        EXPECT_EQ(result.cts.edges, toggles / 2);
        for (const comm::SelfTestLine &line : {result.dsr, result.cts}) {
            EXPECT_GT(line.medianUs, 0.0);
            EXPECT_LE(line.medianUs, line.p99Us);
            EXPECT_LE(line.p99Us, line.maxUs);
        }
        // The held path shows as the difference (what the machine actually held, which
        // a loaded one makes longer than asked); paths alike show none worth a digit.
        std::vector<std::int64_t> holds = lines->ctsHolds();
        std::sort(holds.begin(), holds.end());
        const double heldUs = holds.empty() ? 0.0 : double(holds[holds.size() / 2]) / 1000.0;
        // Each switch of RTS, and the one as the port opened.
        EXPECT_EQ(holds.size(), row.ctsDelayNs > 0 ? std::size_t(toggles / 2 + 1) : 0u);
        EXPECT_GE(heldUs, double(row.ctsDelayNs) / 1000.0);
        EXPECT_NEAR(result.systematicUs, heldUs, 500.0);
        // The tap that was set before is back and saw the edges too.
        EXPECT_GE(tapped, toggles);
        const int before = tapped;
        lines->set(lines->word() ^ MS_RING_ON);
        EXPECT_TRUE(waitFor([&] { return tapped == before + 1; }));
        // Done with the clock before the next test installs its own.
        status.ChangePort(0);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
