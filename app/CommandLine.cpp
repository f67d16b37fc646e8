#include "app/CommandLine.h"

#include "Version.h"
#include "app/ReportCommand.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QFileInfo>

#include <clocale>
#include <cstdio>

namespace app {

std::optional<int> answerCommandLine(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // The toolkit's own options ("-platform offscreen") are single words, not letter groups.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Tachoflux misst mit zwei Lichtschranken an der seriellen Schnittstelle, "
                       "wie lange ein Körper\nfür eine Strecke braucht, und daraus seine "
                       "Geschwindigkeit."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Zeigt diese Hilfe an und endet."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Zeigt die Versionsnummer an und endet."));
    const QCommandLineOption report(
        QStringList{QStringLiteral("bericht")},
        QStringLiteral("Schreibt den Bericht einer Sitzung (ohne Angabe: der letzten) als "
                       "PDF und endet."),
        QStringLiteral("DATEI.pdf"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(report);
    // Unknown options are the toolkit's business; only our two matter here.
    parser.parse(arguments);

    if (parser.isSet(version)) {
        std::printf("Tachoflux %s\n", TACHOFLUX_VERSION);
        return 0;
    }
    if (parser.isSet(report) && !parser.isSet(help)) {
        // Fonts and the PDF writer need the toolkit, but no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::setlocale(LC_ALL, "");
        int count = 1;
        QGuiApplication application(count, argv);
        const QStringList rest = parser.positionalArguments();
        return runReportCommand(parser.value(report), rest.value(0));
    }
    if (parser.isSet(help)) {
        // Written here rather than by the parser, whose headings are English before any
        // catalog is loaded.
        const QString program =
            QFileInfo(arguments.value(0, QStringLiteral("tachoflux"))).fileName();
        QString text = QStringLiteral("Aufruf: %1 [Optionen]\n\n%2\n\nOptionen:\n")
                           .arg(program, parser.applicationDescription());
        for (const QCommandLineOption *option : {&help, &version}) {
            const QStringList names = option->names();
            const QString left = QStringLiteral("-%1, --%2").arg(names[0], names[1]);
            text += QStringLiteral("  %1  %2\n").arg(left, -13).arg(option->description());
        }
        text += QStringLiteral("  --bericht DATEI.pdf [SITZUNG]\n                 %1\n")
                    .arg(report.description());
        text += QStringLiteral("\nDazu versteht das Programm die Optionen von Qt, etwa "
                               "„-platform xcb“.\nOhne grafische Anzeige startet es mit "
                               "„xvfb-run -a %1“.\n")
                    .arg(program);
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace app
