#include "web/NetworkAccess.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace web {

namespace {

bool isLocalIPv4(std::uint32_t a) // host byte order
{
    const auto in = [a](std::uint32_t net, int bits) {
        return (a >> (32 - bits)) == (net >> (32 - bits));
    };
    return in(0x7F000000, 8)      // 127.0.0.0/8
           || in(0x0A000000, 8)   // 10.0.0.0/8
           || in(0xAC100000, 12)  // 172.16.0.0/12
           || in(0xC0A80000, 16)  // 192.168.0.0/16
           || in(0xA9FE0000, 16); // 169.254.0.0/16
}

bool isLocalIPv6(const std::uint8_t (&b)[16])
{
    static constexpr std::uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(b, loopback, 16) == 0)
        return true;
    if (std::memcmp(b, mapped, 12) == 0)
        return isLocalIPv4(std::uint32_t(b[12]) << 24 | std::uint32_t(b[13]) << 16 |
                           std::uint32_t(b[14]) << 8 | b[15]);
    return (b[0] & 0xFE) == 0xFC                   // fc00::/7, unique local
           || (b[0] == 0xFE && (b[1] & 0xC0) == 0x80); // fe80::/10, link-local
}

} // namespace

bool isLocalNetworkAddress(const sockaddr *address)
{
    if (address == nullptr)
        return false;
    if (address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        return isLocalIPv4(ntohl(in.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        std::uint8_t bytes[16];
        std::memcpy(bytes, &in6.sin6_addr, 16);
        return isLocalIPv6(bytes);
    }
    return false;
}

QString lanAddress()
{
    for (const QNetworkInterface &nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : nif.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const std::uint32_t v4 = ip.toIPv4Address();
            if (isLocalIPv4(v4) && (v4 >> 24) != 127 && (v4 >> 16) != 0xA9FE)
                return ip.toString();
        }
    }
    return QStringLiteral("127.0.0.1");
}

QByteArray newAccessCode()
{
    std::array<unsigned char, 8> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("getrandom failed");
        }
        got += std::size_t(n);
    }
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex();
}

bool sameCode(const QByteArray &given, const QByteArray &code)
{
    if (code.isEmpty())
        return false;
    unsigned char diff = given.size() == code.size() ? 0 : 1;
    for (qsizetype i = 0; i < code.size(); ++i)
        diff |= static_cast<unsigned char>(code[i] ^ (i < given.size() ? given[i] : 0));
    return diff == 0;
}

} // namespace web
