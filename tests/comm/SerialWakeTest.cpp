#include "comm/SerialWake.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <atomic>
#include <functional>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using comm::SerialWake;

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

// A call that never returns by itself, only when a signal interrupts it, like the
// kernel's change wait.
void blockForever()
{
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

namespace {

std::atomic<int> g_urgent{0};
void countUrgent(int)
{
    ++g_urgent;
}

struct sigaction actionOf(int sig)
{
    struct sigaction action
    {
    };
    sigaction(sig, nullptr, &action);
    return action;
}

// The wake keeps to a signal of its own: what the rest of the process does with its
// signals, before or after, neither suffers from the wake nor stops it.
TEST(SerialWakeSignal, OtherHandlersStayAndCannotStopTheWake)
{
    struct sigaction urgent
    {
    };
    urgent.sa_handler = countUrgent;
    sigemptyset(&urgent.sa_mask);
    struct sigaction saved
    {
    };
    ASSERT_EQ(sigaction(SIGURG, &urgent, &saved), 0);
    {
        SerialWake wake;
        const int sig = SerialWake::signalNumber();
        EXPECT_GE(sig, SIGRTMIN);
        EXPECT_LE(sig, SIGRTMAX);
        EXPECT_EQ(actionOf(SIGURG).sa_handler, &countUrgent);

        // Installed afterwards, restarting interrupted calls: the wake still ends a
        // blocked call.
        urgent.sa_flags = SA_RESTART;
        ASSERT_EQ(sigaction(SIGURG, &urgent, nullptr), 0);
        std::atomic<bool> ended{false};
        std::thread sleeper([&] {
            wake.attach();
            auto call = [] { blockForever(); };
            EXPECT_FALSE(wake.run(call));
            wake.detach();
            ended.store(true);
        });
        ASSERT_TRUE(waitUntil([&] { return wake.threadId() != 0; }));
        wake.wake();
        const bool endedInTime = waitUntil([&] { return ended.load(); }, 5000);
        if (!endedInTime)
            wake.wake();
        sleeper.join();
        EXPECT_TRUE(endedInTime);

        raise(SIGURG);
        EXPECT_EQ(g_urgent.load(), 1);
        // While a wake exists the signal is its own; afterwards it is free again.
        EXPECT_EQ(actionOf(sig).sa_handler != SIG_DFL, true);
    }
    EXPECT_EQ(SerialWake::signalNumber(), 0);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        EXPECT_EQ(actionOf(sig).sa_handler, SIG_DFL) << sig;
    sigaction(SIGURG, &saved, nullptr);
}

TEST(SerialWakeSignal, NoFreeSignalIsAnErrorNotATheft)
{
    std::vector<int> taken;
    struct sigaction busy
    {
    };
    busy.sa_handler = countUrgent;
    sigemptyset(&busy.sa_mask);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) {
        if (sigaction(sig, &busy, nullptr) == 0)
            taken.push_back(sig);
    }
    EXPECT_THROW(SerialWake(), std::runtime_error);
    for (int sig : taken) {
        EXPECT_EQ(actionOf(sig).sa_handler, &countUrgent) << sig;
        signal(sig, SIG_DFL);
    }
    // With signals free again, a wake can be made.
    EXPECT_NO_THROW(SerialWake());
}

// A bound ends a blocked call like a wake; a wake after detach reaches nobody.
TEST(SerialWakeSignal, ABoundEndsTheCallAndNothingIsLeftPendingAfterDetach)
{
    SerialWake wake;
    std::atomic<bool> detached{false};
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
        wake.attach();
        wake.bound(20'000'000);
        auto call = [] { blockForever(); };
        EXPECT_FALSE(wake.run(call));
        wake.bound(0);
        // A wake that lands after the call, then the thread lets go.
        wake.wake();
        wake.detach();
        detached.store(true);
        // With the signal unblocked, anything still pending would arrive now.
        const int sig = SerialWake::signalNumber();
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, sig);
        sigset_t pending;
        sigpending(&pending);
        EXPECT_FALSE(sigismember(&pending, sig));
        done.store(true);
    });
    EXPECT_TRUE(waitUntil([&] { return done.load(); }, 5000));
    wake.wake();
    sleeper.join();
}

} // namespace
