// The class view fed from a session, as the program feeds it: a run is taken, the state is
// built from the session (rows, statistics, series result) and published, and the time runs
// until the last of N pages on loopback has the event with the new run. Beside it, the same
// with a fixed state of the same size, i.e. the server's fan-out alone.
#include "app/ClassView.h"
#include "web/ClassViewServer.h"

#include "support/FakeLines.h"
#include "web/HttpProbe.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace webtest;
using Clock = std::chrono::steady_clock;

namespace {

const QByteArray Code = "benchbenchbench2";

bool allReceive(std::vector<int> &fds, std::vector<QByteArray> &received, const QByteArray &marker)
{
    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back({fd, POLLIN, 0});
    std::size_t arrived = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (arrived < fds.size() && Clock::now() < deadline) {
        if (::poll(polls.data(), polls.size(), 100) <= 0)
            continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (!readSome(fds[i], received[i], 0))
                return false;
            if (received[i].contains(marker)) {
                received[i].clear();
                polls[i].events = 0;
                polls[i].revents = 0;
                ++arrived;
            }
        }
    }
    return arrived == fds.size();
}

// range(0): pages; range(1): 1 builds each state from the session, 0 republishes one.
void BM_RunToPages(benchmark::State &state)
{
    const int pages = int(state.range(0));
    const bool fromSession = state.range(1) != 0;
    FakeLines lines;
    session::Session session(lines);
    session.setLabel(QStringLiteral("Wagen A"));
    timing::Ticks t = 1'000'000;
    const auto takeRun = [&] {
        session.contact1(t);
        session.contact2(t + 4'800 + t % 97);
        t += 100'000;
    };
    for (int i = 0; i < 30; ++i)
        takeRun();

    web::ClassViewServer::Options options;
    options.port = 0;
    options.accessCode = Code;
    options.loopbackOnly = true;
    web::ClassViewServer server(options);
    if (!server.start().isEmpty()) {
        state.SkipWithError("the server did not start");
        return;
    }
    const auto build = [&] { return web::toJson(app::ClassView::state(session, QString(), t)); };
    server.publishJson(build());
    std::vector<int> fds;
    std::vector<QByteArray> received(static_cast<std::size_t>(pages));
    for (int i = 0; i < pages; ++i) {
        const QByteArray source = "127.0.1." + QByteArray::number(1 + i / 20);
        const int fd = connectTo(server.port(), source.constData());
        sendAll(fd, "GET /events?k=" + Code + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        fds.push_back(fd);
    }
    if (!allReceive(fds, received, "[\"30\",\"")) {
        state.SkipWithError("not every page connected");
        return;
    }
    // The fixed state alternates with a copy that differs in one byte, so each is new.
    QByteArray fixed = build();
    std::vector<double> ms;
    double buildUs = 0;
    qint64 n = 30;
    for (auto _ : state) {
        const auto began = Clock::now();
        QByteArray marker;
        if (fromSession) {
            takeRun();
            ++n;
            marker = "[\"" + QByteArray::number(n) + "\",\"";
            const QByteArray json = build();
            buildUs += std::chrono::duration<double, std::micro>(Clock::now() - began).count();
            server.publishJson(json);
        } else {
            fixed[fixed.size() - 2] = fixed[fixed.size() - 2] == 'A' ? 'B' : 'A';
            marker = fixed.right(40);
            server.publishJson(fixed);
        }
        if (!allReceive(fds, received, marker)) {
            state.SkipWithError("a page missed an event");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - began;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * ms.size()))]; };
        state.counters["p50_ms"] = at(0.50);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = ms.back();
        state.counters["build_us"] = buildUs / double(ms.size());
    }
    for (int fd : fds)
        ::close(fd);
}

} // namespace

BENCHMARK(BM_RunToPages)->Args({200, 0})->Args({200, 1})->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
