#include "comm/SerialPort.h"

#include "platform/Clock.h"
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
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace comm {

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
    explicit FdDriver(platform::FileDescriptor fd) : m_fd(std::move(fd)) {}

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
    int clearModemBits(int bits) override
    {
        return result(::ioctl(m_fd.get(), TIOCMBIC, &bits));
    }

private:
    static int result(int r) { return r == 0 ? 0 : -errno; }

    platform::FileDescriptor m_fd;
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
        m_quiet = false;
        if (m_waits && m_counted) {
            LineCounters now;
            m_counted = m_driver->getCounters(now) == 0;
            m_quiet = m_counted && m_read && now == m_seen;
            m_seen = now;
        }
        m_read = true;
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
                return goneError(-r) ? Wait::Gone : Wait::Before;
            if (before != m_seen)
                return Wait::Before;
        } else {
            // No counters (pl2303 and the like): the lines themselves.
            int bits = 0;
            if (const int r = m_driver->getModemBits(bits); r != 0)
                return goneError(-r) ? Wait::Gone : Wait::Before;
            if (statusWord(bits) != m_word)
                return Wait::Before;
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

    Look lookForChange() override
    {
        // Fields read here are written by readStatus() only, never during a wait.
        if (m_counted) {
            LineCounters now;
            if (m_driver->getCounters(now) != 0)
                return Look::Unknown;
            return now == m_seen ? Look::Quiet : Look::Moved;
        }
        int bits = 0;
        if (m_driver->getModemBits(bits) != 0)
            return Look::Unknown;
        return statusWord(bits) == m_word ? Look::Quiet : Look::Moved;
    }

    bool quietBeforeRead() const override { return m_quiet; }

    std::int64_t readCostNs() const override { return m_readCostNs; }
    SerialPortFacts facts() const override { return m_facts; }

    // Times a few reads; the median stands for all.
    bool measureReads()
    {
        std::array<std::int64_t, 5> costs{};
        for (std::int64_t &cost : costs) {
            const std::int64_t start = platform::monotonicNs();
            int bits = 0;
            if (m_driver->getModemBits(bits) != 0)
                return false;
            cost = platform::monotonicNs() - start;
        }
        std::sort(costs.begin(), costs.end());
        m_readCostNs = costs[costs.size() / 2];
        return true;
    }

    void switchOutputsOn() { m_driver->setModemBits(TIOCM_DTR | TIOCM_RTS); }

    bool setOutputs(bool dtr, bool rts) override
    {
        const int on = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
        const int off = (TIOCM_DTR | TIOCM_RTS) & ~on;
        return (on == 0 || m_driver->setModemBits(on) == 0) &&
               (off == 0 || m_driver->clearModemBits(off) == 0);
    }

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
    bool m_read = false;
    bool m_quiet = false;
    int m_idleWakes = 0;
    std::uint32_t m_word = 0;
    std::int64_t m_readCostNs = 0;
    LineCounters m_seen;
};

QString programName(pid_t pid)
{
    return QString::fromLocal8Bit(readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid)));
}

// The owner of an advisory lock on the file (st_dev, st_ino), from the kernel's list:
// "1: FLOCK  ADVISORY  WRITE 4711 00:05:123 0 EOF".
pid_t lockOwner(dev_t dev, ino_t ino)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray file = QByteArray::number(major(dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(minor(dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(qulonglong(ino));
    // A file of the kernel's has no size: read to the end, not up to it.
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // A blocked request ("1: -> FLOCK ...") is not a holder.
        if (fields.size() < 6 || fields[1] == "->")
            continue;
        if (fields[5] == file) {
            bool ok = false;
            const int pid = fields[4].toInt(&ok);
            if (ok && pid > 0)
                return pid;
        }
    }
    return 0;
}

// A process with a descriptor on the character device `rdev`, other than this one.
pid_t descriptorOwner(dev_t rdev)
{
    const pid_t self = getpid();
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const pid_t pid = entry.toInt(&ok);
        if (!ok || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            struct stat st
            {
            };
            if (::stat(QFile::encodeName(fds.filePath(fd)).constData(), &st) == 0 &&
                S_ISCHR(st.st_mode) && st.st_rdev == rdev)
                return pid;
        }
    }
    return 0;
}

QString groupName(gid_t gid)
{
    if (const group *g = getgrgid(gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

DeviceSerialPorts g_devicePorts;
SerialPorts *g_ports = &g_devicePorts;

} // namespace

SerialHolder findSerialHolder(const QString &device)
{
    SerialHolder holder;
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return holder;
    holder.pid = lockOwner(st.st_dev, st.st_ino);
    if (holder.pid == 0 && S_ISCHR(st.st_mode))
        holder.pid = descriptorOwner(st.st_rdev);
    if (holder.pid != 0)
        holder.name = programName(holder.pid);
    return holder;
}

bool holdExclusively(int fd, const QString &device, SerialOpenError &error)
{
    // The lock first: exclusive mode set on a terminal that another program holds would
    // stay behind for it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return true; // a file system without locks: the exclusive mode still holds
        error.kind = SerialOpenError::Busy;
        const SerialHolder holder = findSerialHolder(device);
        error.holderPid = holder.pid;
        error.holder = holder.name;
        return false;
    }
    // Refuses further opens (to all but the administrator, whom the lock still stops).
    ::ioctl(fd, TIOCEXCL);
    return true;
}

QString DeviceSerialPorts::linkPath(std::uint8_t number)
{
    const QString folder = platform::configFolder();
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
    platform::FileDescriptor fd(
        ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
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
        case EBUSY: {
            error.kind = SerialOpenError::Busy;
            const SerialHolder holder = findSerialHolder(path);
            error.holderPid = holder.pid;
            error.holder = holder.name;
            break;
        }
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
    if (!holdExclusively(fd.get(), path, error)) {
        fd = platform::FileDescriptor();
        // Found after our own descriptor has gone, so that it is not taken for the holder.
        if (error.holderPid == 0) {
            const SerialHolder holder = findSerialHolder(path);
            error.holderPid = holder.pid;
            error.holder = holder.name;
        }
        return nullptr;
    }
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

} // namespace comm
