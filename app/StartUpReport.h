#pragma once

// For start-up measurements (bench/app): a window that carries this report prints the
// monotonic clock when it is first exposed and, a second later, the process's resident
// memory, and then quits. Header-only, so that the benchmark's hello-world reference is
// measured by the very same code without linking anything of the program.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace app {

class StartUpReport : public QObject
{
public:
    using QObject::QObject;

    static void attach(QWidget &window)
    {
        window.winId();
        if (QWindow *handle = window.windowHandle())
            handle->installEventFilter(new StartUpReport(&window));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() != QEvent::Expose || m_seen || !window || !window->isExposed())
            return false;
        m_seen = true;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("mapped %lld\n",
                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fflush(stdout);
        QTimer::singleShot(1000, qApp, [] {
            QFile status(QStringLiteral("/proc/self/status"));
            if (status.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : status.readAll().split('\n')) {
                    if (line.startsWith("VmRSS:"))
                        std::printf("rss %s\n", line.mid(6).trimmed().constData());
                }
            }
            std::fflush(stdout);
            QCoreApplication::quit();
        });
        return false;
    }

private:
    bool m_seen = false;
};

} // namespace app
