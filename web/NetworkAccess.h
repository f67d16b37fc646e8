#pragma once

#include <QByteArray>
#include <QString>

struct sockaddr;

namespace web {

// Loopback, the private ranges and link-local addresses, IPv4 and IPv6 (IPv4 in its
// mapped IPv6 form too): the peers a class in one room connects from. Anything else,
// or an address family that is neither, is refused.
bool isLocalNetworkAddress(const sockaddr *address);

// The address the machine has on its local network, for the link the pupils type or
// scan: the first private IPv4 address of an interface that is up, else loopback.
QString lanAddress();

// 64 bits from the kernel's random source as 16 lowercase hex digits.
QByteArray newAccessCode();

// Compares in a time that does not depend on where the texts differ.
bool sameCode(const QByteArray &given, const QByteArray &code);

} // namespace web
