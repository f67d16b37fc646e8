// The reference for the start-up benchmark: the smallest Qt Widgets window, reporting
// the instant it is first exposed and its resident memory a second later, through the same
// report the program uses with TACHOFLUX_STARTUP_REPORT set.
#include "app/StartUpReport.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Hallo Welt"));
    label.resize(320, 120);
    app::StartUpReport::attach(label);
    label.show();
    return app.exec();
}
