#include "web/ClassViewServer.h"

#include "support/ProgramCatalogs.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The teacher learns in German, from the program's own catalogs, why the class view
// cannot start.
TEST(ClassViewMessages, ATakenOrReservedPortIsExplainedInGerman)
{
    ProgramCatalogs catalogs(QStringLiteral(TACHOFLUX_PROGRAM));
    ASSERT_TRUE(catalogs.loaded());

    // A port another program listens on.
    const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(other, 1), 0);
    ::getsockname(other, reinterpret_cast<sockaddr *>(&a), &length);
    const quint16 taken = ntohs(a.sin_port);

    web::ClassViewServer::Options options;
    options.port = taken;
    options.loopbackOnly = true;
    web::ClassViewServer server(options);
    EXPECT_EQ(server.start(),
              QStringLiteral("Der Port %1 ist belegt: ein anderes Programm wartet dort auf "
                             "Verbindungen. Wählen Sie für die Klassenansicht einen anderen Port")
                  .arg(taken));
    ::close(other);

    // A port below 1024 without the right to bind it (root has the right).
    if (::geteuid() != 0) {
        options.port = 80;
        web::ClassViewServer low(options);
        EXPECT_EQ(low.start(), QStringLiteral("Der Port 80 ist dem Administrator vorbehalten: "
                                              "wählen Sie für die Klassenansicht einen Port über 1023"));
    }
}
