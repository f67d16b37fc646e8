#pragma once

#include <QStringList>

#include <unistd.h>

// xvfb-run's arguments for a 1280x1024 screen. Its -a takes the first free display from
// the number given on, and two runs that start together may both pick the same one: each
// test process starts its search from a number of its own.
inline QStringList virtualScreenArguments()
{
    return {QStringLiteral("-a"), QStringLiteral("-n"), QString::number(100 + getpid() % 30000),
            QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24")};
}
