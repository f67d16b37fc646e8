#include "comm/MyCommStatus.h"

#include "comm/RealtimeKit.h"
#include "comm/SerialMessages.h"

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
    m_watcher =
        TMyCommWatcher::start([this](const TMyCommReport &change) { watcherReport(change); });
    ChangePort(m_comm);
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
    m_lastWord = change.word;
    InstantScope instant(m_changeInstant, change.at);
    StatusChanged(nullptr);
}

void TMyCommStatus::portGone()
{
    // Closed at once, as if the port had never opened: lines off, Active false.
    if (TMyCommWatcher *watcher = liveWatcher())
        watcher->setPort(nullptr);
    m_handle.reset();
    m_active = false;
    m_lastWord = 0;
    m_message = comm::portGoneMessage(portName(m_comm));
    InstantScope instant(m_changeInstant, std::nullopt);
    StatusChanged(nullptr);
}

} // namespace comm
