#include "comm/SerialProbe.h"

#include "comm/SerialMessages.h"
#include "comm/SerialWake.h"
#include "platform/ProcessSignals.h"
#include "platform/ResourceText.h"


namespace comm {

namespace {

// The change wait blocks until a line changes, so it is tried on a thread of its own,
// bounded: an answer within the bound means the driver refused the request.
comm::SerialPort::Wait tryChangeWait(comm::SerialPort &port)
{
    comm::SerialPort::Wait result = comm::SerialPort::Wait::Expired;
    comm::SerialWake wake;
    platform::startWithSignalsBlocked([&] {
        wake.attach();
        wake.bound(50'000'000);
        auto call = [&] { result = port.waitForChange(); };
        if (!wake.run(call))
            result = comm::SerialPort::Wait::Expired;
        wake.detach();
    }).join();
    return result;
}

} // namespace

SerialProbe probeSerialDevice(const QString &path, const QString &portName)
{
    SerialProbe probe;
    probe.device = path;
    const QString name = portName.isEmpty() ? path : portName;
    comm::DeviceSerialPorts ports;
    comm::SerialOpenError error;
    std::unique_ptr<comm::SerialPort> port = ports.openPath(path, error);
    if (!port) {
        if (!error.device.isEmpty())
            probe.device = error.device;
        probe.opened = error.kind == comm::SerialOpenError::NoModemLines;
        probe.error = openErrorMessage(name, error);
        return probe;
    }
    const comm::SerialPortFacts facts = port->facts();
    probe.device = facts.device;
    probe.driver = facts.driver;
    probe.opened = true;
    std::uint32_t word = 0;
    probe.answersStatus = port->modemStatus(word);
    probe.readCostNs = port->readCostNs();
    // A change (before or during the wait) or the bound (Expired) all mean the driver has
    // the wait.
    const comm::SerialPort::Wait wait = tryChangeWait(*port);
    probe.changeWait = wait == comm::SerialPort::Wait::Changed ||
                       wait == comm::SerialPort::Wait::Before ||
                       wait == comm::SerialPort::Wait::Expired;
    probe.tier =
        probe.answersStatus ? tierFor(probe.changeWait, probe.readCostNs) : TMyCommTier::None;
    probe.notes = portFactsMessage(name, facts);
    return probe;
}

QString tierName(TMyCommTier tier)
{
    switch (tier) {
    case TMyCommTier::None:
        return platform::resourceText(QStringLiteral("not watched"));
    case TMyCommTier::ChangeWait:
        return platform::resourceText(QStringLiteral("change wait (no polling)"));
    case TMyCommTier::Polled:
        return platform::resourceText(QStringLiteral("polled: 1 kHz idle, 10 kHz during a run"));
    case TMyCommTier::BackToBack:
        return platform::resourceText(QStringLiteral("slow reads, read back to back"));
    }
    return {};
}

} // namespace comm
