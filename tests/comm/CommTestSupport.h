#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Polls `condition` for up to `ms` milliseconds; with `events`, the user-interface
// thread handles its events meanwhile (and so the watcher's reports).
inline bool waitFor(const std::function<bool()> &condition, bool events = true, int ms = 10'000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        if (events)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Handles events for a while, for checks that something does not happen.
inline void handleEventsFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}
