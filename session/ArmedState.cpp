#include "session/ArmedState.h"

namespace session {

ArmedState armedState(const ArmedInputs &in)
{
    if (in.flagMode) {
        if (!in.portOpen)
            return ArmedState::NoPort;
        if (in.held1 || in.held2)
            return ArmedState::ContactFault;
        return in.running ? ArmedState::Running
                          : in.hasStoppedRun ? ArmedState::Stopped : ArmedState::Ready;
    }
    if (in.running)
        return in.portOpen && in.line2 ? ArmedState::ContactFault : ArmedState::Running;
    if (in.hasStoppedRun)
        return ArmedState::Stopped;
    if (!in.portOpen)
        return ArmedState::NoPort;
    return in.line1 || in.line2 ? ArmedState::ContactFault : ArmedState::Ready;
}

QString armedStateText(ArmedState state)
{
    switch (state) {
    case ArmedState::NoPort: return QStringLiteral("kein Port");
    case ArmedState::Ready: return QStringLiteral("bereit");
    case ArmedState::Running: return QStringLiteral("läuft");
    case ArmedState::Stopped: return QStringLiteral("gestoppt");
    case ArmedState::ContactFault: return QStringLiteral("Kontakt offen/gestört");
    }
    return {};
}

// Bright on the projector's black and readable on the window's grey alike.
QColor armedStateColor(ArmedState state)
{
    switch (state) {
    case ArmedState::NoPort: return QColor(0x90, 0x90, 0x90);
    case ArmedState::Ready: return QColor(0x00, 0xC8, 0x00);
    case ArmedState::Running: return QColor(0xFF, 0xC0, 0x00);
    case ArmedState::Stopped: return QColor(0x30, 0x90, 0xFF);
    case ArmedState::ContactFault: return QColor(0xFF, 0x30, 0x30);
    }
    return {};
}

} // namespace session
