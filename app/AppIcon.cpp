#include "app/AppIcon.h"

#include "Version.h"
#include "assets/Pictures.h"
#include "widgets/PicturePanelData.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOption>

#include <array>

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

constexpr std::array<int, 8> Sizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The sizes built into the program, each drawn at its size. Each is made when asked for and
// not kept: a window asks for every size once, when it is made, and the large ones would
// otherwise stay in memory for nothing. The pictures lie uncompressed in the program, so
// making one is a copy, not a decoding.
class BuiltInIconEngine : public QIconEngine
{
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        // The smallest picture that covers the size, else the largest; a larger one is
        // scaled down, as the toolkit's own icons do.
        int chosen = Sizes.back();
        for (const int side : Sizes) {
            if (side >= size.width() && side >= size.height()) {
                chosen = side;
                break;
            }
        }
        // In the stored format, which is also the one window icons travel in: no conversion
        // there and back, and no copy.
        QPixmap result = QPixmap::fromImage(picture(chosen), Qt::NoFormatConversion);
        if (result.isNull())
            return result;
        if (result.width() > size.width() || result.height() > size.height())
            result = result.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            result = QApplication::style()->generatedIconPixmap(mode, result, &option);
        }
        return result;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
               QIcon::State state) override
    {
        const qreal ratio = painter->device()->devicePixelRatioF();
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        const QSize shown = drawn.deviceIndependentSize().toSize();
        QRect target(QPoint(), shown);
        target.moveCenter(rect.center());
        painter->drawPixmap(target, drawn);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : Sizes)
            sizes.append(QSize(side, side));
        return sizes;
    }

    QIconEngine *clone() const override { return new BuiltInIconEngine; }
    QString key() const override { return QStringLiteral("tachoflux-built-in"); }

private:
    static QImage picture(int side)
    {
        if (side == 16)
            return QImage(tachoflux_16_xpm);
        assets::usePictures();
        return widgets::picdata::readFile(QStringLiteral(":/icons/%1.pic").arg(side)).image;
    }
};

QIcon buildIcon()
{
    if (installedIntoTheme()) {
        QIcon icon = QIcon::fromTheme(QStringLiteral(TACHOFLUX_APP_ID));
        if (!icon.isNull())
            return icon;
    }
    return QIcon(new BuiltInIconEngine);
}

} // namespace

QIcon applicationIcon()
{
    // One for the application's lifetime: the program and its window both ask.
    static QIcon icon;
    if (icon.isNull()) {
        icon = buildIcon();
        qAddPostRoutine([] { icon = QIcon(); });
    }
    return icon;
}

} // namespace app
