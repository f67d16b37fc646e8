#include "app/AppIcon.h"

#include "Version.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QImageReader>
#include <QPixmap>
#include <QStandardPaths>

#include "assets/icons/tachoflux-16.xpm"

namespace app {

namespace {

// Asking the theme reads its whole index first, which costs more than the rest of the
// window; it can only find the icon where the program installed it.
bool installedIntoTheme()
{
    const QString name = QStringLiteral(TACHOFLUX_APP_ID);
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                   QStringLiteral("icons/hicolor/scalable/apps/%1.svg").arg(name))
                .isEmpty();
}

QIcon buildIcon()
{
    if (installedIntoTheme()) {
        QIcon icon = QIcon::fromTheme(QStringLiteral(TACHOFLUX_APP_ID));
        if (!icon.isNull())
            return icon;
    }
    // Pictures drawn at each size, not the drawing itself: Qt's SVG icon engine keeps only
    // one added picture, so a mixed set would lose the small sizes.
    QIcon icon;
    icon.addPixmap(QPixmap(tachoflux_16_xpm));
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        const QString file = sizes.next();
        if (file.contains(QStringLiteral("/16x16/")))
            continue;
        // Named as PNG and not guessed: guessing asks every image plugin first.
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

QIcon applicationIcon()
{
    // Built once for the application's lifetime: the program and its window both ask.
    static QIcon icon;
    if (icon.isNull()) {
        icon = buildIcon();
        qAddPostRoutine([] { icon = QIcon(); });
    }
    return icon;
}

} // namespace app
