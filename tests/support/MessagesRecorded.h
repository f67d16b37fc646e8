#pragma once

#include "app/ExceptionHandler.h"

#include <QString>
#include <QStringList>

// The messages the program would show in a box go to the list instead, for as long as
// this lives.
class MessagesRecorded
{
public:
    explicit MessagesRecorded(QStringList &messages)
    {
        app::setExceptionSink([&messages](const QString &message) { messages << message; });
    }
    ~MessagesRecorded() { app::setExceptionSink({}); }
    MessagesRecorded(const MessagesRecorded &) = delete;
    MessagesRecorded &operator=(const MessagesRecorded &) = delete;
};
