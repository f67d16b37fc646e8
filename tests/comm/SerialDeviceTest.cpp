#include "comm/CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "comm/SerialPort.h"
#include "platform/Files.h"
#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using comm::DeviceSerialPorts;

namespace {

// The machine's own port layer, with the user's port links in a private config folder.
class SerialDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        savedHome = qgetenv("HOME");
        ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("tachoflux")));
        ASSERT_EQ(openpty(&master, &slave, ptyName, nullptr, nullptr), 0);
        QFile file(config.filePath(QStringLiteral("file")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a port");
        file.close();

        link(1, config.filePath(QStringLiteral("missing-device")));
        link(2, QStringLiteral("/dev/null"));
        link(3, QString::fromLocal8Bit(ptyName));
        link(4, config.filePath("file"));
    }

    void TearDown() override
    {
        ::close(slave);
        ::close(master);
        qputenv("HOME", savedHome);
    }

    QString linkPath(int n) const
    {
        return config.filePath(QStringLiteral("tachoflux/com%1").arg(n));
    }

    void link(int n, const QString &target) { ASSERT_TRUE(QFile::link(target, linkPath(n))) << n; }

    ConfigFolder config;
    QByteArray savedHome;
    int master = -1, slave = -1;
    char ptyName[256] = {};
};

TEST_F(SerialDeviceTest, PortNumbersNameTheSerialDevicesUnlessTheUserLinkedThem)
{
    EXPECT_EQ(DeviceSerialPorts::devicePath(1), linkPath(1));
    EXPECT_EQ(DeviceSerialPorts::devicePath(3), linkPath(3));
    EXPECT_EQ(DeviceSerialPorts::devicePath(5), "/dev/ttyS4");
    EXPECT_EQ(DeviceSerialPorts::devicePath(12), "/dev/ttyS11");
    EXPECT_EQ(DeviceSerialPorts::devicePath(0), QString());

    // Without a usable XDG_CONFIG_HOME the folder is ~/.config.
    for (const char *xdg : {"", "relative/folder"}) {
        SCOPED_TRACE(xdg);
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config/tachoflux")));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"),
                                home.filePath(QStringLiteral(".config/tachoflux/com7"))));
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(DeviceSerialPorts::devicePath(7), home.filePath(".config/tachoflux/com7"));
        EXPECT_EQ(DeviceSerialPorts::devicePath(6), "/dev/ttyS5");
    }
}

// Devices that are no serial port never get a modem request: a link to nothing, the null
// device and a plain file are refused before, a pseudo-terminal has no modem lines.
TEST_F(SerialDeviceTest, DevicesThatAreNoSerialPortAreRefusedWithTheReason)
{
    using comm::SerialOpenError;
    const struct
    {
        std::uint8_t number;
        SerialOpenError::Kind kind;
    } rows[] = {{1, SerialOpenError::NoDevice},
                {2, SerialOpenError::NotATerminal},
                {3, SerialOpenError::NoModemLines},
                {4, SerialOpenError::NotATerminal}};
    DeviceSerialPorts ports;
    for (const auto &row : rows) {
        SCOPED_TRACE(int(row.number));
        SerialOpenError error;
        EXPECT_EQ(ports.open(row.number, error), nullptr);
        EXPECT_EQ(error.kind, row.kind);
    }
}

// The rights are those of the user's credentials against the device's owner, group and
// mode, so they can be checked for any user, also when the tests run as the administrator.
TEST_F(SerialDeviceTest, ADeviceTheUserMayNotReadNamesTheGroupThatMay)
{
    struct stat st
    {
    };
    ASSERT_EQ(::stat(ptyName, &st), 0);
    ASSERT_EQ(::chmod(ptyName, 0660), 0);
    const uid_t stranger = st.st_uid + 4711;
    const gid_t strangerGroup = st.st_gid + 4711;
    const struct
    {
        const char *who;
        comm::Credentials credentials;
        bool may;
    } rows[] = {
        {"stranger", {stranger, strangerGroup, {}}, false},
        {"member of the device's group", {stranger, strangerGroup, {st.st_gid}}, true},
        {"owner", {st.st_uid, strangerGroup, {}}, true},
        {"administrator", {0, 0, {}}, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.who);
        EXPECT_EQ(row.credentials.mayRead(st.st_uid, st.st_gid, 0660), row.may);
        comm::SerialOpenError error;
        DeviceSerialPorts ports(row.credentials);
        EXPECT_EQ(ports.open(3, error), nullptr);
        if (row.may) {
            EXPECT_EQ(error.kind, comm::SerialOpenError::NoModemLines);
            continue;
        }
        EXPECT_EQ(error.kind, comm::SerialOpenError::NoPermission);
        const group *g = getgrgid(st.st_gid);
        EXPECT_EQ(error.group, g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid));
        EXPECT_EQ(error.device, QFileInfo(QString::fromLocal8Bit(ptyName)).canonicalFilePath());
    }
    // Readable by all: nobody is refused.
    const comm::Credentials anybody{stranger, strangerGroup, {}};
    EXPECT_TRUE(anybody.mayRead(0, 0, 0664));
}

QString ownName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                          : QString();
}

// A port is held by one descriptor at a time, as serial programs hold it (an advisory lock
// and the terminal's exclusive mode): a second open is refused as busy and names the
// holder, whose descriptor goes on working; once the holder lets go, the port is free.
TEST_F(SerialDeviceTest, APortHeldByAnotherOpenIsBusyAndNamesTheHolderWhoKeepsIt)
{
    const QString pty = QString::fromLocal8Bit(ptyName);
    platform::FileDescriptor holder(::open(ptyName, O_RDONLY | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(holder.valid());
    comm::SerialOpenError error;
    ASSERT_TRUE(comm::holdExclusively(holder.get(), pty, error));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(holder.get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    DeviceSerialPorts ports;
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(ports.openPath(pty, error), nullptr);
        EXPECT_EQ(error.kind, comm::SerialOpenError::Busy);
        EXPECT_EQ(error.holderPid, getpid());
        EXPECT_EQ(error.holder, ownName());
        EXPECT_EQ(error.device, QFileInfo(pty).canonicalFilePath());
    }
    // The holder still reads its terminal and still holds it.
    ASSERT_EQ(::write(master, "ok\n", 3), 3);
    char text[3] = {};
    ASSERT_TRUE(waitFor([&] { return ::read(holder.get(), text, 3) == 3; }, false));
    EXPECT_EQ(std::string(text, 3), "ok\n");
    EXPECT_EQ(comm::findSerialHolder(pty).pid, getpid());

    holder.close();
    EXPECT_EQ(comm::findSerialHolder(pty).pid, 0);
    EXPECT_EQ(ports.openPath(pty, error), nullptr);
    EXPECT_EQ(error.kind, comm::SerialOpenError::NoModemLines);
    // An open that failed for another reason has let go of the port again.
    platform::FileDescriptor next(::open(ptyName, O_RDONLY | O_NOCTTY | O_NONBLOCK));
    EXPECT_TRUE(comm::holdExclusively(next.get(), pty, error));
}

// The holder is another program, found by its lock.
TEST_F(SerialDeviceTest, APortLockedByAnotherProgramNamesThatProgram)
{
    const QString pty = QString::fromLocal8Bit(ptyName);
    QProcess other;
    // flock(1) holds the lock itself while `cat` runs, which ends with its input.
    other.start(QStringLiteral("flock"),
                {QStringLiteral("--exclusive"), QStringLiteral("--close"), pty, QStringLiteral("cat")});
    ASSERT_TRUE(other.waitForStarted());
    // flock(1) opens the device before it locks it, and an open alone already names the
    // holder: wait for the lock itself.
    const auto locked = [&] {
        platform::FileDescriptor probe(::open(ptyName, O_RDONLY | O_NOCTTY | O_NONBLOCK));
        return ::flock(probe.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    };
    ASSERT_TRUE(waitFor(locked));
    ASSERT_EQ(comm::findSerialHolder(pty).pid, other.processId());

    DeviceSerialPorts ports;
    comm::SerialOpenError error;
    EXPECT_EQ(ports.openPath(pty, error), nullptr);
    EXPECT_EQ(error.kind, comm::SerialOpenError::Busy);
    EXPECT_EQ(error.holderPid, other.processId());
    EXPECT_EQ(error.holder, "flock");

    other.kill();
    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished());
    ASSERT_TRUE(waitFor([&] { return comm::findSerialHolder(pty).pid == 0; }));
    EXPECT_EQ(ports.openPath(pty, error), nullptr);
    EXPECT_EQ(error.kind, comm::SerialOpenError::NoModemLines);
}

TEST_F(SerialDeviceTest, ComponentShowsSuchPortsInactiveAndReportsNothing)
{
    comm::TMyCommStatus status;
    int changes = 0;
    status.setOnChanged([&](QObject *) { ++changes; });
    for (std::uint8_t n : {1, 2, 3, 4}) {
        SCOPED_TRACE(int(n));
        changes = 0;
        status.ChangePort(n);
        EXPECT_FALSE(status.Active());
        EXPECT_FALSE(status.ClearToSend() || status.DataSetReady() || status.Ring() ||
                     status.ReceiveLine());
        EXPECT_EQ(changes, 1);
        handleEventsFor(50);
        EXPECT_EQ(changes, 1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
