#pragma once

#include "comm/SelfTest.h"
#include "comm/SerialPort.h"

#include <QString>

namespace app {

// The last digit shown, 0.1 ms: a time that may be off by more than half of it shows a
// fourth decimal that cannot be trusted.
inline constexpr double LastDigitUs = 100.0;

// How far a time between the two barriers may be off by the timing path alone, in
// microseconds: the systematic difference between the contacts' paths and the larger
// spread (99th percentile above the median) of the two lines.
double betweenBarriersUs(const comm::SelfTestResult &result);

// The result in German, one statement a line: the figures per line, the difference
// between the two contacts' paths, whether the adapter buffers, and what it means for the
// last digit; without a loopback, what to plug or close.
QString selfTestText(const comm::SelfTestResult &result);

// The adapter a result belongs to: its link in serial/by-id under devRoot (which names the
// maker's product and its serial number), else the device file; "COM n" where the driver
// names no device.
QString adapterIdentity(const comm::SerialPortFacts &facts, int port,
                        const QString &devRoot = QStringLiteral("/dev"));

} // namespace app
