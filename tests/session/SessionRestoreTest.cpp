#include "session/Session.h"

#include "support/FakeLines.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <random>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using session::Session;
using timing::Ticks;

// The edits a lesson makes, in an order fixed by `seed`: runs added, deleted, relabelled,
// undone, a new session begun.
void step(Session &s, std::mt19937 &random, int i)
{
    switch (random() % 8) {
    case 5:
        if (!s.runs().isEmpty())
            s.runs().removeRows({int(random() % s.runs().size())});
        break;
    case 6:
        s.relabel({int(random() % (s.runs().size() + 1))}, QStringLiteral("Gruppe %1").arg(i));
        break;
    case 7:
        if (s.runs().canUndo())
            s.runs().undo();
        break;
    default:
        s.setLabel(QStringLiteral("Wagen %1").arg(i % 3));
        s.contact1(Ticks(1'000'000 + i * 20'000));
        s.contact2(Ticks(1'000'000 + i * 20'000 + 5'000 + Ticks(random() % 5000)));
        break;
    }
}

// What identifies a run here; date and time are the clock's and differ from run to run.
QList<std::tuple<std::optional<Ticks>, QString>> essence(const QList<protocol::Run> &runs)
{
    QList<std::tuple<std::optional<Ticks>, QString>> list;
    for (const protocol::Run &r : runs)
        list.append({r.ticks, r.label});
    return list;
}

constexpr int Steps = 40;

// A child process adds and edits runs and acknowledges each change once it returned; the
// test kills it at random moments. The restored session is the last acknowledged state, or
// the one whose write was under way: never a mix, never an older one, never unreadable.
TEST(SessionRestore, AKillAtAnyMomentKeepsTheLastAcknowledgedState)
{
    std::mt19937 chance(20261207);
    for (int round = 0; round < 200; ++round) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const unsigned seed = chance();
        // The states after each step, as the same steps give them in this process.
        QList<QList<std::tuple<std::optional<Ticks>, QString>>> states;
        {
            FakeLines lines;
            Session s(lines);
            std::mt19937 random(seed);
            states << essence(s.runs().runs());
            for (int i = 0; i < Steps; ++i) {
                step(s, random, i);
                states << essence(s.runs().runs());
            }
        }
        int acks[2];
        ASSERT_EQ(::pipe(acks), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(acks[0]);
            FakeLines lines;
            Session s(lines);
            session::SessionStore store(dir.path());
            s.restore(&store);
            std::mt19937 random(seed);
            for (int i = 0; i < Steps; ++i) {
                step(s, random, i);
                const char done = 1;
                if (::write(acks[1], &done, 1) != 1)
                    ::_exit(2);
            }
            ::pause();
            ::_exit(0);
        }
        ::close(acks[1]);
        // Kill after a random number of acknowledgements, at a random moment after it.
        const int killAfter = int(chance() % (Steps + 1));
        int acknowledged = 0;
        char byte = 0;
        while (acknowledged < killAfter && ::read(acks[0], &byte, 1) == 1)
            ++acknowledged;
        ::usleep(chance() % 3000);
        ::kill(child, SIGKILL);
        // Acknowledgements already on their way count as well.
        pollfd pending{acks[0], POLLIN, 0};
        while (::poll(&pending, 1, 0) == 1 && ::read(acks[0], &byte, 1) == 1)
            ++acknowledged;
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(acks[0]);

        FakeLines lines;
        Session restored(lines);
        session::SessionStore store(dir.path());
        const QStringList problems = restored.restore(&store);
        EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
        const auto now = essence(restored.runs().runs());
        const bool acknowledgedState = now == states.at(acknowledged);
        const bool inFlight = acknowledged < Steps && now == states.at(acknowledged + 1);
        // A kill before the first write leaves nothing, which is the empty state too.
        EXPECT_TRUE(acknowledgedState || inFlight)
            << "round " << round << ", " << acknowledged << " acknowledged";
        if (HasFailure())
            return;
    }
}

} // namespace
