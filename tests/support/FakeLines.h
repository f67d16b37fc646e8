#pragma once

#include "timing/LineSource.h"
#include "timing/TimeBase.h"

#include <set>
#include <vector>

// Lines a test sets by hand; ports in `openable` open, every other number fails.
class FakeLines : public timing::LineSource
{
public:
    bool active = false;
    bool dsr = false;
    bool cts = false;
    std::optional<timing::Ticks> stamp;
    std::set<int> openable;
    std::vector<int> assigned;

    bool Active() const override { return active; }
    bool DataSetReady() const override { return active && dsr; }
    bool ClearToSend() const override { return active && cts; }
    void setComm(std::uint8_t n) override
    {
        assigned.push_back(n);
        active = openable.count(n) > 0;
        // A fresh port reports all lines off until the first read.
        dsr = cts = false;
        report();
    }
    void setOnChanged(std::function<void()> handler) override { onChanged = std::move(handler); }
    std::optional<timing::Ticks> changeTicks() const override { return stamp; }
    bool changeFirstRead() const override { return firstRead; }
    // The next change stands for the port's first read after it opened.
    bool firstRead = false;
    // Changes reach the handler at once, so the fake can vouch for the present; a test
    // that holds changes back (a busy window) sets what it vouches for instead.
    std::optional<timing::Ticks> quietUntil() const override
    {
        if (!active)
            return std::nullopt;
        return quiet ? quiet : std::optional<timing::Ticks>(timing::GetTicks());
    }
    std::optional<timing::Ticks> quiet;

    // A change read from the port at tick `at`.
    void change(bool newDsr, bool newCts, std::optional<timing::Ticks> at = std::nullopt)
    {
        dsr = newDsr;
        cts = newCts;
        stamp = at;
        report();
        stamp.reset();
        firstRead = false;
    }

    void report()
    {
        if (onChanged)
            onChanged();
    }

    std::function<void()> onChanged;
};
