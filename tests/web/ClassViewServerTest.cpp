#include "web/ClassViewServer.h"
#include "web/NetworkAccess.h"

#include "web/HttpProbe.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace webtest;
using web::ClassViewServer;

namespace {

const QByteArray Code = "0123456789abcdef";
const QByteArray Secret = "Geheimer-Lauf-4711";

ClassViewServer::Options testOptions()
{
    ClassViewServer::Options o;
    o.port = 0;
    o.accessCode = Code;
    o.loopbackOnly = true;
    return o;
}

// A server on a free loopback port with a state, a CSV and a PDF that all hold Secret.
struct Served
{
    explicit Served(ClassViewServer::Options o = testOptions())
        : server(o)
    {
        const QString error = server.start();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        web::ClassViewState state;
        state.seriesLabel = QString::fromLatin1(Secret);
        server.publish(state);
        server.setCsv("Lauf;Zeit\n1;" + Secret + "\n");
        server.setPdf("%PDF-1.4 " + Secret);
    }
    quint16 port() const { return server.port(); }
    ClassViewServer server;
};

// The first event the stream sends after bytes already received.
bool waitFor(int fd, QByteArray &received, const QByteArray &what, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!received.contains(what)) {
        if (std::chrono::steady_clock::now() > deadline || !readSome(fd, received, 50))
            return false;
    }
    return true;
}

int openStream(quint16 port, const char *source = nullptr)
{
    const int fd = connectTo(port, source);
    if (fd >= 0)
        sendAll(fd, "GET /events?k=" + Code + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return fd;
}

} // namespace

TEST(AccessCode, IsSixteenHexDigitsFromTheKernelAndNewEachTime)
{
    const QByteArray a = web::newAccessCode();
    const QByteArray b = web::newAccessCode();
    EXPECT_EQ(a.size(), 16);
    EXPECT_EQ(QByteArray::fromHex(a).toHex(), a);
    EXPECT_NE(a, b);
    EXPECT_EQ(ClassViewServer({}).accessCode().size(), 16);
    EXPECT_NE(ClassViewServer({}).accessCode(), ClassViewServer({}).accessCode());
    ClassViewServer::Options fixed;
    fixed.accessCode = "klasse7b";
    EXPECT_EQ(ClassViewServer(fixed).accessCode(), "klasse7b");
}

TEST(AccessCode, MatchesOnlyTheWholeCode)
{
    const struct
    {
        QByteArray given, code;
        bool same;
    } rows[] = {
        {"abc", "abc", true},   {"abd", "abc", false}, {"ab", "abc", false},
        {"abcd", "abc", false}, {"", "abc", false},    {"", "", false},
        {"ABC", "abc", false},
    };
    for (const auto &r : rows)
        EXPECT_EQ(web::sameCode(r.given, r.code), r.same) << r.given.data() << " / " << r.code.data();
}

TEST(LocalNetwork, AcceptsLoopbackPrivateAndLinkLocalPeersOnly)
{
    const struct
    {
        const char *address;
        bool local;
    } rows[] = {
        {"127.0.0.1", true},      {"127.200.3.4", true},     {"10.1.2.3", true},
        {"172.16.0.1", true},     {"172.31.255.255", true},  {"172.32.0.1", false},
        {"172.15.255.255", false}, {"192.168.178.20", true}, {"192.169.0.1", false},
        {"169.254.1.1", true},    {"8.8.8.8", false},        {"100.64.0.1", false},
        {"0.0.0.0", false},       {"255.255.255.255", false},
        {"::1", true},            {"fe80::1", true},         {"fd12:3456::1", true},
        {"fc00::1", true},        {"2001:db8::1", false},    {"::", false},
        {"::ffff:192.168.1.5", true}, {"::ffff:8.8.8.8", false}, {"::ffff:127.0.0.1", true},
        {"ff02::1", false},
    };
    for (const auto &r : rows) {
        sockaddr_storage storage{};
        if (std::strchr(r.address, ':') != nullptr) {
            auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
            a->sin6_family = AF_INET6;
            ASSERT_EQ(inet_pton(AF_INET6, r.address, &a->sin6_addr), 1) << r.address;
        } else {
            auto *a = reinterpret_cast<sockaddr_in *>(&storage);
            a->sin_family = AF_INET;
            ASSERT_EQ(inet_pton(AF_INET, r.address, &a->sin_addr), 1) << r.address;
        }
        EXPECT_EQ(web::isLocalNetworkAddress(reinterpret_cast<sockaddr *>(&storage)), r.local)
            << r.address;
    }
    sockaddr local{};
    local.sa_family = AF_UNIX;
    EXPECT_FALSE(web::isLocalNetworkAddress(&local));
    EXPECT_FALSE(web::isLocalNetworkAddress(nullptr));
}

TEST(ClassViewState, JsonCarriesEveryTextAsGivenOnOneLine)
{
    web::ClassViewState s;
    s.running = true;
    s.runningMs = 61234;
    s.timeText = QStringLiteral("01:01.2340");
    s.armedText = QStringLiteral("Läuft");
    s.armedColor = QStringLiteral("#1b6e20");
    s.seriesLabel = QStringLiteral("Serie 2\nmit „Anführung“");
    s.modeName = QStringLiteral("Zwischen den Schranken");
    s.resultText = QStringLiteral("v = 1,234 m/s");
    s.runColumns = {QStringLiteral("Nr."), QStringLiteral("Zeit")};
    s.runs = {{QStringLiteral("1"), QStringLiteral("0,512 s")}, {QStringLiteral("2"), QStringLiteral("0,498 s")}};
    s.statistics = {{QStringLiteral("Mittelwert"), QStringLiteral("0,505 s")}};
    s.chartXLabel = QStringLiteral("Lauf");
    s.chartYLabel = QStringLiteral("Zeit in s");
    s.chartPoints = {{1, 0.512}, {2, std::numeric_limits<double>::quiet_NaN()}, {3, 0.498}};

    const QByteArray json = web::toJson(s);
    EXPECT_FALSE(json.contains('\n'));
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    EXPECT_TRUE(o["running"].toBool());
    EXPECT_EQ(o["runningMs"].toInteger(), 61234);
    const struct
    {
        const char *key;
        QString value;
    } texts[] = {{"timeText", s.timeText},       {"armedText", s.armedText},
                 {"armedColor", s.armedColor},   {"seriesLabel", s.seriesLabel},
                 {"modeName", s.modeName},       {"resultText", s.resultText},
                 {"chartXLabel", s.chartXLabel}, {"chartYLabel", s.chartYLabel},
                 {"decimalSeparator", QStringLiteral(",")}};
    for (const auto &t : texts)
        EXPECT_EQ(o[QLatin1String(t.key)].toString(), t.value) << t.key;
    EXPECT_EQ(o["runColumns"].toArray().at(1).toString(), QStringLiteral("Zeit"));
    EXPECT_EQ(o["runs"].toArray().at(1).toArray().at(1).toString(), QStringLiteral("0,498 s"));
    EXPECT_EQ(o["statistics"].toArray().at(0).toArray().at(0).toString(), QStringLiteral("Mittelwert"));
    const QJsonArray points = o["chartPoints"].toArray();
    ASSERT_EQ(points.size(), 2); // the point without a value is left out
    EXPECT_DOUBLE_EQ(points.at(1).toArray().at(1).toDouble(), 0.498);
}

TEST(ClassViewServer, EveryRouteWithoutTheCodeGetsForbiddenAndNoData)
{
    Served s;
    const QByteArray routes[] = {"/",        "/app.js",      "/app.css",    "/events",
                                 "/state",   "/sitzung.csv", "/bericht.pdf", "/nirgends",
                                 "/../../etc/passwd"};
    const QByteArray without[][2] = {
        {"", ""},
        {"?k=falsch", ""},
        {"?k=" + Code.left(15), ""},
        {"?code=" + Code, ""},
        {"", "Cookie: tfk=falsch\r\n"},
        {"", "Cookie: k=" + Code + "\r\n"},
        {"", "X-Access-Code: " + Code + "\r\n"},
    };
    for (const QByteArray &route : routes) {
        for (const auto &w : without) {
            const Reply r = get(s.port(), route + w[0], w[1]);
            EXPECT_EQ(r.status, 403) << route.data() << w[0].data() << w[1].data();
            EXPECT_FALSE(r.all.contains(Secret)) << route.data();
            EXPECT_FALSE(r.all.contains(Code)) << route.data();
            EXPECT_FALSE(r.all.contains("Set-Cookie")) << route.data();
        }
    }
}

TEST(ClassViewServer, TheCodeInTheAddressOrItsCookieOpensEachRoute)
{
    Served s;
    const struct
    {
        QByteArray route;
        QByteArray type;
        QByteArray contains;
    } rows[] = {
        {"/", "text/html", "Klassenansicht"},
        {"/app.js", "text/javascript", "EventSource"},
        {"/app.css", "text/css", ".time"},
        {"/state", "application/json", Secret},
        {"/sitzung.csv", "text/csv", Secret},
        {"/bericht.pdf", "application/pdf", Secret},
    };
    for (const auto &r : rows) {
        for (const QByteArray &header : {QByteArray(), "Cookie: tfk=" + Code + "\r\n"}) {
            const QByteArray target = header.isEmpty() ? r.route + "?k=" + Code : r.route;
            const Reply reply = get(s.port(), target, header);
            EXPECT_EQ(reply.status, 200) << target.data() << header.data();
            EXPECT_TRUE(reply.head.contains("Content-Type: " + r.type)) << reply.head.data();
            EXPECT_TRUE(reply.body.contains(r.contains)) << target.data();
            EXPECT_TRUE(reply.head.contains("Referrer-Policy: no-referrer"));
        }
    }
    // The first visit leaves the code in a cookie only the server reads.
    const Reply page = get(s.port(), "/?k=" + Code);
    EXPECT_TRUE(page.head.contains("Set-Cookie: tfk=" + Code + "; Path=/; HttpOnly; SameSite=Strict"))
        << page.head.data();
    EXPECT_TRUE(page.head.contains("Content-Security-Policy: default-src 'none'"));
    // Downloads the window has not made yet are missing, not empty.
    ClassViewServer::Options o = testOptions();
    ClassViewServer bare(o);
    ASSERT_TRUE(bare.start().isEmpty());
    EXPECT_EQ(get(bare.port(), "/sitzung.csv?k=" + Code).status, 404);
    EXPECT_EQ(get(bare.port(), "/bericht.pdf?k=" + Code).status, 404);
    EXPECT_EQ(get(bare.port(), "/state?k=" + Code).body, "{}");
}

TEST(ClassViewServer, RefusesTraversalWritesBodiesAndOversizedRequests)
{
    ClassViewServer::Options o = testOptions();
    o.idleTimeoutSeconds = 2;
    Served s(o);
    const QByteArray k = "?k=" + Code;
    const QByteArray host = "Host: 127.0.0.1\r\nConnection: close\r\n";
    QByteArray manyHeaders;
    for (int i = 0; i < 60; ++i)
        manyHeaders += "X-H" + QByteArray::number(i) + ": 1\r\n";
    const QByteArray junk = QByteArray::fromHex("00ff13a7c0de0d0a0d0a8081fffe0000") + QByteArray(3000, '\x9c');
    // Each row: the request and the statuses that refuse it (0: the connection was closed
    // without a reply, at the latest by the idle time-out). Each connection is closed by
    // the server.
    const struct
    {
        const char *what;
        QByteArray request;
        std::vector<int> refused;
    } rows[] = {
        {"dot segments", getRequest("/../../../../etc/passwd" + k), {404, 400}},
        {"encoded dot segments", getRequest("/%2e%2e/%2e%2e/etc/passwd" + k), {404, 400}},
        {"encoded slash", getRequest("/..%2f..%2fetc%2fpasswd" + k), {404, 400}},
        {"double slash", getRequest("//etc/passwd" + k), {404, 400}},
        {"resource path", getRequest("/web/index.html" + k), {404}},
        {"resource scheme", getRequest(":/web/index.html" + k), {404, 400}},
        {"absolute form", getRequest("http://127.0.0.1/etc/passwd" + k), {404, 400}},
        {"page with suffix", getRequest("/index.html" + k), {404}},
        {"script with a dot", getRequest("/app.js/." + k), {404}},
        {"post", "POST /state" + k + " HTTP/1.1\r\n" + host + "Content-Length: 2\r\n\r\n{}", {405}},
        {"put", "PUT /state" + k + " HTTP/1.1\r\n" + host + "Content-Length: 2\r\n\r\n{}", {405}},
        {"delete", "DELETE /state" + k + " HTTP/1.1\r\n" + host + "\r\n", {405}},
        {"get with a body", "GET /state" + k + " HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nhallo", {413}},
        {"chunked body", "GET /state" + k + " HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", {413}},
        {"many headers", "GET /state" + k + " HTTP/1.1\r\n" + host + manyHeaders + "\r\n", {431}},
        {"huge header", "GET /state" + k + " HTTP/1.1\r\n" + host + "X-Big: " + QByteArray(40000, 'a') + "\r\n\r\n", {431, 413, 400, 0}},
        {"huge address", "GET /state" + k + "&x=" + QByteArray(40000, 'a') + " HTTP/1.1\r\n" + host + "\r\n", {414, 431, 400, 0}},
        {"no host", "GET /state" + k + " HTTP/1.1\r\nConnection: close\r\n\r\n", {400}},
        {"binary junk", junk, {400, 0}},
        {"half a request, then silence", "GET /state" + k + " HTTP/1.1\r\nHo", {0}},
        {"nothing at all", "", {0}},
        {"unknown version", "GET /state" + k + " HTTP/7.3\r\n" + host + "\r\n", {505, 400, 0}},
    };
    for (const auto &r : rows) {
        const Reply reply = exchange(s.port(), r.request, 20000);
        EXPECT_TRUE(reply.closed) << r.what;
        EXPECT_NE(std::find(r.refused.begin(), r.refused.end(), reply.status), r.refused.end())
            << r.what << ": " << reply.status << "\n" << reply.head.data();
        EXPECT_FALSE(reply.all.contains("root:")) << r.what;
        EXPECT_FALSE(reply.all.contains(Secret)) << r.what;
    }
    // And the server still serves.
    EXPECT_EQ(get(s.port(), "/state" + k).status, 200);
}

TEST(ClassViewServer, ASlowClientDoesNotHoldTheOnlyWorker)
{
    ClassViewServer::Options o = testOptions();
    o.threads = 1;
    Served s(o);
    const int slow = connectTo(s.port(), "127.0.0.2");
    ASSERT_GE(slow, 0);
    const QByteArray request = getRequest("/state?k=" + Code);
    int served = 0;
    // One byte a second; between two bytes another client is served in full.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(sendAll(slow, request.mid(i, 1)));
        const Reply r = exchange(s.port(), getRequest("/state?k=" + Code), 5000, "127.0.0.3");
        served += r.status == 200 && r.body.contains(Secret);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    EXPECT_EQ(served, 4);
    // The slow one is served too once it has sent everything.
    ASSERT_TRUE(sendAll(slow, request.mid(4)));
    QByteArray got;
    EXPECT_TRUE(waitFor(slow, got, Secret, 5000));
    ::close(slow);
}

TEST(ClassViewServer, ThreeHundredPagesAllReceiveAPublishedRun)
{
    Served s;
    constexpr int Pages = 300;
    std::vector<int> fds;
    std::vector<QByteArray> received(Pages);
    // Thirty pages from each of ten addresses, within the limit for one address.
    for (int i = 0; i < Pages; ++i) {
        const QByteArray source = "127.0.0." + QByteArray::number(10 + i % 10);
        fds.push_back(openStream(s.port(), source.constData()));
        ASSERT_GE(fds.back(), 0) << i;
    }
    for (int i = 0; i < Pages; ++i)
        ASSERT_TRUE(waitFor(fds[i], received[i], Secret, 10000)) << "first event of page " << i;
    ASSERT_EQ(s.server.eventClients(), Pages);

    web::ClassViewState state;
    state.runs = {{QStringLiteral("1"), QStringLiteral("Neuer-Lauf-0,512")}};
    s.server.publish(state);
    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back({fd, POLLIN, 0});
    int arrived = 0;
    std::vector<bool> done(Pages, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arrived < Pages && std::chrono::steady_clock::now() < deadline) {
        if (::poll(polls.data(), polls.size(), 100) <= 0)
            continue;
        for (int i = 0; i < Pages; ++i) {
            if (done[i] || !(polls[i].revents & (POLLIN | POLLHUP)))
                continue;
            readSome(fds[i], received[i], 0);
            if (received[i].contains("Neuer-Lauf-0,512")) {
                done[i] = true;
                polls[i].events = 0;
                ++arrived;
            }
        }
    }
    EXPECT_EQ(arrived, Pages);
    for (int fd : fds)
        ::close(fd);
}

TEST(ClassViewServer, StoppedItEndsTheStreamsAndFreesItsPortForTheNextStart)
{
    quint16 port = 0;
    int stream = -1;
    QByteArray got;
    {
        Served s;
        port = s.port();
        stream = openStream(port);
        ASSERT_TRUE(waitFor(stream, got, Secret, 5000));
        s.server.stop();
        EXPECT_FALSE(s.server.isRunning());
        // The stream ends rather than hanging.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool open = true;
        while (open && std::chrono::steady_clock::now() < deadline)
            open = readSome(stream, got, 50);
        EXPECT_FALSE(open);
        // Started again, on the same port, with the same code.
        ASSERT_TRUE(s.server.start().isEmpty());
        EXPECT_EQ(s.server.port(), port);
        EXPECT_EQ(get(port, "/state?k=" + Code).status, 200);
    }
    ::close(stream);
    ClassViewServer::Options o = testOptions();
    o.port = port;
    ClassViewServer again(o);
    EXPECT_EQ(again.start(), QString());
    EXPECT_EQ(get(port, "/state?k=" + Code).status, 200);
    again.stop();
    again.stop();
}

TEST(ClassViewServer, SaysWhenItsPortIsTaken)
{
    Served first;
    ClassViewServer::Options o = testOptions();
    o.port = first.port();
    ClassViewServer second(o);
    const QString error = second.start();
    EXPECT_EQ(second.lastStartError(), ClassViewServer::StartError::PortInUse);
    EXPECT_TRUE(error.contains(QString::number(o.port))) << error.toStdString();
    EXPECT_FALSE(second.isRunning());
    EXPECT_EQ(get(first.port(), "/state?k=" + Code).status, 200);
}

TEST(ClassViewServer, UrlNamesTheAddressPortAndCode)
{
    Served s;
    EXPECT_EQ(s.server.url(), QStringLiteral("http://127.0.0.1:%1/?k=%2")
                                  .arg(s.port())
                                  .arg(QString::fromLatin1(Code)));
    EXPECT_EQ(s.server.url(QStringLiteral("192.168.0.7")),
              QStringLiteral("http://192.168.0.7:%1/?k=%2").arg(s.port()).arg(QString::fromLatin1(Code)));
    const QString lan = web::lanAddress();
    EXPECT_FALSE(lan.isEmpty());
}

TEST(ClassViewServer, OnTheNetworkItAnswersOverIPv4AndIPv6Loopback)
{
    ClassViewServer::Options o = testOptions();
    o.loopbackOnly = false;
    Served s(o);
    EXPECT_EQ(get(s.port(), "/state?k=" + Code).status, 200);
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    to.sin6_port = htons(s.port());
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    sendAll(fd, getRequest("/state?k=" + Code));
    QByteArray got;
    EXPECT_TRUE(waitFor(fd, got, Secret, 5000));
    EXPECT_TRUE(got.startsWith("HTTP/1.1 200")) << got.left(40).data();
    ::close(fd);
}
