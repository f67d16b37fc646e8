// Renders an SVG drawing of the program (wiring diagram, logo) into the stored picture
// format at build time, so the repository keeps only the editable drawing.
//
//   tf_render_picture DRAWING.svg OUTPUT WIDTH HEIGHT [SCALE]
//   tf_render_picture PICTURE.png OUTPUT
//
// The picture is WIDTH x HEIGHT times SCALE pixels, drawn over white and fully opaque. A PNG
// (the icon's sizes, drawn by the same tool that draws the installed ones) is stored as it
// is, transparency included.

#include "widgets/PicturePanelData.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int save(const QImage &picture, const QString &path)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(widgets::picdata::write(picture)) < 0 ||
        !out.commit()) {
        std::fprintf(stderr, "tf_render_picture: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // No display at build time; the fonts still come from the system's font configuration.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1].endsWith(QStringLiteral(".png"))) {
        QImageReader reader(args[1], "png");
        const QImage picture = reader.read();
        if (picture.isNull()) {
            std::fprintf(stderr, "tf_render_picture: %s: %s\n", qPrintable(args[1]),
                         qPrintable(reader.errorString()));
            return 1;
        }
        return save(picture, args[2]);
    }
    if (args.size() != 5 && args.size() != 6) {
        std::fprintf(stderr, "usage: tf_render_picture DRAWING.svg OUTPUT WIDTH HEIGHT [SCALE]\n"
                             "       tf_render_picture PICTURE.png OUTPUT\n");
        return 2;
    }
    bool ok = true;
    const int width = args[3].toInt(&ok);
    const int height = ok ? args[4].toInt(&ok) : 0;
    const int scale = ok && args.size() == 6 ? args[5].toInt(&ok) : 1;
    if (!ok || width <= 0 || height <= 0 || scale <= 0 || scale > 8) {
        std::fprintf(stderr, "tf_render_picture: bad size\n");
        return 2;
    }
    QSvgRenderer drawing(args[1]);
    if (!drawing.isValid()) {
        std::fprintf(stderr, "tf_render_picture: %s is not a valid SVG drawing\n",
                     qPrintable(args[1]));
        return 1;
    }
    QImage picture(width * scale, height * scale, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        drawing.render(&painter, QRectF(0, 0, picture.width(), picture.height()));
    }
    return save(picture, args[2]);
}
