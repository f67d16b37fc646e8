#include "web/ClassViewServer.h"

#include "platform/ResourceText.h"
#include "web/NetworkAccess.h"

#include <QFile>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace web {

namespace {

struct Client;

QByteArray resourceBytes(const char *path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The event that carries a state: the JSON holds no line break, so one data line.
QByteArray eventOf(const QByteArray &json)
{
    return QByteArrayLiteral("data: ") + json + QByteArrayLiteral("\n\n");
}

} // namespace

struct ClassViewServer::Impl
{
    Options options;
    QByteArray code;
    const QByteArray page = resourceBytes(":/web/index.html");
    const QByteArray script = resourceBytes(":/web/app.js");
    const QByteArray style = resourceBytes(":/web/app.css");

    // Everything below the mutex is shared between the window's thread, the server's
    // threads and the pulse thread.
    mutable std::mutex mutex;
    QByteArray json = QByteArrayLiteral("{}");
    QByteArray event = eventOf(json);
    quint64 version = 1;
    quint64 pulse = 0;
    QByteArray csv;
    QByteArray pdf;
    std::vector<Client *> suspended;
    int clients = 0;
    bool stopping = false;
    bool wakePending = false;
    bool pulseEnds = false;
    std::condition_variable wake;

    std::atomic<quint64> publishCount{0};
    MHD_Daemon *daemon = nullptr;
    std::thread pulseThread;
    quint16 port = 0;
    StartError lastError = StartError::None;

    void resumeAllLocked();
    void runPulse();
};

namespace {

struct Client
{
    ClassViewServer::Impl *server = nullptr;
    MHD_Connection *connection = nullptr;
    quint64 version = 0;
    quint64 pulse = 0;
    QByteArray pending;
    qsizetype offset = 0;
    bool first = true;
};

const char *const PageSecurity =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void addCommonHeaders(MHD_Response *response, const char *type)
{
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    // The access code is in the page's address: no other site may see it as a referrer.
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
}

struct Header
{
    const char *name;
    QByteArray value;
};

MHD_Result reply(MHD_Connection *connection, unsigned status, const QByteArray &body,
                 const char *type, std::initializer_list<Header> headers = {})
{
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    addCommonHeaders(response, type);
    for (const Header &h : headers)
        MHD_add_response_header(response, h.name, h.value.constData());
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result replyText(MHD_Connection *connection, unsigned status, const char *text)
{
    return reply(connection, status, QByteArray(text) + '\n', "text/plain; charset=utf-8");
}

ssize_t readEvents(void *cls, uint64_t, char *buffer, size_t max)
{
    auto *client = static_cast<Client *>(cls);
    ClassViewServer::Impl &server = *client->server;
    std::lock_guard lock(server.mutex);
    if (client->offset >= client->pending.size()) {
        client->pending.clear();
        client->offset = 0;
        if (server.stopping)
            return MHD_CONTENT_READER_END_OF_STREAM;
        if (client->version != server.version) {
            // Only the latest state counts: a page that missed one gets the newest.
            client->pending = client->first ? QByteArrayLiteral("retry: 2000\n") + server.event
                                            : server.event;
            client->first = false;
            client->version = server.version;
            client->pulse = server.pulse;
        } else if (client->pulse != server.pulse) {
            client->pending = QByteArrayLiteral(":\n\n");
            client->pulse = server.pulse;
        } else {
            // Nothing new: out of the event loop until the next publish or pulse.
            server.suspended.push_back(client);
            MHD_suspend_connection(client->connection);
            return 0;
        }
    }
    const size_t n = std::min(max, size_t(client->pending.size() - client->offset));
    std::memcpy(buffer, client->pending.constData() + client->offset, n);
    client->offset += qsizetype(n);
    return ssize_t(n);
}

void freeClient(void *cls)
{
    auto *client = static_cast<Client *>(cls);
    ClassViewServer::Impl &server = *client->server;
    {
        std::lock_guard lock(server.mutex);
        std::erase(server.suspended, client);
        --server.clients;
    }
    delete client;
}

MHD_Result startEvents(ClassViewServer::Impl &server, MHD_Connection *connection)
{
    auto *client = new Client;
    client->server = &server;
    client->connection = connection;
    MHD_Response *response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, readEvents, client, freeClient);
    if (response == nullptr) {
        delete client;
        return MHD_NO;
    }
    {
        std::lock_guard lock(server.mutex);
        ++server.clients;
    }
    addCommonHeaders(response, "text/event-stream; charset=utf-8");
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response); // frees the client if it was not queued
    return result;
}

MHD_Result acceptPeer(void *cls, const sockaddr *address, socklen_t)
{
    (void)cls;
    return isLocalNetworkAddress(address) ? MHD_YES : MHD_NO;
}

void ignoreLog(void *, const char *, va_list) {}

bool hasBody(MHD_Connection *connection)
{
    const char *length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length != nullptr && std::strcmp(length, "0") != 0)
        return true;
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

MHD_Result onRequest(void *cls, MHD_Connection *connection, const char *url, const char *method,
                     const char *, const char *, size_t *, void **)
{
    ClassViewServer::Impl &server = *static_cast<ClassViewServer::Impl *>(cls);
    // Everything is decided on the first call, once the headers are in: no request
    // body is ever read.
    const char *given = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "k");
    const char *cookie = MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, "tfk");
    const bool viaAddress = given != nullptr && sameCode(QByteArray(given), server.code);
    if (!viaAddress && !(cookie != nullptr && sameCode(QByteArray(cookie), server.code)))
        return replyText(connection, MHD_HTTP_FORBIDDEN,
                         "Zugang nur mit dem Code der Klassenansicht.");

    const int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
    if (headers < 0 || unsigned(headers) > server.options.maxHeaders)
        return replyText(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE,
                         "Zu viele Kopfzeilen.");
    const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
        return reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Nur lesender Zugriff.\n",
                     "text/plain; charset=utf-8", {{"Allow", "GET, HEAD"}});
    if (hasBody(connection))
        return replyText(connection, MHD_HTTP_CONTENT_TOO_LARGE, "Anfragen ohne Inhalt, bitte.");

    const QByteArray path(url);
    if (path == "/") {
        if (!viaAddress)
            return reply(connection, MHD_HTTP_OK, server.page, "text/html; charset=utf-8",
                         {{"Content-Security-Policy", PageSecurity}});
        // The first visit leaves the code in a cookie, so that the page's own requests
        // carry it without it in their addresses.
        return reply(connection, MHD_HTTP_OK, server.page, "text/html; charset=utf-8",
                     {{"Content-Security-Policy", PageSecurity},
                      {"Set-Cookie", "tfk=" + server.code +
                                         "; Path=/; HttpOnly; SameSite=Strict; Max-Age=86400"}});
    }
    if (path == "/app.js")
        return reply(connection, MHD_HTTP_OK, server.script, "text/javascript; charset=utf-8");
    if (path == "/app.css")
        return reply(connection, MHD_HTTP_OK, server.style, "text/css; charset=utf-8");
    if (path == "/events") {
        if (head)
            return reply(connection, MHD_HTTP_OK, {}, "text/event-stream; charset=utf-8");
        return startEvents(server, connection);
    }
    if (path == "/state") {
        QByteArray json;
        {
            std::lock_guard lock(server.mutex);
            json = server.json;
        }
        return reply(connection, MHD_HTTP_OK, json, "application/json");
    }
    if (path == "/sitzung.csv" || path == "/bericht.pdf") {
        const bool isCsv = path == "/sitzung.csv";
        QByteArray bytes;
        {
            std::lock_guard lock(server.mutex);
            bytes = isCsv ? server.csv : server.pdf;
        }
        if (bytes.isEmpty())
            return replyText(connection, MHD_HTTP_NOT_FOUND,
                             isCsv ? "Noch keine Sitzung." : "Noch kein Bericht.");
        return reply(connection, MHD_HTTP_OK, bytes,
                     isCsv ? "text/csv; charset=utf-8" : "application/pdf",
                     {{"Content-Disposition", isCsv ? "attachment; filename=\"sitzung.csv\""
                                                    : "attachment; filename=\"bericht.pdf\""}});
    }
    return replyText(connection, MHD_HTTP_NOT_FOUND, "Nicht gefunden.");
}

// Our own listening socket, so that a taken port is told apart from other failures
// and both address families share one port.
int openListener(quint16 port, bool loopbackOnly, bool &ipv6, int &error)
{
    ipv6 = false;
    int fd = -1;
    if (!loopbackOnly) {
        fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0) {
            const int off = 0;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            ipv6 = true;
        }
    }
    if (fd < 0)
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    // A restarted server gets its port back while old connections linger in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound;
    if (ipv6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
        a.sin_port = htons(port);
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    if (bound != 0 || ::listen(fd, 128) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

quint16 boundPort(int fd)
{
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) != 0)
        return 0;
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
}

} // namespace

void ClassViewServer::Impl::resumeAllLocked()
{
    for (Client *client : suspended)
        MHD_resume_connection(client->connection);
    suspended.clear();
}

// Resumes the waiting pages when there is news, and once a pulse even when there is
// none: a suspended connection is not watched, so only a write finds a page that left.
void ClassViewServer::Impl::runPulse()
{
    std::unique_lock lock(mutex);
    auto next = std::chrono::steady_clock::now() + std::chrono::seconds(options.pulseSeconds);
    while (!pulseEnds) {
        wake.wait_until(lock, next, [this] { return pulseEnds || wakePending; });
        if (pulseEnds)
            break;
        if (!wakePending) {
            ++pulse;
            next = std::chrono::steady_clock::now() + std::chrono::seconds(options.pulseSeconds);
        }
        wakePending = false;
        resumeAllLocked();
    }
}

ClassViewServer::ClassViewServer(Options options)
    : m(std::make_unique<Impl>())
{
    m->options = options;
    m->code = options.accessCode.isEmpty() ? newAccessCode() : options.accessCode;
}

ClassViewServer::~ClassViewServer()
{
    stop();
}

QString ClassViewServer::start()
{
    if (m->daemon != nullptr)
        return {};
    bool ipv6 = false;
    int error = 0;
    // Started again, it takes the port it had, even one the system chose.
    const quint16 wanted = m->port != 0 ? m->port : m->options.port;
    const int fd = openListener(wanted, m->options.loopbackOnly, ipv6, error);
    if (fd < 0) {
        const QString port = QString::number(wanted);
        if (error == EADDRINUSE) {
            m->lastError = StartError::PortInUse;
            return platform::resourceText(
                "Port %s is in use: another program listens on it. Choose another port "
                "for the class view",
                {port});
        }
        if (error == EACCES) {
            m->lastError = StartError::NoPermission;
            return platform::resourceText(
                "Port %s is reserved for the administrator: choose a port above 1023 for "
                "the class view",
                {port});
        }
        m->lastError = StartError::Other;
        return platform::resourceText("The class view cannot start (%s)",
                                      {QString::fromLocal8Bit(std::strerror(error))});
    }
    m->port = boundPort(fd);
    {
        std::lock_guard lock(m->mutex);
        m->stopping = false;
        m->pulseEnds = false;
    }
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (ipv6)
        flags |= MHD_USE_IPv6;
    m->daemon = MHD_start_daemon(
        flags, 0, acceptPeer, nullptr, onRequest, m.get(),
        MHD_OPTION_EXTERNAL_LOGGER, ignoreLog, nullptr,
        MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_THREAD_POOL_SIZE, std::max(1u, m->options.threads),
        MHD_OPTION_CONNECTION_LIMIT, m->options.maxConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, m->options.maxConnectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, m->options.idleTimeoutSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, m->options.memoryPerConnection,
        MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_END);
    if (m->daemon == nullptr) {
        ::close(fd);
        m->lastError = StartError::Other;
        return platform::resourceText("The class view cannot start (%s)",
                                      {QStringLiteral("libmicrohttpd")});
    }
    m->lastError = StartError::None;
    m->pulseThread = std::thread([this] { m->runPulse(); });
    return {};
}

ClassViewServer::StartError ClassViewServer::lastStartError() const
{
    return m->lastError;
}

void ClassViewServer::stop()
{
    if (m->daemon == nullptr)
        return;
    {
        // Suspended connections must run again before the library may stop: each
        // ends its stream when it finds the server stopping.
        std::lock_guard lock(m->mutex);
        m->stopping = true;
        m->pulseEnds = true;
        m->resumeAllLocked();
    }
    m->wake.notify_all();
    m->pulseThread.join();
    MHD_stop_daemon(m->daemon); // closes the listening socket too
    m->daemon = nullptr;
}

bool ClassViewServer::isRunning() const
{
    return m->daemon != nullptr;
}

quint16 ClassViewServer::port() const
{
    return m->daemon != nullptr ? m->port : m->options.port;
}

QByteArray ClassViewServer::accessCode() const
{
    return m->code;
}

QString ClassViewServer::url() const
{
    return url(m->options.loopbackOnly ? QStringLiteral("127.0.0.1") : lanAddress());
}

QString ClassViewServer::url(const QString &address) const
{
    return QStringLiteral("http://%1:%2/?k=%3")
        .arg(address, QString::number(port()), QString::fromLatin1(m->code));
}

void ClassViewServer::publish(const ClassViewState &state)
{
    publishJson(toJson(state));
}

void ClassViewServer::publishJson(const QByteArray &json)
{
    QByteArray event = eventOf(json);
    {
        std::lock_guard lock(m->mutex);
        m->json = json;
        m->event = std::move(event);
        ++m->version;
        m->wakePending = true;
    }
    m->publishCount.fetch_add(1, std::memory_order_relaxed);
    m->wake.notify_one();
}

void ClassViewServer::setCsv(const QByteArray &csv)
{
    std::lock_guard lock(m->mutex);
    m->csv = csv;
}

void ClassViewServer::setPdf(const QByteArray &pdf)
{
    std::lock_guard lock(m->mutex);
    m->pdf = pdf;
}

int ClassViewServer::eventClients() const
{
    std::lock_guard lock(m->mutex);
    return m->clients;
}

quint64 ClassViewServer::published() const
{
    return m->publishCount.load(std::memory_order_relaxed);
}

} // namespace web
