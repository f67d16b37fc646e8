#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// The desktop's "open this file with its associated program".
class Shell
{
public:
    virtual ~Shell() = default;
    // The result is deliberately not reported: the program never reacts to it.
    virtual void open(const QString &path, QWidget *owner) = 0;
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
