#include "app/AppIcon.h"

#include <QPixmap>

#include "assets/icons/tachoflux-16.xpm"

QIcon applicationIcon()
{
    return QIcon(QPixmap(tachoflux_16_xpm));
}
