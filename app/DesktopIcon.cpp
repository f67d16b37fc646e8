#include "app/DesktopIcon.h"

#include "Version.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace app {

QIcon desktopIcon()
{
    const QString id = QStringLiteral(TACHOFLUX_APP_ID);
    QIcon icon = QIcon::fromTheme(id);
    if (!icon.isNull())
        return icon;
    // Without a desktop session Qt knows no theme folders; the install layout is fixed.
    const QString folder = QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" TACHOFLUX_ICONS_FROM_BINDIR "/");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file =
            folder + QStringLiteral("%1x%1/apps/").arg(size) + id + QStringLiteral(".png");
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

} // namespace app
