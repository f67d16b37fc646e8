#include "app/AppIcon.h"

#include "Version.h"

#include <QDirIterator>
#include <QPixmap>

#include "assets/icons/tachoflux-16.xpm"

namespace app {

QIcon applicationIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral(TACHOFLUX_APP_ID));
    if (!icon.isNull())
        return icon;
    // Pictures drawn at each size, not the drawing itself: Qt's SVG icon engine keeps only
    // one added picture, so a mixed set would lose the small sizes.
    icon.addPixmap(QPixmap(tachoflux_16_xpm));
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        const QString file = sizes.next();
        if (!file.contains(QStringLiteral("/16x16/")))
            icon.addFile(file);
    }
    return icon;
}

} // namespace app
