#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace widgets {

// Work deferred to one event posted to the target, however many requests come before it
// arrives. Doing the work directly in between serves them too: the event then finds
// nothing to do.
class CoalescedRequest
{
public:
    CoalescedRequest(QObject *target, QEvent::Type type, bool pending = false,
                     Qt::EventPriority priority = Qt::NormalEventPriority)
        : m_target(target), m_type(type), m_priority(priority), m_pending(pending)
    {
    }

    // Marks the work as due and posts the event unless one is still queued.
    void request()
    {
        m_pending = true;
        if (m_queued)
            return;
        m_queued = true;
        QCoreApplication::postEvent(m_target, new QEvent(m_type), m_priority);
    }

    // The work has been done.
    void done() { m_pending = false; }
    bool pending() const { return m_pending; }

    // For the target's event handler: whether this is the posted event. If so, the work
    // runs unless it has been done since.
    template <typename Work> bool serve(const QEvent *event, Work &&work)
    {
        if (event->type() != m_type)
            return false;
        m_queued = false;
        if (m_pending)
            work();
        return true;
    }

private:
    QObject *m_target;
    QEvent::Type m_type;
    Qt::EventPriority m_priority;
    bool m_pending;
    bool m_queued = false;
};

} // namespace widgets
