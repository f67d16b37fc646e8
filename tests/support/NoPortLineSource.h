#pragma once

#include "timing/LineSource.h"

namespace timing {

// No port at all: every line is off; choosing a port is only remembered and reported.
class NoPortLineSource final : public LineSource
{
public:
    bool Active() const override { return false; }
    bool DataSetReady() const override { return false; }
    bool ClearToSend() const override { return false; }
    void setComm(std::uint8_t n) override
    {
        m_comm = n;
        if (m_onChanged)
            m_onChanged();
    }
    void setOnChanged(std::function<void()> handler) override { m_onChanged = std::move(handler); }
    std::uint8_t comm() const { return m_comm; }

private:
    std::uint8_t m_comm = 0;
    std::function<void()> m_onChanged;
};

} // namespace timing
