#pragma once

#include "timing/LineSource.h"

namespace comm {
class TMyCommStatus;
}

namespace app {

// The chronometer's lines, read from the modem-status component.
class CommLineSource final : public timing::LineSource
{
public:
    explicit CommLineSource(comm::TMyCommStatus &status) : m_status(status) {}

    bool Active() const override;
    bool DataSetReady() const override;
    bool ClearToSend() const override;
    void setComm(std::uint8_t n) override;
    void setOnChanged(std::function<void()> handler) override;
    std::optional<timing::Ticks> changeTicks() const override;
    bool changeLate() const override;
    bool changeFirstRead() const override;
    double changeUncertainty() const override;
    std::optional<timing::Ticks> quietUntil() const override;
    QString portMessage() const override;
    void setArmed(bool on) override;

    // For the self-test, which switches the port's outputs.
    comm::TMyCommStatus &status() const { return m_status; }

private:
    comm::TMyCommStatus &m_status;
};

} // namespace app
