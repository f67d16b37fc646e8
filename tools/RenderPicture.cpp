// Renders an SVG drawing of the program (wiring diagram, logo) into the stored picture
// format at build time, so the repository keeps only the editable drawing.
//
//   tf_render_picture DRAWING.svg OUTPUT WIDTH HEIGHT [SCALE]
//
// The picture is WIDTH x HEIGHT times SCALE pixels, drawn over white and fully opaque.

#include "widgets/PicturePanelData.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    // No display at build time; the fonts still come from the system's font configuration.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6) {
        std::fprintf(stderr, "usage: tf_render_picture DRAWING.svg OUTPUT WIDTH HEIGHT [SCALE]\n");
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
    QSaveFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(widgets::picdata::write(picture)) < 0 ||
        !out.commit()) {
        std::fprintf(stderr, "tf_render_picture: cannot write %s: %s\n", qPrintable(args[2]),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
