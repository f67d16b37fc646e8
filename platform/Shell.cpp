#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool Shell::openLink(const QUrl &url, QWidget *)
{
    return QDesktopServices::openUrl(url);
}

void DesktopShell::open(const QString &path, QWidget *)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

namespace {
Shell *g_shell = nullptr;
} // namespace

Shell &shell()
{
    static DesktopShell desktop;
    return g_shell ? *g_shell : desktop;
}

void setShell(Shell *shell)
{
    g_shell = shell;
}

} // namespace platform
