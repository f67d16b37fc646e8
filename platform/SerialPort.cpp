#include "platform/SerialPort.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::uint32_t statusWord(int bits)
{
    std::uint32_t word = 0;
    if (bits & TIOCM_CTS)
        word |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        word |= MS_DSR_ON;
    if (bits & TIOCM_RNG)
        word |= MS_RING_ON;
    if (bits & TIOCM_CD)
        word |= MS_RLSD_ON;
    return word;
}

bool sameCounts(const serial_icounter_struct &a, const serial_icounter_struct &b)
{
    return a.cts == b.cts && a.dsr == b.dsr && a.rng == b.rng && a.dcd == b.dcd;
}

class SerialDevice final : public SerialPort
{
public:
    explicit SerialDevice(int fd) : m_fd(fd) {}
    ~SerialDevice() override { ::close(m_fd); }
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    bool modemStatus(std::uint32_t &word) override
    {
        // The interrupt counters before the read let waitForChange see a change that
        // happens between this read and the start of the wait.
        if (m_waits && m_counted)
            m_counted = ::ioctl(m_fd, TIOCGICOUNT, &m_seen) == 0;
        int bits = 0;
        if (::ioctl(m_fd, TIOCMGET, &bits) != 0)
            return false;
        word = statusWord(bits);
        return true;
    }

    Wait waitForChange() override
    {
        if (!m_waits)
            return Wait::Unsupported;
        serial_icounter_struct before{};
        if (m_counted && ::ioctl(m_fd, TIOCGICOUNT, &before) == 0 && !sameCounts(before, m_seen))
            return Wait::Changed;
        if (::ioctl(m_fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD) == 0) {
            noteWake(before);
            return Wait::Changed;
        }
        if (errno == EINTR)
            return Wait::Changed;
        // EINVAL on many USB adapters; EIO once a device has gone. Either way: poll.
        m_waits = false;
        return Wait::Unsupported;
    }

private:
    // A driver whose wait keeps returning with no line counted would make the watcher
    // spin; after a run of such returns it is polled instead.
    void noteWake(const serial_icounter_struct &before)
    {
        serial_icounter_struct after{};
        if (!m_counted || ::ioctl(m_fd, TIOCGICOUNT, &after) != 0 || !sameCounts(after, before)) {
            m_idleWakes = 0;
            return;
        }
        if (++m_idleWakes >= MaxIdleWakes)
            m_waits = false;
    }

    static constexpr int MaxIdleWakes = 1000;

    int m_fd;
    bool m_waits = true;
    bool m_counted = true;
    int m_idleWakes = 0;
    serial_icounter_struct m_seen{};
};

QString configFolder()
{
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(QFile::decodeName(xdg)))
        return QFile::decodeName(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

DeviceSerialPorts g_devicePorts;
SerialPorts *g_ports = &g_devicePorts;

} // namespace

QString DeviceSerialPorts::linkPath(std::uint8_t number)
{
    if (number == 0)
        return {};
    return configFolder() + QStringLiteral("/tachoflux/com") + QString::number(number);
}

QString DeviceSerialPorts::devicePath(std::uint8_t number)
{
    if (number == 0)
        return {};
    const QString link = linkPath(number);
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(link).constData(), &st) == 0)
        return link;
    return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
}

std::unique_ptr<SerialPort> DeviceSerialPorts::open(std::uint8_t number)
{
    if (number == 0)
        return nullptr;
    const QByteArray path = QFile::encodeName(devicePath(number));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // A link may point anywhere; only a character device can be a serial port.
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // The contacts take DSR and CTS from DTR and RTS, so these must be on.
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &outputs);
    return std::make_unique<SerialDevice>(fd);
}

SerialPorts &serialPorts()
{
    return *g_ports;
}

void setSerialPorts(SerialPorts *ports)
{
    g_ports = ports ? ports : &g_devicePorts;
}

} // namespace platform
