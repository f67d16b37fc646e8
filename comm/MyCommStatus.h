#pragma once

#include "comm/MyCommWatcher.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace comm {

// 0 is no port; n is the port "COM" + n.
using TMyCommPort = quint8;
// A method and its object, called with a sender.
using TNotifyEvent = std::function<void(QObject *sender)>;

// One line's change as the watcher reported it, for a live log of the contacts.
struct TMyCommEdge
{
    TMyCommInstant at;      // the instant of the read that saw it, its uncertainty, late mark
    std::uint32_t line = 0; // MS_CTS_ON, MS_DSR_ON, MS_RING_ON or MS_RLSD_ON
    bool on = false;        // the line's state after the change
};
using TMyCommEdgeTap = std::function<void(const TMyCommEdge &edge)>;

// Watches the four modem-status input lines of one serial port, opened for status queries
// only. Every change of the lines raises OnChanged on the user-interface thread.
class TMyCommStatus : public QObject
{
    Q_OBJECT
    // The line properties take writes but keep nothing of them.
    Q_PROPERTY(bool ClearToSend READ ClearToSend WRITE setClearToSend STORED false)
    Q_PROPERTY(bool DataSetReady READ DataSetReady WRITE setDataSetReady STORED false)
    Q_PROPERTY(bool Ring READ Ring WRITE setRing STORED false)
    Q_PROPERTY(bool ReceiveLine READ ReceiveLine WRITE setReceiveLine STORED false)
    Q_PROPERTY(TMyCommPort Comm READ Comm WRITE ChangePort)
    Q_PROPERTY(bool Active READ Active STORED false)

public:
    explicit TMyCommStatus(QObject *owner = nullptr);
    ~TMyCommStatus() override;

    bool ClearToSend() const { return m_cts; }
    bool DataSetReady() const { return m_dsr; }
    bool Ring() const { return m_ri; }
    bool ReceiveLine() const { return m_rlsd; }
    // The lines are published writable, but a write changes nothing that can be read back.
    void setClearToSend(bool) {}
    void setDataSetReady(bool) {}
    void setRing(bool) {}
    void setReceiveLine(bool) {}

    TMyCommPort Comm() const { return m_comm; }
    // Closes the current port and opens port n (0: none), also when n is the current
    // number, then raises OnChanged. A port that cannot be opened or queried leaves
    // Active false. A port that disappears later is closed the same way.
    void ChangePort(TMyCommPort n);
    bool Active() const { return m_active; }

    // Called synchronously on the user-interface thread. An error it raises during a
    // report from the watcher closes the port, with a message that names the error, and
    // the handler hears of that once more; from a port change it reaches the caller.
    TNotifyEvent OnChanged() const { return m_onChanged; }
    void setOnChanged(TNotifyEvent handler) { m_onChanged = std::move(handler); }

    // Called on the user-interface thread for every line that a report from the port
    // changes, before OnChanged hears of it; not for the lines going off as a port closes.
    // Costs nothing while unset.
    void setEdgeTap(TMyCommEdgeTap tap) { m_edgeTap = std::move(tap); }
    TMyCommEdgeTap edgeTap() const { return m_edgeTap; }

    // Switches the open port's outputs (which a loopback plug feeds back: DTR to DSR, RTS
    // to CTS); false without a port or where its driver refuses.
    bool setOutputs(bool dtr, bool rts);
    // What is known about the open port's driver; empty without a port.
    comm::SerialPortFacts portFacts() const;

    // While OnChanged handles a change read from the port: the instant of that read.
    std::optional<TMyCommInstant> changeInstant() const { return m_changeInstant; }

    // The latest instant up to which every line change with an earlier instant has
    // reached OnChanged (TMyCommWatcher::quietUntil); none without an open port.
    std::optional<TMyCommInstant> quietUntil() const;

    // In the user's language: why the last port could not be opened, that it has gone,
    // that an error stopped its watching, or what limits it (a driver that cannot see a
    // contact). Empty when all is well.
    QString message() const { return m_message; }

    // A run is armed (from a reset or contact 1 until contact 2): polled ports are then
    // read at the fine rate. Choosing a port arms as well.
    void setArmed(bool on);

    void StatusChanged(QObject *sender);
    void DecodeStatus(std::uint32_t word);

    // The watcher while it runs; nullptr once it has ended.
    const TMyCommWatcher *watcher() const;

private:
    void watcherReport(const TMyCommReport &change);
    void portGone();
    // Closes the port after an error (`cause` as the system put it) that stopped its
    // watching, as if it had gone.
    void portFailed(const QString &cause);
    void closeAfter(QString message);
    void startWatcher();
    TMyCommWatcher *liveWatcher() const;

    bool m_cts = false;
    bool m_dsr = false;
    bool m_ri = false;
    bool m_rlsd = false;
    std::shared_ptr<comm::SerialPort> m_handle;
    // The watcher's hand-over of m_handle: reports carry it.
    std::uint64_t m_portId = 0;
    mutable std::shared_ptr<TMyCommWatcher> m_watcher;
    TMyCommPort m_comm = 0;
    TNotifyEvent m_onChanged;
    TMyCommEdgeTap m_edgeTap;
    bool m_active = false;
    // The word of the last report from the current port.
    std::uint32_t m_lastWord = 0;
    std::optional<TMyCommInstant> m_changeInstant;
    QString m_message;
};

} // namespace comm
