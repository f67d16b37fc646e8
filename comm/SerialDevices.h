#pragma once

#include "comm/SerialProbe.h"

#include <QList>
#include <QString>

#include <functional>

// The serial devices a user can pick from, and the user's links that make them "COM n".
namespace comm {

using SerialProbeFunction = std::function<SerialProbe(const QString &path)>;

struct SerialDeviceEntry
{
    QString path;   // as listed, and as the link will name it
    QString device; // the device node it resolves to
    SerialProbe probe;
};

// The serial devices under devRoot (normally /dev): the links in serial/by-id first, then
// ttyUSB*, ttyACM* and ttyS* in numeric order, each device once and only character
// devices. Built-in UARTs (ttyS*) are listed only when they answer a status query, since
// the kernel makes a node for every UART a machine might have; adapters are listed
// whatever they answer, with the answer shown.
QList<SerialDeviceEntry> listSerialDevices(const QString &devRoot,
                                           const SerialProbeFunction &probe);

// Points the user's link for COM `number` at `target`, replacing an old link in one step.
// Returns an empty string or the German reason it failed.
QString writePortLink(int number, const QString &target);
// Removes the user's link for COM `number`; only a link is ever removed.
QString removePortLink(int number);

} // namespace comm
