#include "app/DisplayCheck.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

std::string fromEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

} // namespace

DisplayCheck::DisplayCheck(Environment environment, SocketProbe probe)
    : m_env(std::move(environment)), m_probe(std::move(probe))
{
}

DisplayCheck::DisplayCheck()
    : DisplayCheck(fromEnvironment, [this](const std::string &path, bool abstract) {
          return connectAndHold(path, abstract);
      })
{
}

DisplayCheck::~DisplayCheck()
{
    release();
}

void DisplayCheck::release()
{
    for (const int fd : m_held)
        ::close(fd);
    m_held.clear();
}

bool DisplayCheck::connectAndHold(const std::string &path, bool abstract)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true; // Cannot tell; let the toolkit try.
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size());
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        ::close(fd);
        return false;
    }
    m_held.push_back(fd);
    return true;
}

bool DisplayCheck::xReachable(const std::string &display) const
{
    // Only a local display (":0", ":1.0", "unix:0") has a socket to look at; a remote or
    // forwarded one ("host:10.0") is the toolkit's to try.
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0)
        rest = rest.substr(4);
    if (rest.empty() || rest[0] != ':')
        return true;
    const std::string number = rest.substr(1, rest.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::string path = "/tmp/.X11-unix/X" + number;
    return m_probe(path, true) || m_probe(path, false);
}

bool DisplayCheck::waylandReachable(const std::string &display) const
{
    if (display.empty())
        return false;
    if (display[0] == '/')
        return m_probe(display, false);
    const std::string runtime = m_env("XDG_RUNTIME_DIR");
    return !runtime.empty() && m_probe(runtime + '/' + display, false);
}

std::string DisplayCheck::platformArgument(int argc, char **argv)
{
    std::string platform;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    return platform;
}

std::string DisplayCheck::problem(const std::string &platformArgument) const
{
    const std::string platform =
        platformArgument.empty() ? m_env("QT_QPA_PLATFORM") : platformArgument;
    const std::string x = m_env("DISPLAY");
    const std::string wayland = m_env("WAYLAND_DISPLAY");
    // An explicit plugin other than the two display servers' (offscreen, vnc, eglfs, ...)
    // needs no display server; a list ("wayland;xcb") is tried in order by the toolkit.
    const bool wantsX = platform.empty() || platform.find("xcb") != std::string::npos;
    const bool wantsWayland = platform.empty() || platform.find("wayland") != std::string::npos;
    if (!wantsX && !wantsWayland)
        return {};
    if ((wantsX && !x.empty() && xReachable(x)) ||
        (wantsWayland && !wayland.empty() && waylandReachable(wayland)))
        return {};

    std::string message = "Tachoflux ist ein Programm mit Fenstern und braucht eine grafische "
                          "Anzeige,\n";
    const std::string named = wantsX && !x.empty() ? x : wantsWayland ? wayland : std::string();
    if (!named.empty())
        message += "aber die Anzeige " + named + " ist nicht erreichbar.\n";
    else if (!wantsWayland)
        message += "aber DISPLAY ist nicht gesetzt.\n";
    else if (!wantsX)
        message += "aber WAYLAND_DISPLAY ist nicht gesetzt.\n";
    else
        message += "aber weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.\n";
    message += "Melden Sie sich an einer grafischen Arbeitsoberfläche an und starten Sie es "
               "dort,\noder starten Sie es ohne Bildschirm so:\n"
               "    xvfb-run -a tachoflux\n";
    return message;
}

} // namespace app
