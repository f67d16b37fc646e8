// Hostile clients against a running class view (tf_classview_demo): binary junk, huge and
// countless headers, huge addresses, slowloris connections that never finish, floods of
// connections beyond the limit, pages that never read their stream, wrong and missing
// codes. Meanwhile it checks once a second that the server still answers a proper
// request, and samples the server's resident memory.
//   tf_classview_hostile --port P --code C --pid SERVER_PID --seconds S [--max-rss-mib M]
// Exit status 0 when the server answered throughout and its memory stayed within M.
#include "web/HttpProbe.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace webtest;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<bool> ending{false};
std::atomic<long> attacks{0};

long residentKiB(long pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// One short hostile exchange: send, read a little, close.
void hit(quint16 port, const QByteArray &bytes, const char *source)
{
    const int fd = connectTo(port, source);
    if (fd < 0)
        return;
    sendAll(fd, bytes);
    QByteArray got;
    readSome(fd, got, 200);
    ::close(fd);
    ++attacks;
}

void junkAndOversized(quint16 port, const QByteArray &code, unsigned seed)
{
    std::mt19937 random(seed);
    const char *source = "127.0.2.1";
    while (!ending) {
        QByteArray junk(int(random() % 5000), '\0');
        for (char &c : junk)
            c = char(random());
        switch (random() % 8) {
        case 0:
            hit(port, junk, source);
            break;
        case 1:
            hit(port, getRequest("/state?k=" + code, "X-Big: " + QByteArray(200000, 'x') + "\r\n"), source);
            break;
        case 2: {
            QByteArray many;
            for (int i = 0; i < 3000; ++i)
                many += "X-" + QByteArray::number(i) + ": y\r\n";
            hit(port, getRequest("/state?k=" + code, many), source);
            break;
        }
        case 3:
            hit(port, getRequest("/" + QByteArray(100000, 'a') + "?k=" + code), source);
            break;
        case 4:
            hit(port, "GET /" + junk.toPercentEncoding() + "?k=" + code + " HTTP/1.1\r\nHost: x\r\n\r\n", source);
            break;
        case 5:
            hit(port, "POST /state?k=" + code + " HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n" + junk, source);
            break;
        case 6:
            hit(port, getRequest("/../../etc/passwd?k=" + junk.toHex().left(16)), source);
            break;
        default:
            hit(port, "GET /events HTTP/1.1\r\nHost: x\r\nCookie: tfk=" + junk.toHex().left(40) + "\r\n\r\n", source);
            break;
        }
    }
}

// Connections that send a byte now and then and never finish their request.
void slowloris(quint16 port, const char *source, int count)
{
    std::deque<int> open;
    while (!ending) {
        while (int(open.size()) < count && !ending) {
            const int fd = connectTo(port, source);
            if (fd < 0)
                break;
            sendAll(fd, "GET /state HTTP/1.1\r\n");
            open.push_back(fd);
            ++attacks;
        }
        for (std::size_t i = 0; i < open.size(); ++i) {
            if (!sendAll(open[i], "X")) {
                ::close(open[i]);
                open[i] = -1;
            }
        }
        std::erase(open, -1);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    for (int fd : open)
        ::close(fd);
}

// Streams opened with the code and never read: the server must not queue for them.
void deafPages(quint16 port, const QByteArray &code, int count)
{
    std::vector<int> fds;
    while (!ending) {
        for (int i = int(fds.size()); i < count; ++i) {
            const QByteArray source = "127.0.3." + QByteArray::number(1 + i / 20);
            const int fd = connectTo(port, source.constData());
            if (fd < 0)
                continue;
            int small = 4096;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            sendAll(fd, "GET /events?k=" + code + " HTTP/1.1\r\nHost: x\r\n\r\n");
            fds.push_back(fd);
            ++attacks;
        }
        std::this_thread::sleep_for(std::chrono::seconds(5));
        // The server ends those it gave up on; open new ones in their place.
        for (int &fd : fds) {
            pollfd p{fd, POLLRDHUP, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
                ::close(fd);
                fd = -1;
            }
        }
        std::erase(fds, -1);
    }
    for (int fd : fds)
        ::close(fd);
}

// Bursts of connections from one machine, far beyond its share, closed at once.
void floods(quint16 port)
{
    while (!ending) {
        std::vector<int> fds;
        for (int i = 0; i < 600 && !ending; ++i) {
            const int fd = connectTo(port, "127.0.4.1");
            if (fd >= 0)
                fds.push_back(fd);
        }
        attacks += long(fds.size());
        for (int fd : fds)
            ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

} // namespace

int main(int argc, char **argv)
{
    quint16 port = 0;
    QByteArray code;
    long pid = 0;
    int seconds = 600;
    long maxRssMiB = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--port")
            port = quint16(std::atoi(argv[i + 1]));
        else if (a == "--code")
            code = argv[i + 1];
        else if (a == "--pid")
            pid = std::atol(argv[i + 1]);
        else if (a == "--seconds")
            seconds = std::atoi(argv[i + 1]);
        else if (a == "--max-rss-mib")
            maxRssMiB = std::atol(argv[i + 1]);
    }
    if (port == 0 || code.isEmpty() || pid == 0) {
        std::fprintf(stderr, "usage: %s --port P --code C --pid SERVER_PID --seconds S [--max-rss-mib M]\n", argv[0]);
        return 2;
    }
    const long startKiB = residentKiB(pid);
    std::vector<std::thread> threads;
    threads.emplace_back(junkAndOversized, port, code, 1u);
    threads.emplace_back(junkAndOversized, port, code, 2u);
    threads.emplace_back(slowloris, port, "127.0.5.1", 30);
    threads.emplace_back(slowloris, port, "127.0.5.2", 30);
    threads.emplace_back(deafPages, port, code, 100);
    threads.emplace_back(floods, port);

    long peakKiB = startKiB;
    int missed = 0, checks = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const long kib = residentKiB(pid);
        if (kib < 0) {
            std::fprintf(stderr, "the server is gone\n");
            ending = true;
            for (auto &t : threads)
                t.join();
            return 1;
        }
        peakKiB = std::max(peakKiB, kib);
        // A page from an address of its own, so the attackers' limits do not apply.
        const Reply r = exchange(port, getRequest("/state?k=" + code), 5000, "127.0.9.9");
        ++checks;
        missed += r.status != 200;
    }
    ending = true;
    for (auto &t : threads)
        t.join();
    const long endKiB = residentKiB(pid);
    std::printf("hostile clients for %d s: %ld attacks; the server answered %d of %d checks; "
                "resident memory %ld KiB at the start, %ld KiB at most, %ld KiB at the end\n",
                seconds, attacks.load(), checks - missed, checks, startKiB, peakKiB, endKiB);
    const bool withinBound = maxRssMiB == 0 || peakKiB <= maxRssMiB * 1024;
    if (!withinBound)
        std::printf("resident memory above the bound of %ld MiB\n", maxRssMiB);
    return missed == 0 && withinBound ? 0 : 1;
}
