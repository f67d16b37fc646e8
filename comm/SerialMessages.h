#pragma once

#include "comm/SerialPort.h"

#include <QString>

// The user-visible texts about serial ports, in the user's language (the English text
// passes the program's translation). `port` names the port as the user chose it.
namespace comm {

QString openErrorMessage(const QString &port, const comm::SerialOpenError &error);
QString portGoneMessage(const QString &port);
// An error stopped the watching of the port's lines; `cause` as the system put it (may be
// empty).
QString portFailedMessage(const QString &port, const QString &cause);
// Limits of an open port's driver; empty when there are none.
QString portFactsMessage(const QString &port, const comm::SerialPortFacts &facts);

} // namespace comm
