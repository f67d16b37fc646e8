#include "comm/MyCommStatus.h"

#include "comm/RealtimeKit.h"
#include "comm/SerialMessages.h"

#include <exception>
#include <utility>

namespace comm {

namespace {

// Holds an instant for the duration of one notification, also when the handler throws.
class InstantScope
{
public:
    InstantScope(std::optional<TMyCommInstant> &slot, std::optional<TMyCommInstant> value)
        : m_slot(slot), m_saved(std::exchange(slot, value))
    {
    }
    ~InstantScope() { m_slot = m_saved; }
    InstantScope(const InstantScope &) = delete;
    InstantScope &operator=(const InstantScope &) = delete;

private:
    std::optional<TMyCommInstant> &m_slot;
    std::optional<TMyCommInstant> m_saved;
};

QString portName(TMyCommPort n)
{
    return QStringLiteral("COM") + QString::number(n);
}

} // namespace

TMyCommStatus::TMyCommStatus(QObject *owner) : QObject(owner)
{
    startWatcher();
    ChangePort(m_comm);
}

void TMyCommStatus::startWatcher()
{
    m_watcher =
        TMyCommWatcher::start([this](const TMyCommReport &change) { watcherReport(change); });
}

TMyCommStatus::~TMyCommStatus()
{
    if (TMyCommWatcher *watcher = liveWatcher()) {
        // A report already on its way finds no target; the watcher ends by itself.
        watcher->clearChangeTarget();
        watcher->Terminate();
    }
    m_watcher.reset();
    m_handle.reset();
}

TMyCommWatcher *TMyCommStatus::liveWatcher() const
{
    // A watcher that has ended is never touched again.
    if (m_watcher && m_watcher->ended())
        m_watcher.reset();
    return m_watcher.get();
}

const TMyCommWatcher *TMyCommStatus::watcher() const
{
    return liveWatcher();
}

void TMyCommStatus::ChangePort(TMyCommPort n)
{
    if (TMyCommWatcher *watcher = liveWatcher())
        watcher->setPort(nullptr);
    else
        // The last one ended with a handler that failed even on hearing of that: the
        // port chosen now gets a watcher of its own.
        startWatcher();
    m_handle.reset();
    m_comm = n;
    m_message.clear();
    comm::SerialOpenError error;
    if (n != 0)
        m_handle = comm::serialPorts().open(n, error);
    std::uint32_t word = 0;
    m_active = m_handle && m_handle->modemStatus(word);
    if (m_handle && !m_active)
        error.kind = comm::SerialOpenError::NoModemLines;
    // A port that cannot report its lines is of no use to anybody.
    if (!m_active)
        m_handle.reset();
    if (n != 0)
        m_message = m_active ? comm::portFactsMessage(portName(n), m_handle->facts())
                             : comm::openErrorMessage(portName(n), error);
    m_lastWord = 0;
    if (TMyCommWatcher *watcher = liveWatcher()) {
        m_portId = watcher->setPort(m_handle);
        watcher->arm(m_active);
        if (m_active && watcher->realTimeRefused() && !watcher->realTime())
            comm::requestRealtimeKit(watcher->threadId());
    }
    InstantScope instant(m_changeInstant, std::nullopt);
    StatusChanged(this);
}

void TMyCommStatus::setArmed(bool on)
{
    if (TMyCommWatcher *watcher = liveWatcher())
        watcher->arm(on);
}

void TMyCommStatus::StatusChanged(QObject *)
{
    DecodeStatus(m_handle ? m_lastWord : 0);
    if (m_onChanged)
        m_onChanged(this);
}

void TMyCommStatus::DecodeStatus(std::uint32_t word)
{
    m_cts = word & comm::MS_CTS_ON;
    m_dsr = word & comm::MS_DSR_ON;
    m_ri = word & comm::MS_RING_ON;
    m_rlsd = word & comm::MS_RLSD_ON;
}

void TMyCommStatus::watcherReport(const TMyCommReport &change)
{
    // A report read from a port that has been closed since says nothing about this one.
    if (!m_handle || change.port != m_portId)
        return;
    if (change.gone) {
        portGone();
        return;
    }
    if (change.failed) {
        portFailed(QString::fromLocal8Bit(change.error));
        return;
    }
    const std::uint32_t moved = m_lastWord ^ change.word;
    m_lastWord = change.word;
    QString cause;
    try {
        if (m_edgeTap) {
            for (const std::uint32_t line : {MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON})
                if (moved & line)
                    m_edgeTap(TMyCommEdge{change.at, line, (change.word & line) != 0});
        }
        InstantScope instant(m_changeInstant, change.at);
        StatusChanged(nullptr);
        return;
    } catch (const std::exception &error) {
        cause = QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    // Contacts are no longer evaluated: a port that stayed open would time nothing while
    // the window looked ready.
    portFailed(cause);
}

void TMyCommStatus::portGone()
{
    closeAfter(comm::portGoneMessage(portName(m_comm)));
}

void TMyCommStatus::portFailed(const QString &cause)
{
    closeAfter(comm::portFailedMessage(portName(m_comm), cause));
}

void TMyCommStatus::closeAfter(QString message)
{
    // Closed at once, as if the port had never opened: lines off, Active false. An error
    // of the handler now ends the watcher; the next port choice starts another.
    if (TMyCommWatcher *watcher = liveWatcher())
        watcher->setPort(nullptr);
    m_handle.reset();
    m_active = false;
    m_lastWord = 0;
    m_message = std::move(message);
    InstantScope instant(m_changeInstant, std::nullopt);
    StatusChanged(nullptr);
}

bool TMyCommStatus::setOutputs(bool dtr, bool rts)
{
    return m_handle && m_handle->setOutputs(dtr, rts);
}

comm::SerialPortFacts TMyCommStatus::portFacts() const
{
    return m_handle ? m_handle->facts() : comm::SerialPortFacts{};
}

std::optional<TMyCommInstant> TMyCommStatus::quietUntil() const
{
    if (!m_active || !m_handle)
        return std::nullopt;
    const TMyCommWatcher *watcher = liveWatcher();
    return watcher ? watcher->quietUntil() : std::nullopt;
}

} // namespace comm
