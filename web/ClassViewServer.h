#pragma once

#include "web/ClassViewState.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace web {

// The class view: a read-only HTTP server inside the program that serves one page and
// pushes the window's state to every page as a server-sent event. It runs on the server
// library's own threads; the window hands it immutable copies and never waits for it.
//
//   web::ClassViewServer server({.port = 8080});
//   if (auto error = server.start(); !error.isEmpty()) ... show error ...
//   std::fprintf(stderr, "Klassenansicht: %s\n", qPrintable(server.url()));
//   server.publish(state);            // on every change the window shows
//   server.setCsv(csvBytes); server.setPdf(pdfBytes);
class ClassViewServer
{
public:
    struct Options
    {
        quint16 port = 8080;    // 0: any free port (tests)
        QByteArray accessCode;  // empty: a new random code
        unsigned maxConnections = 400;
        unsigned maxConnectionsPerAddress = 32;
        unsigned idleTimeoutSeconds = 15;   // also ends a client that stops reading
        size_t memoryPerConnection = 16 * 1024; // bounds the request line and headers
        unsigned maxHeaders = 40;
        unsigned threads = 2;
        unsigned pulseSeconds = 10;  // a comment line to each page, which finds the gone ones
        bool loopbackOnly = false;   // listen on 127.0.0.1 only
    };

    enum class StartError { None, PortInUse, NoPermission, Other };

    explicit ClassViewServer(Options options);
    ClassViewServer(const ClassViewServer &) = delete;
    ClassViewServer &operator=(const ClassViewServer &) = delete;
    ~ClassViewServer(); // stops

    // Starts listening; an empty text when it does, else a German message for the user
    // ("Der Port 8080 ist belegt ..."). Starting a started server does nothing.
    QString start();
    StartError lastStartError() const;
    // Ends every connection and frees the port.
    void stop();
    bool isRunning() const;

    quint16 port() const;                  // the port listened on, once started
    QByteArray accessCode() const;
    QString url() const;                   // http://ADDRESS:PORT/?k=CODE
    QString url(const QString &address) const;

    // From the window's thread, whenever what it shows changed: a copy and a wake-up.
    void publish(const ClassViewState &state);
    void publishJson(const QByteArray &json);
    // The downloads, as the window made them last.
    void setCsv(const QByteArray &csv);
    void setPdf(const QByteArray &pdf);

    int eventClients() const; // pages connected to the stream now
    quint64 published() const; // count of publish() calls, for tests

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

} // namespace web
