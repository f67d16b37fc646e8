#include "platform/SerialWake.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <atomic>
#include <functional>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using platform::SerialWake;

namespace {

bool waitUntil(const std::function<bool()> &condition, int ms = 10'000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::yield();
    }
    return true;
}

// A call that never returns by itself.
void blockForever()
{
    for (;;)
        syscall(SYS_ppoll, nullptr, 0, nullptr, nullptr, 0);
}

// The sleeper runs `work` once woken at stage 2; the test wakes it at stage 1 or 3.
struct Case
{
    const char *name;
    bool wakeBeforeTheCall;
};

class SerialWakeTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(SerialWakeTest, AWakeEndsABlockedCallWhenEverItComes)
{
    SerialWake wake;
    std::atomic<int> stage{0};
    std::atomic<bool> ended{false};
    bool completed = true;
    std::thread sleeper([&] {
        wake.attach();
        stage.store(1);
        while (stage.load() < 2)
            std::this_thread::yield();
        auto call = [&] {
            stage.store(3);
            blockForever();
        };
        completed = wake.run(call);
        wake.detach();
        ended.store(true);
    });
    ASSERT_TRUE(waitUntil([&] { return stage.load() == 1; }));
    if (GetParam().wakeBeforeTheCall)
        wake.wake();
    stage.store(2);
    if (!GetParam().wakeBeforeTheCall) {
        ASSERT_TRUE(waitUntil([&] { return stage.load() == 3; }));
        wake.wake();
    }
    const bool endedInTime = waitUntil([&] { return ended.load(); });
    if (!endedInTime)
        wake.wake();
    sleeper.join();
    EXPECT_TRUE(endedInTime);
    EXPECT_FALSE(completed);
}

INSTANTIATE_TEST_SUITE_P(Timing, SerialWakeTest,
                         ::testing::Values(Case{"Before", true}, Case{"During", false}),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(SerialWake, ACallThatReturnsCompletesAndTheThreadKeepsTheWakeForLater)
{
    SerialWake wake;
    int ran = 0;
    std::thread([&] {
        wake.attach();
        auto call = [&] { ++ran; };
        EXPECT_TRUE(wake.run(call));
        wake.wake();
        // The wake arrived while blocked outside run(): the next sleep ends at once.
        wake.sleep();
        EXPECT_TRUE(wake.run(call));
        wake.detach();
    }).join();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(wake.threadId(), 0);
    wake.wake();
}

// Every wake ends exactly the sleep it was meant for, however the two threads interleave.
TEST(SerialWake, NoWakeIsLost)
{
    constexpr int Rounds = 2000;
    SerialWake wake;
    std::atomic<int> sleeps{0};
    std::atomic<bool> stop{false};
    std::thread sleeper([&] {
        wake.attach();
        while (!stop.load()) {
            wake.sleep();
            ++sleeps;
        }
        wake.detach();
    });
    ASSERT_TRUE(waitUntil([&] { return wake.threadId() != 0; }));
    int completed = 0;
    for (; completed < Rounds; ++completed) {
        wake.wake();
        if (!waitUntil([&] { return sleeps.load() > completed; }))
            break;
    }
    stop.store(true);
    do
        wake.wake();
    while (!waitUntil([&] { return wake.threadId() == 0; }, 100));
    sleeper.join();
    EXPECT_EQ(completed, Rounds);
}

} // namespace
