#include "comm/SerialPort.h"

#include "platform/Files.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
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

// What a removed USB adapter or a hung-up line answers to every request.
bool goneError(int error)
{
    return error == EIO || error == ENODEV || error == ENXIO;
}

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

QString g_sysfsRoot = QStringLiteral("/sys");

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64).trimmed();
}

SerialPortFacts factsOf(const QString &device)
{
    SerialPortFacts facts;
    facts.device = device;
    const QString base = g_sysfsRoot + QStringLiteral("/class/tty/") +
                         QFileInfo(device).fileName() + QStringLiteral("/device");
    facts.driver =
        QFileInfo(QFileInfo(base + QStringLiteral("/driver")).symLinkTarget()).fileName();
    facts.ctsAlwaysOn = facts.driver == u"cdc_acm";
    const QString latency = base + QStringLiteral("/latency_timer");
    bool ok = false;
    const int ms = readSmallFile(latency).toInt(&ok);
    if (ok) {
        facts.latencyMs = ms;
        if (ms > 1) {
            QFile file(latency);
            if (file.open(QIODevice::WriteOnly) && file.write("1") == 1 && file.flush()) {
                file.close();
                const int now = readSmallFile(latency).toInt(&ok);
                if (ok && now <= 1) {
                    facts.latencyMs = now;
                    facts.latencyLowered = true;
                }
            }
        }
    }
    return facts;
}

// A terminal's modem requests.
class FdDriver final : public SerialDriver
{
public:
    explicit FdDriver(FileDescriptor fd) : m_fd(std::move(fd)) {}

    int getModemBits(int &bits) override { return result(::ioctl(m_fd.get(), TIOCMGET, &bits)); }
    int getCounters(LineCounters &counts) override
    {
        serial_icounter_struct icount{};
        const int r = result(::ioctl(m_fd.get(), TIOCGICOUNT, &icount));
        counts = {icount.cts, icount.dsr, icount.rng, icount.dcd};
        return r;
    }
    int waitModemChange(int mask) override
    {
        return result(::ioctl(m_fd.get(), TIOCMIWAIT, mask));
    }
    int setModemBits(int bits) override { return result(::ioctl(m_fd.get(), TIOCMBIS, &bits)); }

private:
    static int result(int r) { return r == 0 ? 0 : -errno; }

    FileDescriptor m_fd;
};

class SerialDevice final : public SerialPort
{
public:
    SerialDevice(std::unique_ptr<SerialDriver> driver, SerialPortFacts facts)
        : m_driver(std::move(driver)), m_facts(std::move(facts))
    {
    }

    Read readStatus(std::uint32_t &word) override
    {
        // The interrupt counters before the read let waitForChange see a change that
        // happens between this read and the start of the wait.
        if (m_waits && m_counted)
            m_counted = m_driver->getCounters(m_seen) == 0;
        int bits = 0;
        if (const int r = m_driver->getModemBits(bits); r != 0)
            return goneError(-r) ? Read::Gone : Read::Failed;
        m_word = statusWord(bits);
        word = m_word;
        return Read::Ok;
    }

    Wait waitForChange() override
    {
        if (!m_waits)
            return Wait::Unsupported;
        // The kernel's wait compares against the counters it finds on entry: whatever
        // changed before must be caught here, as late as possible.
        LineCounters before;
        if (m_counted) {
            if (const int r = m_driver->getCounters(before); r != 0)
                return goneError(-r) ? Wait::Gone : Wait::Changed;
            if (before != m_seen)
                return Wait::Changed;
        } else {
            // No counters (pl2303 and the like): the lines themselves.
            int bits = 0;
            if (const int r = m_driver->getModemBits(bits); r != 0)
                return goneError(-r) ? Wait::Gone : Wait::Changed;
            if (statusWord(bits) != m_word)
                return Wait::Changed;
        }
        const int r = m_driver->waitModemChange(TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD);
        if (r == 0) {
            noteWake(before);
            return Wait::Changed;
        }
        if (r == -EINTR)
            return Wait::Expired;
        int bits = 0;
        if (goneError(-r)) {
            const int check = m_driver->getModemBits(bits);
            if (check != 0 && goneError(-check))
                return Wait::Gone;
        }
        // EINVAL or ENOTTY: the driver has no change wait.
        m_waits = false;
        return Wait::Unsupported;
    }

    std::int64_t readCostNs() const override { return m_readCostNs; }
    SerialPortFacts facts() const override { return m_facts; }

    // Times a few reads; the median stands for all.
    bool measureReads()
    {
        std::array<std::int64_t, 5> costs{};
        for (std::int64_t &cost : costs) {
            const std::int64_t start = nowNs();
            int bits = 0;
            if (m_driver->getModemBits(bits) != 0)
                return false;
            cost = nowNs() - start;
        }
        std::sort(costs.begin(), costs.end());
        m_readCostNs = costs[costs.size() / 2];
        return true;
    }

    void switchOutputsOn() { m_driver->setModemBits(TIOCM_DTR | TIOCM_RTS); }

private:
    // A driver whose wait keeps returning with no line counted would make the watcher
    // spin; after a run of such returns it is polled instead.
    void noteWake(const LineCounters &before)
    {
        LineCounters after;
        if (!m_counted || m_driver->getCounters(after) != 0 || after != before) {
            m_idleWakes = 0;
            return;
        }
        if (++m_idleWakes >= MaxIdleWakes)
            m_waits = false;
    }

    static constexpr int MaxIdleWakes = 1000;

    std::unique_ptr<SerialDriver> m_driver;
    SerialPortFacts m_facts;
    bool m_waits = true;
    bool m_counted = true;
    int m_idleWakes = 0;
    std::uint32_t m_word = 0;
    std::int64_t m_readCostNs = 0;
    LineCounters m_seen;
};

QString groupName(gid_t gid)
{
    if (const group *g = getgrgid(gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

DeviceSerialPorts g_devicePorts;
SerialPorts *g_ports = &g_devicePorts;

} // namespace

QString DeviceSerialPorts::linkPath(std::uint8_t number)
{
    const QString folder = configFolder();
    if (number == 0 || folder.isEmpty())
        return {};
    return folder + QStringLiteral("/com") + QString::number(number);
}

Credentials Credentials::ofProcess()
{
    Credentials c;
    c.uid = geteuid();
    c.gid = getegid();
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        c.groups.resize(std::size_t(count));
        c.groups.resize(std::size_t(std::max(0, getgroups(count, c.groups.data()))));
    }
    return c;
}

bool Credentials::mayRead(uid_t owner, gid_t group, mode_t mode) const
{
    if (uid == 0)
        return true;
    if (owner == uid)
        return mode & S_IRUSR;
    if (group == gid || std::find(groups.begin(), groups.end(), group) != groups.end())
        return mode & S_IRGRP;
    return mode & S_IROTH;
}

DeviceSerialPorts::DeviceSerialPorts(Credentials credentials)
    : m_ownCredentials(true), m_credentials(std::move(credentials))
{
}

void DeviceSerialPorts::setSysfsRoot(const QString &root)
{
    g_sysfsRoot = root.isEmpty() ? QStringLiteral("/sys") : root;
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

std::unique_ptr<SerialPort> DeviceSerialPorts::open(std::uint8_t number, SerialOpenError &error)
{
    error = {};
    if (number == 0)
        return nullptr;
    return openPath(devicePath(number), error);
}

std::unique_ptr<SerialPort> DeviceSerialPorts::openPath(const QString &path, SerialOpenError &error)
{
    error = {};
    const QFileInfo info(path);
    error.device = info.exists() ? info.canonicalFilePath() : path;
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(name.constData(), &st) != 0) {
        error.kind = errno == ENOENT || errno == ENOTDIR ? SerialOpenError::NoDevice
                                                         : SerialOpenError::Other;
        error.error = errno;
        return nullptr;
    }
    // A link may point anywhere; only a character device can be a serial port.
    if (!S_ISCHR(st.st_mode)) {
        error.kind = SerialOpenError::NotATerminal;
        return nullptr;
    }
    const Credentials credentials = m_ownCredentials ? m_credentials : Credentials::ofProcess();
    if (!credentials.mayRead(st.st_uid, st.st_gid, st.st_mode)) {
        error.kind = SerialOpenError::NoPermission;
        error.group = groupName(st.st_gid);
        return nullptr;
    }
    FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        error.error = errno;
        switch (errno) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            error.kind = SerialOpenError::NoDevice;
            break;
        case EACCES:
        case EPERM:
            error.kind = SerialOpenError::NoPermission;
            error.group = groupName(st.st_gid);
            break;
        case EBUSY:
            error.kind = SerialOpenError::Busy;
            break;
        default:
            error.kind = SerialOpenError::Other;
            break;
        }
        return nullptr;
    }
    // No modem request goes to anything but a terminal: on other devices the same
    // numbers mean something else.
    if (!::isatty(fd.get())) {
        error.kind = SerialOpenError::NotATerminal;
        return nullptr;
    }
    const QString device = error.device;
    std::unique_ptr<SerialPort> port =
        openOnDriver(std::make_unique<FdDriver>(std::move(fd)), factsOf(device), error);
    error.device = device;
    return port;
}

std::unique_ptr<SerialPort> openOnDriver(std::unique_ptr<SerialDriver> driver,
                                         SerialPortFacts facts, SerialOpenError &error)
{
    error = {};
    error.device = facts.device;
    auto port = std::make_unique<SerialDevice>(std::move(driver), std::move(facts));
    if (!port->measureReads()) {
        error.kind = SerialOpenError::NoModemLines;
        return nullptr;
    }
    // The contacts take DSR and CTS from DTR and RTS, so these must be on.
    port->switchOutputsOn();
    return port;
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
