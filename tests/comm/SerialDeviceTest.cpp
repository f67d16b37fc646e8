#include "CommTestSupport.h"
#include "comm/MyCommStatus.h"
#include "platform/SerialPort.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <pty.h>
#include <unistd.h>

using platform::DeviceSerialPorts;

namespace {

// The machine's own port layer, with the user's port links in a private config folder.
class SerialDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        savedXdg = qgetenv("XDG_CONFIG_HOME");
        savedHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
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
        qputenv("XDG_CONFIG_HOME", savedXdg);
        qputenv("HOME", savedHome);
    }

    QString linkPath(int n) const
    {
        return config.filePath(QStringLiteral("tachoflux/com%1").arg(n));
    }

    void link(int n, const QString &target) { ASSERT_TRUE(QFile::link(target, linkPath(n))) << n; }

    QTemporaryDir config;
    QByteArray savedXdg, savedHome;
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

// Devices that are no serial port: a link to nothing and a plain file do not open; the
// null device and a pseudo-terminal open but cannot report modem lines.
TEST_F(SerialDeviceTest, DevicesWithoutModemLinesCannotReportThem)
{
    const struct
    {
        std::uint8_t number;
        bool opens;
    } rows[] = {{1, false}, {2, true}, {3, true}, {4, false}};
    DeviceSerialPorts ports;
    for (const auto &row : rows) {
        SCOPED_TRACE(int(row.number));
        std::unique_ptr<platform::SerialPort> port = ports.open(row.number);
        ASSERT_EQ(port != nullptr, row.opens);
        if (!port)
            continue;
        std::uint32_t word = 0x1234;
        EXPECT_FALSE(port->modemStatus(word));
        EXPECT_EQ(word, 0x1234u);
    }
}

TEST_F(SerialDeviceTest, ComponentShowsSuchPortsInactiveAndReportsNothing)
{
    TMyCommStatus status;
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
