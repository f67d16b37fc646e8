#include "app/FontWarmUp.h"

#include "platform/ProcessSignals.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace app {

FontWarmUp::FontWarmUp()
{
    try {
        m_thread = platform::startWithSignalsBlocked([] { FcInit(); });
    } catch (const std::system_error &) {
        // No thread: the toolkit reads the configuration itself, a little later.
    }
}

FontWarmUp::~FontWarmUp()
{
    wait();
}

void FontWarmUp::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace app
