#pragma once

// A plain socket client for the class view's tests: it sends exactly the bytes given,
// so that malformed and hostile requests reach the server as written.

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>

namespace webtest {

// A connected socket from source (an address of 127.0.0.0/8, so that many clients can
// come from different addresses) to 127.0.0.1:port; -1 on failure.
inline int connectTo(quint16 port, const char *source = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (source != nullptr) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool sendAll(int fd, const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

// Reads what is there within timeoutMs; false once the peer closed (or reset).
inline bool readSome(int fd, QByteArray &into, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return true;
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    into.append(buffer, n);
    return true;
}

struct Reply
{
    int status = 0; // 0: no status line came
    QByteArray head;
    QByteArray body;
    QByteArray all;
    bool closed = false; // the server closed the connection (else the wait ran out)
};

inline Reply parseReply(const QByteArray &all)
{
    Reply reply;
    reply.all = all;
    const qsizetype end = all.indexOf("\r\n\r\n");
    reply.head = end < 0 ? all : all.left(end);
    reply.body = end < 0 ? QByteArray() : all.mid(end + 4);
    if (all.startsWith("HTTP/1.")) {
        const qsizetype space = all.indexOf(' ');
        reply.status = all.mid(space + 1, 3).toInt();
    }
    return reply;
}

// Sends the bytes and reads until the server closes or timeoutMs passes.
inline Reply exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000,
                      const char *source = nullptr)
{
    const int fd = connectTo(port, source);
    if (fd < 0)
        return {};
    sendAll(fd, request);
    QByteArray all;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool open = true;
    while (open && std::chrono::steady_clock::now() < deadline)
        open = readSome(fd, all, 50);
    ::close(fd);
    Reply reply = parseReply(all);
    reply.closed = !open;
    return reply;
}

inline QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
           extraHeaders + "\r\n";
}

inline Reply get(quint16 port, const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return exchange(port, getRequest(target, extraHeaders));
}

} // namespace webtest
