#pragma once

#include "platform/Shell.h"

namespace platform {

// Records requests instead of opening anything.
class RecordingShell final : public Shell
{
public:
    void open(const QString &path, QWidget *) override { opened.append(path); }
    QStringList opened;
};

} // namespace platform
