#include "comm/MyCommWatcher.h"

#include "platform/Clock.h"
#include "platform/SerialPollTimer.h"

#include <QObject>

#include <csignal>
#include <exception>
#include <pthread.h>
#include <thread>

namespace {

TMyCommInstant now()
{
    const platform::Clock &clock = platform::clock();
    TMyCommInstant at;
    at.counter = clock.counter();
    at.frequency = clock.frequency();
    return at;
}

} // namespace

std::shared_ptr<TMyCommWatcher> TMyCommWatcher::start(ChangeTarget target)
{
    std::shared_ptr<TMyCommWatcher> watcher(new TMyCommWatcher(std::move(target)));
    // The thread starts with every signal blocked, so no wake reaches it before it is ready.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        std::thread([self = watcher] { self->RunLoop(); }).detach();
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return watcher;
}

TMyCommWatcher::TMyCommWatcher(ChangeTarget target)
    : m_relay(new QObject), m_changeTarget(std::move(target))
{
}

TMyCommWatcher::~TMyCommWatcher()
{
    // Only reached once the thread has ended and handed the relay back, or if it never ran.
    if (!m_ended.load())
        delete m_relay;
}

void TMyCommWatcher::setPort(std::shared_ptr<platform::SerialPort> port)
{
    m_port.store(std::move(port));
    m_wake.wake();
}

void TMyCommWatcher::Terminate()
{
    m_terminated.store(true);
    m_wake.wake();
}

void TMyCommWatcher::RunLoop()
{
    m_wake.attach();
    std::shared_ptr<platform::SerialPort> port;
    try {
        platform::SerialPollTimer pollTimer;
        bool polling = false;
        std::uint32_t last = 0;
        std::uint32_t local = 0;
        while (!m_terminated.load()) {
            if (std::shared_ptr<platform::SerialPort> current = m_port.load(); current != port) {
                port = std::move(current);
                last = 0;
                local = 0;
                polling = false;
            }
            if (!port) {
                m_wake.sleep();
                continue;
            }
            port->modemStatus(local);
            const TMyCommInstant at = now();
            if (local != last) {
                last = local;
                report(TMyCommReport{local, port.get(), at});
                continue;
            }
            if (!polling) {
                platform::SerialPort *const waiting = port.get();
                bool unsupported = false;
                auto wait = [waiting, &unsupported] {
                    unsupported =
                        waiting->waitForChange() == platform::SerialPort::Wait::Unsupported;
                };
                if (!m_wake.run(wait) || !unsupported)
                    continue;
                polling = true;
                pollTimer.start();
            }
            // A port change or the end waits at most one period here.
            pollTimer.waitNext();
        }
    } catch (...) {
        // An error of the change target or of the port ends the watcher silently.
    }
    port.reset();
    m_port.store(nullptr);
    m_wake.detach();
    m_ended.store(true);
    m_relay->deleteLater();
}

void TMyCommWatcher::report(const TMyCommReport &change)
{
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        m_relay,
        [this, &change, &error] {
            try {
                NotifyChange(change);
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void TMyCommWatcher::NotifyChange(const TMyCommReport &change)
{
    if (m_changeTarget)
        m_changeTarget(change);
}
