#pragma once

#include <QString>
#include <QStringList>

class QUrl;
class QWidget;

namespace platform {

// The desktop's "open this file with its associated program".
class Shell
{
public:
    virtual ~Shell() = default;
    // The result is deliberately not reported: the program never reacts to it.
    virtual void open(const QString &path, QWidget *owner) = 0;
    // A web address or another page, in the desktop's browser; false when nothing could be
    // started for it, so that the caller can tell the user.
    virtual bool openLink(const QUrl &url, QWidget *owner);
};

class DesktopShell final : public Shell
{
public:
    void open(const QString &path, QWidget *owner) override;
};

Shell &shell();
// nullptr restores the desktop shell.
void setShell(Shell *shell);

} // namespace platform
