#include "comm/SerialMessages.h"

#include "platform/ResourceText.h"

#include <QStringList>

#include <cstring>

namespace comm {

namespace {

QString portAndDevice(const QString &port, const QString &device)
{
    return device.isEmpty() ? port : port + QStringLiteral(" (") + device + u')';
}

} // namespace

QString openErrorMessage(const QString &port, const comm::SerialOpenError &error)
{
    using comm::SerialOpenError;
    const QString where = portAndDevice(port, error.device);
    switch (error.kind) {
    case SerialOpenError::None:
        return {};
    case SerialOpenError::NoDevice:
        return platform::resourceText("%s cannot be opened: there is no such device", {where});
    case SerialOpenError::NoPermission:
        return platform::resourceText("%s cannot be opened: you have no permission to use it. Add your user to "
                      "the group \"%s\" and log in again",
                      {where, error.group});
    case SerialOpenError::Busy:
        if (error.holderPid != 0)
            return platform::resourceText("%s is in use: the program \"%s\" (process %s) holds it",
                          {where, error.holder, QString::number(error.holderPid)});
        return platform::resourceText("%s cannot be opened: another program is using it", {where});
    case SerialOpenError::NotATerminal:
        return platform::resourceText("%s cannot be opened: it is not a serial port", {where});
    case SerialOpenError::NoModemLines:
        return platform::resourceText("%s cannot be used: it reports no modem lines", {where});
    case SerialOpenError::Other:
        return platform::resourceText("%s cannot be opened (%s)",
                      {where, QString::fromLocal8Bit(std::strerror(error.error))});
    }
    return {};
}

QString portGoneMessage(const QString &port)
{
    return platform::resourceText("The adapter of %s was removed; the port has been closed", {port});
}

QString portFailedMessage(const QString &port, const QString &cause)
{
    if (cause.isEmpty())
        return platform::resourceText(
            "The contacts on %s are no longer watched after an unknown error; the port has been "
            "closed. Choose it again to go on",
            {port});
    return platform::resourceText("The contacts on %s are no longer watched after an error (%s); "
                                  "the port has been closed. Choose it again to go on",
                                  {port, cause});
}

QString portFactsMessage(const QString &port, const comm::SerialPortFacts &facts)
{
    QStringList notes;
    const QString where = portAndDevice(port, facts.device);
    if (facts.ctsAlwaysOn)
        notes << platform::resourceText("%s always reports CTS on (driver %s): contact 2 can never fire on it",
                        {where, facts.driver});
    if (facts.latencyMs > 1)
        notes << platform::resourceText("%s holds line changes back for up to %s ms (latency_timer); allow "
                        "writing it or set it to 1",
                        {where, QString::number(facts.latencyMs)});
    return notes.join(u'\n');
}

} // namespace comm
