#include "timing/LineSource.h"

namespace timing {

void NoPortLineSource::setComm(std::uint8_t n)
{
    m_comm = n;
    if (m_onChanged)
        m_onChanged();
}

} // namespace timing
