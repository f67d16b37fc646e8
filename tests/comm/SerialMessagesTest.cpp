#include "comm/MyCommStatus.h"
#include "comm/SerialMessages.h"
#include "comm/SerialProbe.h"
#include "i18n/Translation.h"
#include "platform/Files.h"
#include "platform/ResourceText.h"
#include "support/FakeSerialPort.h"
#include "support/Installed.h"
#include "support/ProgramCatalogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user learns in German why a port cannot be used, from the program's own catalogs.
class SerialMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        catalogs.emplace(QStringLiteral(TACHOFLUX_PROGRAM));
        ASSERT_TRUE(catalogs->loaded());
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(openpty(&master, &slave, ptyName, nullptr, nullptr), 0);
    }
    void TearDown() override
    {
        ::close(slave);
        ::close(master);
        catalogs.reset();
    }

    std::string openMessage(comm::DeviceSerialPorts &ports, const QString &path)
    {
        comm::SerialOpenError error;
        EXPECT_EQ(ports.openPath(path, error), nullptr);
        return comm::openErrorMessage(QStringLiteral("COM1"), error).toStdString();
    }

    QTemporaryDir dir;
    int master = -1, slave = -1;
    std::optional<ProgramCatalogs> catalogs;
    char ptyName[256] = {};
};

TEST_F(SerialMessages, DevicesThatCannotBeOpenedAreExplainedInGerman)
{
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString plain = QFileInfo(file).canonicalFilePath();
    const QString pty = QFileInfo(QString::fromLocal8Bit(ptyName)).canonicalFilePath();
    struct stat st
    {
    };
    ASSERT_EQ(::stat(ptyName, &st), 0);
    ASSERT_EQ(::chmod(ptyName, 0660), 0);
    const group *g = getgrgid(st.st_gid);
    const std::string groupName = g ? g->gr_name : std::to_string(st.st_gid);

    comm::DeviceSerialPorts mine;
    comm::DeviceSerialPorts stranger(comm::Credentials{st.st_uid + 4711, st.st_gid + 4711, {}});
    EXPECT_EQ(openMessage(mine, dir.filePath("ttyUSB7")),
              "COM1 (" + dir.filePath("ttyUSB7").toStdString() +
                  ") lässt sich nicht öffnen: ein solches Gerät gibt es nicht");
    EXPECT_EQ(openMessage(stranger, pty),
              "COM1 (" + pty.toStdString() +
                  ") lässt sich nicht öffnen: Sie haben keine Berechtigung dafür. Nehmen Sie "
                  "Ihren Benutzer in die Gruppe „" +
                  groupName + "“ auf und melden Sie sich neu an");
    EXPECT_EQ(openMessage(mine, plain),
              "COM1 (" + plain.toStdString() +
                  ") lässt sich nicht öffnen: das ist keine serielle Schnittstelle");
    EXPECT_EQ(openMessage(mine, QStringLiteral("/dev/zero")),
              "COM1 (/dev/zero) lässt sich nicht öffnen: das ist keine serielle Schnittstelle");
    EXPECT_EQ(openMessage(mine, pty),
              "COM1 (" + pty.toStdString() +
                  ") ist nicht verwendbar: die Schnittstelle meldet keine Modemleitungen");

    const comm::SerialOpenError busy{comm::SerialOpenError::Busy, "/dev/ttyS0", {}, 0, 0, {}};
    EXPECT_EQ(comm::openErrorMessage("COM1", busy).toStdString(),
              "COM1 (/dev/ttyS0) ist belegt: ein anderes Programm benutzt die Schnittstelle");

    // A port another open holds names the program that holds it.
    platform::FileDescriptor holder(::open(ptyName, O_RDONLY | O_NOCTTY | O_NONBLOCK));
    comm::SerialOpenError held;
    ASSERT_TRUE(comm::holdExclusively(holder.get(), pty, held));
    QFile self(QStringLiteral("/proc/self/comm"));
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    EXPECT_EQ(openMessage(mine, pty),
              "COM1 (" + pty.toStdString() + ") ist belegt: das Programm „" +
                  self.readAll().trimmed().toStdString() + "“ (Prozess " +
                  std::to_string(getpid()) + ") benutzt die Schnittstelle");
}

TEST_F(SerialMessages, APulledAdapterAndTheLimitsOfADriverAreToldInGerman)
{
    FakeSerialPorts ports;
    std::shared_ptr<FakeModemLines> acm = ports.add(2);
    acm->setFacts({"/dev/ttyACM0", "cdc_acm", true, -1, false});
    std::shared_ptr<FakeModemLines> ftdi = ports.add(3);
    ftdi->setFacts({"/dev/ttyUSB0", "ftdi_sio", false, 16, false});
    std::shared_ptr<FakeModemLines> lowered = ports.add(4);
    lowered->setFacts({"/dev/ttyUSB1", "ftdi_sio", false, 1, true});

    comm::TMyCommStatus status;
    status.ChangePort(2);
    EXPECT_TRUE(status.Active());
    EXPECT_EQ(status.message().toStdString(),
              "COM2 (/dev/ttyACM0) meldet CTS immer als an (Treiber cdc_acm): Kontakt 2 kann "
              "hier nie auslösen");
    status.ChangePort(3);
    EXPECT_EQ(status.message().toStdString(),
              "COM3 (/dev/ttyUSB0) hält Leitungswechsel bis zu 16 ms zurück (latency_timer); "
              "erlauben Sie das Schreiben oder stellen Sie den Wert auf 1");
    status.ChangePort(4);
    EXPECT_EQ(status.message(), QString());

    ftdi->unplug();
    status.ChangePort(3);
    EXPECT_EQ(status.message().toStdString(),
              "COM3 lässt sich nicht öffnen: ein solches Gerät gibt es nicht");
    EXPECT_EQ(comm::portGoneMessage("COM3").toStdString(),
              "Der Adapter von COM3 wurde entfernt; die Schnittstelle ist geschlossen");
    EXPECT_EQ(comm::portFailedMessage("COM3", "E/A-Fehler").toStdString(),
              "Die Kontakte an COM3 werden nach einem Fehler (E/A-Fehler) nicht mehr überwacht; "
              "die Schnittstelle ist geschlossen. Wählen Sie sie erneut, um weiterzumessen");
    EXPECT_EQ(comm::portFailedMessage("COM3", {}).toStdString(),
              "Die Kontakte an COM3 werden nach einem unbekannten Fehler nicht mehr überwacht; "
              "die Schnittstelle ist geschlossen. Wählen Sie sie erneut, um weiterzumessen");
    EXPECT_EQ(comm::tierName(comm::TMyCommTier::Polled).toStdString(),
              "Abfrage: 1 kHz in Ruhe, 10 kHz während einer Messung");
}

// The probe a dialog uses: what it finds for devices that are no serial port.
TEST_F(SerialMessages, TheProbeTellsWhatADeviceOffers)
{
    const comm::SerialProbe none = comm::probeSerialDevice(QStringLiteral("/dev/null"), "COM1");
    EXPECT_FALSE(none.opened);
    EXPECT_FALSE(none.answersStatus);
    EXPECT_EQ(none.tier, comm::TMyCommTier::None);
    EXPECT_EQ(none.error.toStdString(),
              "COM1 (/dev/null) lässt sich nicht öffnen: das ist keine serielle Schnittstelle");

    const comm::SerialProbe pty = comm::probeSerialDevice(QString::fromLocal8Bit(ptyName));
    EXPECT_TRUE(pty.opened);
    EXPECT_FALSE(pty.answersStatus);
    EXPECT_EQ(pty.tier, comm::TMyCommTier::None);
    EXPECT_TRUE(pty.error.contains(u"meldet keine Modemleitungen"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
