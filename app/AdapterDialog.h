#pragma once

#include "comm/SerialDevices.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace app {

// Lets the user pick the adapter that "COM 1" or "COM 2" stands for, without a shell.
class AdapterDialog : public QDialog
{
    Q_OBJECT

public:
    // The watcher's own probe: the same open, and the change wait tried, not guessed.
    static comm::SerialProbe defaultProbe(const QString &path)
    {
        return comm::probeSerialDevice(path);
    }

    explicit AdapterDialog(QWidget *parent = nullptr, QString devRoot = QStringLiteral("/dev"),
                           comm::SerialProbeFunction probe = defaultProbe);

    // Lists the devices again and shows what COM 1 and COM 2 use now.
    void refresh();
    // Links the chosen port to the selected device, or removes the chosen port's link.
    // Failures show in the dialog; the result says whether anything changed.
    bool linkSelected();
    bool removeLink();

    // The port numbers whose link changed while the dialog was open.
    const QList<int> &changedPorts() const { return m_changed; }
    const QList<comm::SerialDeviceEntry> &entries() const { return m_entries; }

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
    comm::SerialProbeFunction m_probe;
    QList<comm::SerialDeviceEntry> m_entries;
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

} // namespace app
