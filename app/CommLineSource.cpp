#include "app/CommLineSource.h"

#include "comm/MyCommStatus.h"

namespace app {

bool CommLineSource::Active() const
{
    return m_status.Active();
}

bool CommLineSource::DataSetReady() const
{
    return m_status.DataSetReady();
}

bool CommLineSource::ClearToSend() const
{
    return m_status.ClearToSend();
}

void CommLineSource::setComm(std::uint8_t n)
{
    m_status.ChangePort(n);
}

void CommLineSource::setOnChanged(std::function<void()> handler)
{
    if (!handler) {
        m_status.setOnChanged(nullptr);
        return;
    }
    m_status.setOnChanged([handler = std::move(handler)](QObject *) { handler(); });
}

std::optional<timing::Ticks> CommLineSource::changeTicks() const
{
    const std::optional<comm::TMyCommInstant> at = m_status.changeInstant();
    if (!at)
        return std::nullopt;
    return timing::counterToTicks(at->counter, at->frequency);
}

bool CommLineSource::changeFirstRead() const
{
    const std::optional<comm::TMyCommInstant> at = m_status.changeInstant();
    return at && at->firstRead;
}

bool CommLineSource::changeLate() const
{
    const std::optional<comm::TMyCommInstant> at = m_status.changeInstant();
    return at && at->late;
}

double CommLineSource::changeUncertainty() const
{
    const std::optional<comm::TMyCommInstant> at = m_status.changeInstant();
    return at ? double(at->uncertaintyNs) / 1e9 : 0.0;
}

std::optional<timing::Ticks> CommLineSource::quietUntil() const
{
    const std::optional<comm::TMyCommInstant> until = m_status.quietUntil();
    if (!until)
        return std::nullopt;
    // A change read later may fall on the same tick: only the tick before is vouched for.
    return timing::counterToTicks(until->counter, until->frequency) - 1;
}

QString CommLineSource::portMessage() const
{
    return m_status.message();
}

void CommLineSource::setArmed(bool on)
{
    m_status.setArmed(on);
}

} // namespace app
