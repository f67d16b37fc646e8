#include "comm/SelfTest.h"

#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <vector>

namespace comm {

namespace {

// The program's clock in nanoseconds, the unit of the recorded instants' counter here.
double nowNs()
{
    const platform::Clock &clock = platform::clock();
    return double(clock.counter()) * 1e9 / double(clock.frequency());
}

SelfTestLine summary(std::vector<double> delaysUs)
{
    SelfTestLine line;
    line.edges = int(delaysUs.size());
    if (delaysUs.empty())
        return line;
    std::sort(delaysUs.begin(), delaysUs.end());
    const auto at = [&](double p) {
        return delaysUs[std::min(delaysUs.size() - 1, std::size_t(p * double(delaysUs.size() - 1) + 0.5))];
    };
    line.medianUs = at(0.5);
    line.p99Us = at(0.99);
    line.maxUs = delaysUs.back();
    return line;
}

// Restores the tap that was set before, also when a handler throws.
class TapScope
{
public:
    TapScope(TMyCommStatus &status, TMyCommEdgeTap tap) : m_status(status), m_saved(status.edgeTap())
    {
        m_status.setEdgeTap([saved = m_saved, tap = std::move(tap)](const TMyCommEdge &edge) {
            tap(edge);
            if (saved)
                saved(edge);
        });
    }
    ~TapScope() { m_status.setEdgeTap(m_saved); }
    TapScope(const TapScope &) = delete;
    TapScope &operator=(const TapScope &) = delete;

private:
    TMyCommStatus &m_status;
    TMyCommEdgeTap m_saved;
};

} // namespace

SelfTestResult runSelfTest(TMyCommStatus &status, int toggles, int timeoutMs)
{
    SelfTestResult result;
    const SerialPortFacts facts = status.portFacts();
    result.latencyMs = facts.latencyMs;
    result.buffering = facts.latencyMs > 1;
    if (!status.Active() || platform::clock().frequency() <= 0)
        return result;

    // The last edge seen on each input, counted so that a wait knows a new one came.
    struct Seen
    {
        int count = 0;
        TMyCommEdge edge;
    };
    Seen dsr;
    Seen cts;
    TapScope tap(status, [&](const TMyCommEdge &edge) {
        Seen &seen = edge.line == MS_DSR_ON ? dsr : cts;
        if (edge.line == MS_DSR_ON || edge.line == MS_CTS_ON) {
            ++seen.count;
            seen.edge = edge;
        }
    });
    const auto until = [&](const auto &condition) {
        QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (!condition())
                QThread::usleep(50);
        }
        return true;
    };

    bool dtr = true;
    bool rts = true;
    // Both outputs on, as after opening: the inputs must follow before anything counts.
    if (!status.setOutputs(dtr, rts) ||
        !until([&] { return status.DataSetReady() && status.ClearToSend(); }))
        return result;

    std::vector<double> dsrDelays;
    std::vector<double> ctsDelays;
    bool followed = true;
    for (int i = 0; i < toggles && followed; ++i) {
        const bool first = i % 2 == 0;
        Seen &seen = first ? dsr : cts;
        (first ? dtr : rts) = !(first ? dtr : rts);
        const bool wanted = first ? dtr : rts;
        const int before = seen.count;
        const double switched = nowNs();
        if (!status.setOutputs(dtr, rts))
            break;
        followed = until([&] { return seen.count > before && seen.edge.on == wanted; });
        if (followed) {
            const TMyCommInstant &at = seen.edge.at;
            const double recorded = double(at.counter) * 1e9 / double(at.frequency);
            (first ? dsrDelays : ctsDelays).push_back((recorded - switched) / 1000.0);
        }
    }
    status.setOutputs(true, true);
    result.loopback = followed;
    result.dsr = summary(std::move(dsrDelays));
    result.cts = summary(std::move(ctsDelays));
    result.systematicUs = result.cts.medianUs - result.dsr.medianUs;
    return result;
}

} // namespace comm
