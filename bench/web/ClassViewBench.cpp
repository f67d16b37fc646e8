// How long a published state takes to reach every page of the class view: from
// publish() to the last of N pages (server-sent event streams on loopback, 20 pages an
// address) having the event in full, as p50/p99/max over the iterations. Beside it, the
// reference: the same bytes written by one plain thread straight to N loopback sockets and
// read by the same reader, i.e. what the kernel and the reader cost without the server.
// The goal: p99 below 100 ms for 200 pages. Also the cost of starting and stopping it.
#include "web/ClassViewServer.h"

#include "web/HttpProbe.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

using namespace webtest;
using Clock = std::chrono::steady_clock;

namespace {

const QByteArray Code = "benchbenchbench1";

// Reads from every socket until each holds marker; false on time-out or a closed one.
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
    for (auto &p : polls)
        p.events = POLLIN;
    return arrived == fds.size();
}

// A state of about the size of a session of 30 runs.
QByteArray stateJson(qint64 n)
{
    QByteArray runs;
    for (int i = 1; i <= 30; ++i)
        runs += (i > 1 ? "," : "") + QByteArray("[\"") + QByteArray::number(i) + "\",\"0,4837\",\"0,310\"]";
    return "{\"runs\":[" + runs + "],\"n\":" + QByteArray::number(n) + "}";
}

void report(benchmark::State &state, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return;
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * ms.size()))]; };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = ms.back();
}

void BM_PublishToPages(benchmark::State &state)
{
    const int pages = int(state.range(0));
    web::ClassViewServer::Options options;
    options.port = 0;
    options.accessCode = Code;
    options.loopbackOnly = true;
    web::ClassViewServer server(options);
    if (!server.start().isEmpty()) {
        state.SkipWithError("the server did not start");
        return;
    }
    server.publishJson(stateJson(0));
    std::vector<int> fds;
    std::vector<QByteArray> received(static_cast<std::size_t>(pages));
    for (int i = 0; i < pages; ++i) {
        const QByteArray source = "127.0.1." + QByteArray::number(1 + i / 20);
        const int fd = connectTo(server.port(), source.constData());
        sendAll(fd, "GET /events?k=" + Code + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        fds.push_back(fd);
    }
    if (!allReceive(fds, received, "\"n\":0}")) {
        state.SkipWithError("not every page connected");
        return;
    }
    std::vector<double> ms;
    qint64 n = 0;
    for (auto _ : state) {
        const QByteArray json = stateJson(++n);
        const QByteArray marker = "\"n\":" + QByteArray::number(n) + "}";
        const auto began = Clock::now();
        server.publishJson(json);
        if (!allReceive(fds, received, marker)) {
            state.SkipWithError("a page missed an event");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - began;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    report(state, ms);
    for (int fd : fds)
        ::close(fd);
}

// The reference: one thread writes the same event to N accepted loopback sockets.
void BM_PlainSocketsFanOut(benchmark::State &state)
{
    const int pages = int(state.range(0));
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(listener, 512);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &length);
    std::vector<int> fds, accepted;
    for (int i = 0; i < pages; ++i) {
        fds.push_back(connectTo(ntohs(a.sin_port)));
        accepted.push_back(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    }
    std::vector<QByteArray> received(static_cast<std::size_t>(pages));
    std::vector<double> ms;
    qint64 n = 0;
    for (auto _ : state) {
        const QByteArray event = "data: " + stateJson(++n) + "\n\n";
        const QByteArray marker = "\"n\":" + QByteArray::number(n) + "}";
        const auto began = Clock::now();
        std::thread writer([&] {
            for (int fd : accepted)
                sendAll(fd, event);
        });
        const bool all = allReceive(fds, received, marker);
        writer.join();
        if (!all) {
            state.SkipWithError("a socket missed the bytes");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - began;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    report(state, ms);
    for (int fd : fds)
        ::close(fd);
    for (int fd : accepted)
        ::close(fd);
    ::close(listener);
}

// What switching the class view on and off costs: the listening socket, the library's two
// threads and the pulse thread, started and ended; beside it a bare thread started and
// joined.
void BM_StartAndStop(benchmark::State &state)
{
    web::ClassViewServer::Options options;
    options.port = 0;
    options.loopbackOnly = true;
    for (auto _ : state) {
        web::ClassViewServer server(options);
        if (!server.start().isEmpty()) {
            state.SkipWithError("the server did not start");
            break;
        }
        server.stop();
    }
}

void BM_BareThread(benchmark::State &state)
{
    for (auto _ : state)
        std::thread([] {}).join();
}

} // namespace

BENCHMARK(BM_BareThread)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartAndStop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainSocketsFanOut)->Arg(1)->Arg(200)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishToPages)->Arg(1)->Arg(200)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
