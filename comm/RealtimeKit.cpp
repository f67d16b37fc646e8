#include "comm/RealtimeKit.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>

#include <sys/resource.h>

namespace comm {

void requestRealtimeKit(pid_t tid)
{
    static bool asked = false;
    if (asked || tid == 0 || !QCoreApplication::instance())
        return;
    asked = true;
    // The service grants nothing to a process that could hog a core for good: a
    // real-time thread must give the core back within this much CPU time.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return;
    constexpr rlim_t MaxRunUs = 200'000;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > MaxRunUs) {
        limit.rlim_cur = limit.rlim_max = MaxRunUs;
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0)
            return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.RealtimeKit1"),
        QStringLiteral("/org/freedesktop/RealtimeKit1"),
        QStringLiteral("org.freedesktop.RealtimeKit1"), QStringLiteral("MakeThreadRealtime"));
    call << quint64(tid) << quint32(5);
    bus.asyncCall(call);
}

} // namespace comm
