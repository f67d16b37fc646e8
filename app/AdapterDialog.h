#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace app {

// What a device answers when it is opened for status queries.
struct SerialDeviceProbe
{
    bool answersStatus = false; // its modem lines can be read (TIOCMGET)
    bool hasChangeWait = false; // its driver reports line changes instead of being polled
};

SerialDeviceProbe probeSerialDevice(const QString &path);
using SerialProbeFunction = std::function<SerialDeviceProbe(const QString &path)>;

struct SerialDeviceEntry
{
    QString path;   // as listed, and as the link will name it
    QString device; // the device node it resolves to
    SerialDeviceProbe probe;
};

// The serial devices under devRoot (normally /dev): the links in serial/by-id first, then
// ttyUSB*, ttyACM* and ttyS* in numeric order, each device once and only character
// devices. Built-in UARTs (ttyS*) are listed only when they answer a status query, since
// the kernel makes a node for every UART a machine might have; adapters are listed
// whatever they answer, with the answer shown.
QList<SerialDeviceEntry> listSerialDevices(const QString &devRoot,
                                           const SerialProbeFunction &probe);

// Points the user's link for COM `number` at `target`, replacing an old link in one step.
// Returns an empty string or the German reason it failed.
QString writePortLink(int number, const QString &target);
// Removes the user's link for COM `number`; only a link is ever removed.
QString removePortLink(int number);

} // namespace app

// Lets the user pick the adapter that "COM 1" or "COM 2" stands for, without a shell.
class AdapterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AdapterDialog(QWidget *parent = nullptr, QString devRoot = QStringLiteral("/dev"),
                           app::SerialProbeFunction probe = app::probeSerialDevice);

    // Lists the devices again and shows what COM 1 and COM 2 use now.
    void refresh();
    // Links the chosen port to the selected device, or removes the chosen port's link.
    // Failures show in the dialog; the result says whether anything changed.
    bool linkSelected();
    bool removeLink();

    // The port numbers whose link changed while the dialog was open.
    const QList<int> &changedPorts() const { return m_changed; }
    const QList<app::SerialDeviceEntry> &entries() const { return m_entries; }

    // Asked before a link that leads to a present device is replaced; true goes ahead.
    // Tests answer instead of the user.
    using Confirmation = std::function<bool(const QString &question)>;
    void setConfirmation(Confirmation confirm) { m_confirm = std::move(confirm); }

    QTreeWidget *deviceList() const { return m_list; }
    QRadioButton *portButton(int number) const { return number == 2 ? m_com2 : m_com1; }
    QLabel *statusLabel() const { return m_status; }

private:
    int chosenPort() const;
    void showCurrentLinks();
    void report(const QString &text, bool error);

    QString m_devRoot;
    app::SerialProbeFunction m_probe;
    QList<app::SerialDeviceEntry> m_entries;
    QList<int> m_changed;
    Confirmation m_confirm;

    QTreeWidget *m_list = nullptr;
    QLabel *m_current = nullptr;
    QLabel *m_status = nullptr;
    QRadioButton *m_com1 = nullptr;
    QRadioButton *m_com2 = nullptr;
    QPushButton *m_link = nullptr;
    QPushButton *m_unlink = nullptr;
};
