#include "app/AdapterDialog.h"
#include "comm/SerialPort.h"
#include "support/ConfigFolder.h"
#include "support/QtTestMain.h"

#include <gtest/gtest.h>

#include <QTest>

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <pty.h>
#include <unistd.h>

using comm::SerialDeviceEntry;

namespace {

// A pseudo-terminal: a real character device that, like many odd drivers, answers no
// modem-status query.
class Pty
{
public:
    Pty()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_name = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        ::close(m_slave);
        ::close(m_master);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    const QString &name() const { return m_name; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_name;
};

// A device folder laid out like /dev, its nodes links to the test's pseudo-terminals.
class AdapterDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(adapter.name().isEmpty());
        ASSERT_TRUE(QDir(dev.path()).mkpath("serial/by-id"));
        node("serial/by-id/usb-Test_Adapter_1234-if00-port0", adapter.name());
        node("ttyUSB0", adapter.name()); // the same adapter again
        node("ttyACM0", modem.name());
        node("ttyS2", uart.name());
        node("ttyS10", "/dev/null");
        QFile file(dev.filePath("ttyUSB1"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)); // not a device
    }

    void node(const QString &name, const QString &target)
    {
        ASSERT_TRUE(QFile::link(target, dev.filePath(name))) << name.toStdString();
    }
    QString path(const char *name) const { return dev.filePath(QString::fromLatin1(name)); }

    static QStringList paths(const QList<SerialDeviceEntry> &entries)
    {
        QStringList list;
        for (const SerialDeviceEntry &e : entries)
            list << e.path;
        return list;
    }

    ConfigFolder config;
    QTemporaryDir dev;
    Pty adapter, modem, uart;
};

TEST_F(AdapterDialogTest, ListsAdaptersFirstAndBuiltInPortsOnlyWhenTheyAnswer)
{
    // The real probe: pseudo-terminals answer no status query, so the ports named
    // ttyS stay out, and the adapters are listed with that answer shown.
    const QList<SerialDeviceEntry> real =
        comm::listSerialDevices(dev.path(), app::AdapterDialog::defaultProbe);
    EXPECT_EQ(paths(real), QStringList({path("serial/by-id/usb-Test_Adapter_1234-if00-port0"),
                                        path("ttyACM0")}));
    ASSERT_EQ(real.size(), 2);
    EXPECT_EQ(real[0].device, adapter.name());
    EXPECT_FALSE(real[0].probe.answersStatus);
    EXPECT_FALSE(real[0].probe.changeWait);

    // Ports that answer are listed, in numeric order, whether or not they can wait.
    const auto answering = [](const QString &p) {
        comm::SerialProbe probe;
        probe.opened = probe.answersStatus = true;
        probe.changeWait = p.endsWith("ttyS2");
        return probe;
    };
    const QList<SerialDeviceEntry> all = comm::listSerialDevices(dev.path(), answering);
    EXPECT_EQ(paths(all), QStringList({path("serial/by-id/usb-Test_Adapter_1234-if00-port0"),
                                       path("ttyACM0"), path("ttyS2"), path("ttyS10")}));
    EXPECT_TRUE(all[2].probe.changeWait);
    EXPECT_FALSE(all[3].probe.changeWait);

    EXPECT_TRUE(comm::listSerialDevices(dev.filePath("missing"), answering).isEmpty());
}

TEST_F(AdapterDialogTest, DialogListsThePseudoTerminalAndLinksTheChosenPort)
{
    app::AdapterDialog dialog(nullptr, dev.path());
    QTreeWidget *list = dialog.deviceList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "usb-Test_Adapter_1234-if00-port0");
    EXPECT_EQ(list->topLevelItem(0)->toolTip(0),
              path("serial/by-id/usb-Test_Adapter_1234-if00-port0"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), adapter.name());
    EXPECT_EQ(list->topLevelItem(0)->text(2), "antworten nicht");
    EXPECT_EQ(list->headerItem()->text(2), "Leitungen");

    // The adapter for COM 2: the link names the stable by-id path.
    dialog.portButton(2)->setChecked(true);
    list->setCurrentItem(list->topLevelItem(0));
    dialog.findChild<QPushButton *>("btnLink")->click();
    const QString link = comm::DeviceSerialPorts::linkPath(2);
    EXPECT_EQ(link, config.folder() + "/com2");
    EXPECT_EQ(QFileInfo(link).symLinkTarget(),
              path("serial/by-id/usb-Test_Adapter_1234-if00-port0"));
    EXPECT_EQ(comm::DeviceSerialPorts::devicePath(2), link);
    // The link leads to the terminal; a pseudo-terminal has no modem lines to watch.
    comm::SerialOpenError openError;
    EXPECT_EQ(comm::DeviceSerialPorts().open(2, openError), nullptr);
    EXPECT_EQ(openError.kind, comm::SerialOpenError::NoModemLines);
    EXPECT_EQ(dialog.statusLabel()->text(),
              "COM 2 benutzt jetzt " + path("serial/by-id/usb-Test_Adapter_1234-if00-port0") + ".");

    // Another device replaces the link in one step, once confirmed; nothing is left beside it.
    dialog.setConfirmation([](const QString &) { return true; });
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(dialog.linkSelected());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path("ttyACM0"));
    EXPECT_EQ(config.files(), QStringList{"com2"});
    EXPECT_EQ(dialog.changedPorts(), QList<int>{2});

    // Removing it gives COM 2 its built-in device back; COM 1 was never touched.
    dialog.findChild<QPushButton *>("btnUnlink")->click();
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_EQ(comm::DeviceSerialPorts::devicePath(2), "/dev/ttyS1");
    EXPECT_EQ(dialog.statusLabel()->text(), "COM 2 benutzt wieder /dev/ttyS1.");
    EXPECT_FALSE(QFileInfo(comm::DeviceSerialPorts::linkPath(1)).isSymLink());
}

TEST_F(AdapterDialogTest, FailuresAreToldInGermanAndChangeNothing)
{
    // Nothing to list: said so, and nothing can be linked.
    QTemporaryDir empty;
    app::AdapterDialog none(nullptr, empty.path());
    EXPECT_EQ(none.statusLabel()->text(), "Keine seriellen Geräte gefunden.");
    EXPECT_FALSE(none.findChild<QPushButton *>("btnLink")->isEnabled());
    EXPECT_FALSE(none.linkSelected());
    EXPECT_EQ(none.statusLabel()->text(), "Bitte zuerst ein Gerät wählen.");

    // A plain file where the link belongs is the user's, and is neither replaced by a
    // failed link nor removed.
    QDir().mkpath(config.folder());
    QFile file(config.folder() + "/com1");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("mine");
    file.close();
    app::AdapterDialog dialog(nullptr, dev.path());
    EXPECT_FALSE(dialog.removeLink());
    EXPECT_EQ(dialog.statusLabel()->text(),
              config.folder() + "/com1 ist keine Verknüpfung und bleibt, wie es ist.");
    EXPECT_TRUE(dialog.changedPorts().isEmpty());

    // The program's folder is a file: no link can be made there.
    ASSERT_TRUE(QDir(config.folder()).removeRecursively());
    QFile blocker(config.folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(dialog.linkSelected());
    EXPECT_EQ(dialog.statusLabel()->text(),
              "Der Ordner " + config.folder() + " konnte nicht angelegt werden.");
    EXPECT_TRUE(dialog.changedPorts().isEmpty());
}

} // namespace

// Enter closes the dialog and links nothing; a link that leads to a present device is
// replaced only when the user says so, and a broken one without a question.
TEST_F(AdapterDialogTest, EnterNeverLinksAndReplacingAWorkingLinkIsAsked)
{
    app::AdapterDialog dialog(nullptr, dev.path());
    for (const char *name : {"btnLink", "btnUnlink", "btnRefresh"}) {
        const auto *button = dialog.findChild<QPushButton *>(name);
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << name;
    }
    EXPECT_TRUE(dialog.findChild<QPushButton *>("btnClose")->isDefault());
    dialog.show();
    dialog.deviceList()->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    const QString link = comm::DeviceSerialPorts::linkPath(1);
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    QStringList asked;
    const QString first = path("serial/by-id/usb-Test_Adapter_1234-if00-port0");
    const struct
    {
        const char *before; // where the link leads first: "" none, else a path
        int row;
        bool answer;
        QString linked;
        bool question;
    } rows[] = {
        {"", 0, false, first, false},
        {"adapter", 1, false, first, true},
        {"adapter", 1, true, path("ttyACM0"), true},
        {"adapter", 0, false, first, false}, // the same device: nothing to ask
        {"/nonexistent/ttyUSB7", 1, false, path("ttyACM0"), false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.before);
        QFile::remove(link);
        if (QByteArray(row.before) == "adapter")
            QFile::link(first, link);
        else if (*row.before)
            QFile::link(QString::fromLatin1(row.before), link);
        asked.clear();
        dialog.setConfirmation([&](const QString &question) {
            asked << question;
            return row.answer;
        });
        dialog.portButton(1)->setChecked(true);
        dialog.deviceList()->setCurrentItem(dialog.deviceList()->topLevelItem(row.row));
        dialog.linkSelected();
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), row.linked);
        EXPECT_EQ(asked.size(), row.question ? 1 : 0);
        if (row.question) {
            EXPECT_EQ(asked.value(0), "COM 1 benutzt " + first + ". Stattdessen " +
                                          path("ttyACM0") + " verknüpfen?");
        }
    }
}

TF_QT_TEST_MAIN
