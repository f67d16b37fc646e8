#pragma once

#include <QString>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace comm {

// Bits of the modem-status word.
inline constexpr std::uint32_t MS_CTS_ON = 0x10;
inline constexpr std::uint32_t MS_DSR_ON = 0x20;
inline constexpr std::uint32_t MS_RING_ON = 0x40;
inline constexpr std::uint32_t MS_RLSD_ON = 0x80;

// What is known about a port's driver once it is open.
struct SerialPortFacts
{
    QString device; // the device file, links resolved
    QString driver; // the kernel driver's name, empty when unknown
    // cdc-acm reports CTS on whatever the line does.
    bool ctsAlwaysOn = false;
    // FTDI adapters hold status changes back for this many milliseconds; -1 unknown.
    int latencyMs = -1;
    bool latencyLowered = false;
};

// A serial port opened for modem-status queries only. Destroying it closes it.
class SerialPort
{
public:
    enum class Read {
        Ok,
        Failed, // the device answers, but not with modem lines
        Gone,   // the device has been removed or hung up: it never answers again
    };
    enum class Wait {
        Changed,     // the driver saw a line change and ended the wait
        Before,      // a line had changed before the wait began: read again
        Expired,     // interrupted (a wake or its bound): read the status again
        Unsupported, // the driver cannot wait: poll instead
        Gone,        // the device has been removed or hung up
    };
    enum class Look {
        Quiet,   // no line has moved since the last readStatus()
        Moved,   // a line has moved since: a read would see it
        Unknown, // the driver cannot tell (or the device has gone)
    };

    virtual ~SerialPort() = default;

    // Reads the modem-status word. Unless Ok, the word is left as it was.
    virtual Read readStatus(std::uint32_t &word) = 0;
    bool modemStatus(std::uint32_t &word) { return readStatus(word) == Read::Ok; }

    // Blocks until a line may have changed since the last readStatus(). A change that
    // falls between that read and the kernel's own snapshot at the start of its wait is
    // not seen by the wait: callers bound it (SerialWake::bound) and compare afterwards.
    // Blocks in a plain system call, holding no lock and owning nothing, so that a wake
    // may abandon it.
    virtual Wait waitForChange() = 0;

    // From another thread, only while the owner blocks in waitForChange(): whether a line
    // has moved since the last readStatus(), by the interrupt counters or, where the driver
    // keeps none, the lines themselves. Catches a change that fell before the kernel's
    // snapshot, which the wait itself sleeps through.
    virtual Look lookForChange() { return Look::Unknown; }

    // Whether, at the start of the last readStatus(), no line had moved since the read
    // before: a change that read saw then happened during the read itself.
    virtual bool quietBeforeRead() const { return false; }

    // Switches the outputs DTR and RTS; false where the driver refuses. Any thread may
    // call it while the watcher reads or waits.
    virtual bool setOutputs(bool dtr, bool rts)
    {
        (void)dtr;
        (void)rts;
        return false;
    }

    // Nanoseconds one status read took when the port was opened.
    virtual std::int64_t readCostNs() const { return 0; }
    virtual SerialPortFacts facts() const { return {}; }
};

// Line-change counters as the kernel keeps them (TIOCGICOUNT).
struct LineCounters
{
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    bool operator==(const LineCounters &) const = default;
};

// The driver underneath a port: each call answers as the ioctl of that name does on a
// serial device, 0 or the negated errno. Tests put an emulated driver here.
class SerialDriver
{
public:
    virtual ~SerialDriver() = default;
    virtual int getModemBits(int &bits) = 0;           // TIOCMGET
    virtual int getCounters(LineCounters &counts) = 0; // TIOCGICOUNT
    // TIOCMIWAIT: compares against the counters as they are on entry, returns 0 once one
    // of the lines in `mask` has changed since. Must block in a plain system call.
    virtual int waitModemChange(int mask) = 0;
    virtual int setModemBits(int bits) = 0; // TIOCMBIS
    virtual int clearModemBits(int bits)    // TIOCMBIC
    {
        (void)bits;
        return -ENOTTY;
    }
};

// Why a port could not be opened.
struct SerialOpenError
{
    enum Kind {
        None,
        NoDevice,     // nothing of that name
        NoPermission, // `group` owns the device and may use it
        Busy,         // another program holds it exclusively (`holder`, if found)
        NotATerminal, // a file or a device that is no serial port
        NoModemLines, // a terminal without modem-status lines
        Other,        // `error` is the system's code
    };
    Kind kind = None;
    QString device;
    QString group;
    int error = 0;
    pid_t holderPid = 0; // Busy: the process that holds the device, 0 when unknown
    QString holder;      // its program name
};

// The process that holds a device open.
struct SerialHolder
{
    pid_t pid = 0; // 0: none found
    QString name;
};

// The process that holds `device`: the owner of its advisory lock, or failing that a
// process with a descriptor on it (as far as /proc lets us see).
SerialHolder findSerialHolder(const QString &device);

// Takes the device open on `fd` for this descriptor alone, as serial programs do: an
// advisory lock on it, then the terminal's exclusive mode. false with Busy and the holder
// when another descriptor holds the lock; the terminal is then left as it was.
bool holdExclusively(int fd, const QString &device, SerialOpenError &error);

// The user and groups whose rights decide whether a device may be opened.
struct Credentials
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;

    static Credentials ofProcess();
    // Whether these credentials may read a file of that owner, group and mode.
    bool mayRead(uid_t owner, gid_t group, mode_t mode) const;
};

// A port on `driver`: measures its reads and switches DTR and RTS on. nullptr with
// NoModemLines when the driver cannot report the lines.
std::unique_ptr<SerialPort> openOnDriver(std::unique_ptr<SerialDriver> driver,
                                         SerialPortFacts facts, SerialOpenError &error);

// Opens ports by number: 1 is "COM1". Tests install their own.
class SerialPorts
{
public:
    virtual ~SerialPorts() = default;
    // nullptr when the port does not exist or cannot be opened; `error` says why.
    virtual std::unique_ptr<SerialPort> open(std::uint8_t number, SerialOpenError &error) = 0;
};

// The machine's ports: COMn is /dev/ttyS<n-1>, unless the user's config folder holds a
// link "comN" to another device (a USB adapter).
class DeviceSerialPorts final : public SerialPorts
{
public:
    DeviceSerialPorts() = default;
    // Decides permissions for these credentials instead of the process's.
    explicit DeviceSerialPorts(Credentials credentials);

    std::unique_ptr<SerialPort> open(std::uint8_t number, SerialOpenError &error) override;
    std::unique_ptr<SerialPort> openPath(const QString &path, SerialOpenError &error);

    // The device that COMn stands for.
    static QString devicePath(std::uint8_t number);
    // Where the user's link for COMn lives, whether or not it exists (empty for 0).
    static QString linkPath(std::uint8_t number);

    // Where the kernel's device attributes live; tests lay out their own.
    static void setSysfsRoot(const QString &root);

private:
    bool m_ownCredentials = false;
    Credentials m_credentials;
};

SerialPorts &serialPorts();
// nullptr restores the machine's ports. Call it on the user-interface thread only.
void setSerialPorts(SerialPorts *ports);

} // namespace comm
