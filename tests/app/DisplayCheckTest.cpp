// Whether the program may start the toolkit, decided from the environment and the display
// servers' sockets: a wrong "yes" ends in the toolkit's English abort, a wrong "no" keeps a
// working desktop from starting the program.

#include "app/DisplayCheck.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Row
{
    const char *what;
    std::map<std::string, std::string> env;
    std::set<std::string> sockets; // "@path" for an abstract socket
    std::string platformArgument;
    bool opens;
    const char *says = ""; // a part of the message when it does not open
};

TEST(DisplayCheck, OpensWhereAPlatformListensAndSaysWhatToDoElsewhere)
{
    const Row rows[] = {
        {"nothing set", {}, {}, "", false, "weder DISPLAY noch WAYLAND_DISPLAY"},
        {"local X, abstract socket", {{"DISPLAY", ":0"}}, {"@/tmp/.X11-unix/X0"}, "", true},
        {"local X, socket file", {{"DISPLAY", ":1.0"}}, {"/tmp/.X11-unix/X1"}, "", true},
        {"unix: prefix", {{"DISPLAY", "unix:3"}}, {"/tmp/.X11-unix/X3"}, "", true},
        {"stale X display",
         {{"DISPLAY", ":7"}},
         {"/tmp/.X11-unix/X0"},
         "",
         false,
         "die Anzeige :7 ist nicht erreichbar"},
        {"garbled X display", {{"DISPLAY", ":x"}}, {}, "", false, "nicht erreichbar"},
        {"remote X is the toolkit's to try", {{"DISPLAY", "schule:10.0"}}, {}, "", true},
        {"wayland in the runtime folder",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}},
         {"/run/user/1000/wayland-0"},
         "",
         true},
        {"wayland by full path", {{"WAYLAND_DISPLAY", "/tmp/w"}}, {"/tmp/w"}, "", true},
        {"wayland without its runtime folder",
         {{"WAYLAND_DISPLAY", "wayland-0"}},
         {},
         "",
         false,
         "wayland-0"},
        {"stale wayland, working X",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", "/run/user/1"}, {"DISPLAY", ":0"}},
         {"@/tmp/.X11-unix/X0"},
         "",
         true},
        {"offscreen needs no server", {{"QT_QPA_PLATFORM", "offscreen"}}, {}, "", true},
        {"xcb asked for, no X",
         {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "/tmp/w"}},
         {"/tmp/w"},
         "",
         false,
         "aber DISPLAY ist nicht gesetzt"},
        {"-platform wins over the environment",
         {{"QT_QPA_PLATFORM", "xcb"}},
         {},
         "offscreen",
         true},
        {"-platform xcb without X",
         {{"QT_QPA_PLATFORM", "offscreen"}},
         {},
         "xcb",
         false,
         "Melden Sie sich an einer grafischen Arbeitsoberfläche an"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const app::DisplayCheck check(
            [&](const char *name) {
                const auto found = row.env.find(name);
                return found == row.env.end() ? std::string() : found->second;
            },
            [&](const std::string &path, bool abstract) {
                return row.sockets.count((abstract ? "@" : "") + path) > 0;
            });
        const std::string problem = check.problem(row.platformArgument);
        EXPECT_EQ(problem.empty(), row.opens) << problem;
        if (!row.opens) {
            EXPECT_NE(problem.find(row.says), std::string::npos) << problem;
            EXPECT_NE(problem.find("xvfb-run -a tachoflux"), std::string::npos) << problem;
        }
    }
}

TEST(DisplayCheck, ReadsThePlatformArgumentInEitherSpelling)
{
    const struct
    {
        std::vector<const char *> argv;
        std::string platform;
    } rows[] = {
        {{"tachoflux"}, ""},
        {{"tachoflux", "-platform", "offscreen"}, "offscreen"},
        {{"tachoflux", "--platform", "xcb", "-v"}, "xcb"},
        {{"tachoflux", "-platform"}, ""},
    };
    for (const auto &row : rows) {
        std::vector<char *> argv;
        for (const char *a : row.argv)
            argv.push_back(const_cast<char *>(a));
        EXPECT_EQ(app::DisplayCheck::platformArgument(int(argv.size()), argv.data()), row.platform);
    }
}

// A display server whose last client leaves resets itself (Xvfb does), and the toolkit's
// connection, made right after the check, would wait for that: the check keeps its own
// connection until it is released.
TEST(DisplayCheck, HoldsItsConnectionToTheServerUntilReleased)
{
    const std::string number = std::to_string(60000 + ::getpid() % 5000);
    const std::string path = "/tmp/.X11-unix/X" + number;
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr *>(&address), length), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    app::DisplayCheck check;
    EXPECT_EQ(check.problem(), "");
    const int client = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(client, 0);
    char byte = 0;
    EXPECT_EQ(::recv(client, &byte, 1, MSG_DONTWAIT), -1) << "closed before the release";
    check.release();
    EXPECT_EQ(::recv(client, &byte, 1, 0), 0) << "still open after the release";
    ::close(client);
    ::close(server);
}

} // namespace
