#include "app/CommandLine.h"

#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    parser.addOption(help);
    parser.addOption(version);
    // Unknown options are the toolkit's business; only our two matter here.
    parser.parse(arguments);

    if (parser.isSet(version)) {
        std::printf("Tachoflux %s\n", TACHOFLUX_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        // An application object without a display gives the help its program name.
        QCoreApplication application(argc, argv);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace app
