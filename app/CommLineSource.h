#pragma once

#include "timing/LineSource.h"

class TMyCommStatus;

// The chronometer's lines, read from the modem-status component.
class CommLineSource final : public timing::LineSource
{
public:
    explicit CommLineSource(TMyCommStatus &status) : m_status(status) {}

    bool Active() const override;
    bool DataSetReady() const override;
    bool ClearToSend() const override;
    void setComm(std::uint8_t n) override;
    void setOnChanged(std::function<void()> handler) override;
    std::optional<timing::Ticks> changeTicks() const override;
    bool changeLate() const override;
    double changeUncertainty() const override;
    QString portMessage() const override;
    void setArmed(bool on) override;

private:
    TMyCommStatus &m_status;
};
