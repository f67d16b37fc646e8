#include "timing/Interruptions.h"

#include <gtest/gtest.h>

#include <variant>
#include <vector>

using timing::Interruption;
using timing::LineEdge;
using timing::Ticks;

namespace {

struct Poll
{
    Ticks now;
};
struct Reset
{};
using Step = std::variant<LineEdge, Poll, Reset>;

struct Confirmed
{
    int line;
    Ticks start;
    bool operator==(const Confirmed &) const = default;
};

struct Recorder : timing::InterruptionSink
{
    std::vector<Confirmed> confirmed;
    std::vector<Interruption> done;
    void darkConfirmed(const Interruption &i) override { confirmed.push_back({i.line, i.start}); }
    void completed(const Interruption &i) override { done.push_back(i); }
};

LineEdge on(int line, Ticks at, bool late = false)
{
    return {line, true, at, 0.0001, late};
}
LineEdge off(int line, Ticks at, bool late = false)
{
    return {line, false, at, 0.0002, late};
}
Interruption dark(int line, Ticks start, Ticks end, bool late = false)
{
    return {line, start, end, 0.0001, 0.0002, late};
}

TEST(Interruptions, EdgesBecomeInterruptionsOfAtLeastTheMinimum)
{
    const struct
    {
        const char *name;
        Ticks minDark;
        std::vector<Step> steps;
        std::vector<Confirmed> confirmed;
        std::vector<Interruption> done;
    } cases[] = {
        {"a clean pass completes once the light has lasted the minimum", 10,
         {on(1, 100), off(1, 600), Poll{609}, Poll{610}},
         {{1, 100}},
         {dark(1, 100, 600)}},
        {"a bounce shorter than the minimum is no interruption", 10,
         {on(1, 100), off(1, 109), Poll{1000}}, {}, {}},
        {"exactly the minimum counts", 10, {on(2, 100), off(2, 110), Poll{120}},
         {{2, 100}}, {dark(2, 100, 110)}},
        {"a bounce before the pass is dropped, the pass starts at its own edge", 10,
         {on(1, 100), off(1, 102), on(1, 103), off(1, 600), Poll{700}},
         {{1, 103}},
         {dark(1, 103, 600)}},
        {"a gap in the flag is bridged", 10,
         {on(1, 100), off(1, 300), on(1, 303), off(1, 600), Poll{700}},
         {{1, 100}},
         {dark(1, 100, 600)}},
        {"a bounce at the release extends the interruption", 10,
         {on(1, 100), off(1, 600), on(1, 602), off(1, 603), Poll{700}},
         {{1, 100}},
         {dark(1, 100, 603)}},
        {"a late-found edge marks the interruption", 10,
         {on(1, 100), off(1, 600, true), Poll{700}},
         {{1, 100}},
         {dark(1, 100, 600, true)}},
        {"a held line is confirmed by the clock, not by its release", 10,
         {on(1, 100), Poll{109}, Poll{110}}, {{1, 100}}, {}},
        {"the inactive edge missing at a reset makes nothing", 10,
         {on(1, 100), Reset{}, off(1, 600), Poll{700}}, {}, {}},
        {"a completed pass still waiting for its light is dropped by a reset", 10,
         {on(1, 100), off(1, 600), Reset{}, Poll{700}}, {{1, 100}}, {}},
        {"the next edge settles what is due before it, in the order of the instants", 10,
         {on(1, 100), on(2, 200), off(2, 300), off(1, 305), on(1, 400)},
         {{1, 100}, {2, 200}},
         {dark(2, 200, 300), dark(1, 100, 305)}},
        {"without a minimum every edge counts at once", 0,
         {on(1, 100), off(1, 100), on(1, 101), off(1, 105)},
         {{1, 100}, {1, 101}},
         {dark(1, 100, 100), dark(1, 101, 105)}},
        {"repeated edges of the same state change nothing", 10,
         {off(1, 50), on(1, 100), on(1, 200), off(1, 600), off(1, 601), Poll{700}},
         {{1, 100}},
         {dark(1, 100, 600)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        timing::Interruptions lines;
        lines.setMinDark(c.minDark);
        Recorder recorder;
        for (const Step &step : c.steps) {
            if (const auto *edge = std::get_if<LineEdge>(&step))
                lines.feed(*edge, recorder);
            else if (const auto *poll = std::get_if<Poll>(&step))
                lines.advance(poll->now, recorder);
            else
                lines.reset();
        }
        EXPECT_EQ(recorder.confirmed, c.confirmed);
        EXPECT_EQ(recorder.done, c.done);
    }
}

TEST(Interruptions, AnOpenInterruptionIsKnownUntilItCompletes)
{
    timing::Interruptions lines;
    Recorder recorder;
    EXPECT_EQ(lines.openSince(1), std::nullopt);
    lines.feed(on(2, 100), recorder);
    EXPECT_EQ(lines.openSince(2), 100);
    EXPECT_EQ(lines.openSince(1), std::nullopt);
    lines.feed(off(2, 500), recorder);
    EXPECT_EQ(lines.openSince(2), 100); // the light may yet prove a gap
    lines.advance(510, recorder);
    EXPECT_EQ(lines.openSince(2), std::nullopt);
}

} // namespace
