#pragma once

#include "platform/Shell.h"

#include <QList>
#include <QUrl>

namespace platform {

// Records requests instead of opening anything.
class RecordingShell final : public Shell
{
public:
    void open(const QString &path, QWidget *) override { opened.append(path); }
    bool openLink(const QUrl &url, QWidget *) override
    {
        links.append(url);
        return linksOpen;
    }
    QStringList opened;
    QList<QUrl> links;
    // What openLink answers: false stands for a desktop without a browser.
    bool linksOpen = true;
};

} // namespace platform
