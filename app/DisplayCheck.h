#pragma once

#include <functional>
#include <string>
#include <vector>

namespace app {

// Whether a window can be opened at all, asked before the toolkit is started: without a
// display the toolkit ends the program with an English message of its own.
//
// The real check keeps its connections to the display server open until `release()`: a
// server whose last client leaves resets itself (Xvfb, as xvfb-run starts it, does), and
// the toolkit's own connection would then wait for the reset to finish.
class DisplayCheck
{
public:
    using Environment = std::function<std::string(const char *name)>;
    // Whether a local display server listens on a socket path (abstract or in the file system).
    using SocketProbe = std::function<bool(const std::string &path, bool abstract)>;

    DisplayCheck(Environment environment, SocketProbe probe);
    // The process's environment and real sockets.
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck &) = delete;
    DisplayCheck &operator=(const DisplayCheck &) = delete;

    // Empty when a platform can be opened, else the German message that says what to do.
    // `platformArgument` is the program's "-platform" argument, which wins over the
    // environment as it does in the toolkit.
    std::string problem(const std::string &platformArgument = {}) const;
    // The value of a "-platform NAME" or "--platform NAME" argument, if any.
    static std::string platformArgument(int argc, char **argv);

    // Closes the connections the check made; call it once the toolkit has connected.
    void release();

private:
    bool xReachable(const std::string &display) const;
    bool waylandReachable(const std::string &display) const;

    bool connectAndHold(const std::string &path, bool abstract);

    Environment m_env;
    SocketProbe m_probe;
    std::vector<int> m_held;
};

} // namespace app
