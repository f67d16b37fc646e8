#pragma once

#include "comm/MyCommWatcher.h"

#include <QString>

#include <cstdint>

// What a device offers the watcher, found by opening it for status queries the way the
// watcher would and trying each request once. For dialogs that let the user pick an
// adapter; it blocks for at most about a tenth of a second.
namespace comm {

struct SerialProbe
{
    QString device;              // the path probed, links resolved where possible
    bool opened = false;         // opened for status queries and confirmed to be a terminal
    QString error;               // why not, in the user's language; empty when opened
    bool answersStatus = false;  // the modem-status read (TIOCMGET) works
    bool changeWait = false;     // the driver offers the change wait (TIOCMIWAIT)
    std::int64_t readCostNs = 0; // one status read
    TMyCommTier tier = TMyCommTier::None; // how the watcher would follow it
    QString driver;                       // the kernel driver, empty when unknown
    QString notes;                        // limits of the driver, in the user's language
};

// `path` is a device file such as /dev/ttyUSB0, or a link to one. `portName` names it in
// the messages ("COM1"); empty uses the path.
SerialProbe probeSerialDevice(const QString &path, const QString &portName = {});

// The German (translated) name of a tier, for showing beside a port.
QString tierName(TMyCommTier tier);

} // namespace comm
