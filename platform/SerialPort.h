#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace platform {

// Bits of the modem-status word.
inline constexpr std::uint32_t MS_CTS_ON = 0x10;
inline constexpr std::uint32_t MS_DSR_ON = 0x20;
inline constexpr std::uint32_t MS_RING_ON = 0x40;
inline constexpr std::uint32_t MS_RLSD_ON = 0x80;

// A serial port opened for modem-status queries only. Destroying it closes it.
class SerialPort
{
public:
    enum class Wait {
        Changed,     // a line may have changed: read the status again
        Unsupported, // the driver cannot wait: poll instead
    };

    virtual ~SerialPort() = default;

    // Reads the modem-status word. On failure the word is left as it was.
    virtual bool modemStatus(std::uint32_t &word) = 0;

    // Blocks until a line may have changed since the last modemStatus(). A change that
    // falls between that read and this call still ends the wait. Blocks in a plain system
    // call, holding no lock and owning nothing, so that a wake may abandon it (SerialWake).
    virtual Wait waitForChange() = 0;
};

// Opens ports by number: 1 is "COM1". Tests install their own.
class SerialPorts
{
public:
    virtual ~SerialPorts() = default;
    // nullptr when the port does not exist or cannot be opened.
    virtual std::unique_ptr<SerialPort> open(std::uint8_t number) = 0;
};

// The machine's ports: COMn is /dev/ttyS<n-1>, unless the user's config folder holds a
// link "comN" to another device (a USB adapter).
class DeviceSerialPorts final : public SerialPorts
{
public:
    std::unique_ptr<SerialPort> open(std::uint8_t number) override;

    // The device that COMn stands for.
    static QString devicePath(std::uint8_t number);
    // Where the user's link for COMn lives, whether or not it exists (empty for 0).
    static QString linkPath(std::uint8_t number);
};

SerialPorts &serialPorts();
// nullptr restores the machine's ports. Call it on the user-interface thread only.
void setSerialPorts(SerialPorts *ports);

} // namespace platform
