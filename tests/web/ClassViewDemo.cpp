// A class view with a made-up session that gains a run every few seconds, for looking at
// the page in a browser and for the hostile-request run against a server of its own.
//   tf_classview_demo [--port N] [--code C] [--every MS] [--runs N] [--loopback]

#include "web/ClassViewServer.h"
#include "web/DemoState.h"

#include <QByteArray>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t ended = 0;

void onSignal(int)
{
    ended = 1;
}

} // namespace

int main(int argc, char **argv)
{
    web::ClassViewServer::Options options;
    int everyMs = 4000;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--port")
            options.port = quint16(std::atoi(next)), ++i;
        else if (a == "--code")
            options.accessCode = next, ++i;
        else if (a == "--every")
            everyMs = std::atoi(next), ++i;
        else if (a == "--runs")
            runs = std::atoi(next), ++i;
        else if (a == "--loopback")
            options.loopbackOnly = true;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    web::ClassViewServer server(options);
    const QString error = server.start();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "Klassenansicht: %s\n", qPrintable(server.url()));
    server.publish(webtest::demoState(runs, false));
    server.setCsv("Nr.;Zeit in s\n1;0,4837\n");
    bool running = false;
    while (!ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs > 0 ? everyMs / 2 : 500));
        if (everyMs <= 0)
            continue;
        running = !running;
        if (running) {
            server.publish(webtest::demoState(runs, true, 0));
        } else {
            ++runs;
            server.publish(webtest::demoState(runs, false));
        }
    }
    server.stop();
    return 0;
}
