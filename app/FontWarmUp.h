#pragma once

#include <thread>

namespace app {

// Reads the system's font configuration on a thread of its own while the toolkit connects
// to the display. The main window needs it for its first layout, and reading it (every
// configuration file, every font cache) takes about as long as the connection does.
// The toolkit's own start of the font configuration then finds it done.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

    // Returns once the configuration is read; call it before the first text is measured,
    // so that the toolkit does not read it a second time in parallel.
    void wait();

private:
    std::thread m_thread;
};

} // namespace app
