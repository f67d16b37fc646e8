#include "app/AppIcon.h"
#include "app/CommLineSource.h"
#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "app/ExceptionHandler.h"
#include "app/FontWarmUp.h"
#include "app/InfoForm.h"
#include "app/MainForm.h"
#include "app/StartUpReport.h"
#include "app/TerminationSignals.h"
#include "comm/MyCommStatus.h"
#include "i18n/Translation.h"
#include "platform/ProcessSignals.h"

#include "Version.h"

#include "platform/Errors.h"

#include <QDialog>
#include <QFont>
#include <QScreen>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace app {
namespace {

void reportStartUp(QWidget &window)
{
    if (qEnvironmentVariableIsEmpty("TACHOFLUX_STARTUP_REPORT"))
        return;
    StartUpReport::attach(window);
}

} // namespace
} // namespace app

int main(int argc, char **argv)
{
    platform::setProgramSignalDispositions();
    if (const std::optional<int> exitCode = app::answerCommandLine(argc, argv))
        return *exitCode;
    const std::string platform = app::DisplayCheck::platformArgument(argc, argv);
    app::DisplayCheck displayCheck;
    if (const std::string problem = displayCheck.problem(platform); !problem.empty()) {
        std::fputs(problem.c_str(), stderr);
        return 1;
    }
    // Dates, times and decimal separators follow the user's regional settings.
    std::setlocale(LC_ALL, "");
    // The font configuration is read while the toolkit connects to the display.
    app::FontWarmUp fonts;

    // Qt keeps its translators with the application, so it comes first; it shows nothing
    // and asks for no text until the windows exist.
    app::TApplication application(argc, argv);
    displayCheck.release();
    // From here a kill or a logout ends the program through its close path.
    app::TerminationSignals termination;
    termination.setOnEnd([] {
        // A message of the start-up waits in a loop of its own, which quit() does not end
        // before the main loop runs: it is closed, and none after it is shown; the start-up
        // then sees requested() and ends.
        app::setExceptionSink([](const QString &) {});
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        QCoreApplication::quit();
    });

    // Catalogs next: every text Qt or the platform layer loads from here on passes
    // through them.
    i18n::Translation::startUp();
    // A damaged catalog is told once, when the window is up, and its texts stay English;
    // it never ends the program.
    i18n::setCatalogErrorReport([](const QString &message) {
        QTimer::singleShot(0, qApp,
                           [message] { app::guarded([&] { throw platform::TfError(message); }); });
    });

    // The single status component: no owner, no port, its watcher already running. It is
    // never freed; the end of the process ends the watcher.
    static comm::TMyCommStatus *const commStatus = new comm::TMyCommStatus(nullptr);
    static app::CommLineSource lines(*commStatus);

    i18n::LanguageSetup();

    QApplication::setApplicationName(QStringLiteral("Tachoflux"));
    QApplication::setApplicationDisplayName(QLatin1StringView(app::ApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(TACHOFLUX_VERSION));
    // Wayland finds the window's icon and name through the desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(TACHOFLUX_APP_ID));
    QApplication::setWindowIcon(app::applicationIcon());
    // The windows were laid out for these faces; metric-compatible ones keep texts inside
    // their controls.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans")});

    int result = 0;
    {
        fonts.wait();
        app::TForm1 form1(lines);
        // The info dialog is made when it is first asked for, and kept.
        form1.setInfoFormMaker([&form1] { return new app::TfrmInfo(&form1); });

        if (const QScreen *screen = QApplication::primaryScreen()) {
            QRect frame = form1.frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            form1.move(frame.topLeft());
        }
        // A signal, the session's end or any other quit closes the window as a user would,
        // so the settings are saved; a window already closed is not closed again.
        const auto closeWindow = [&form1] {
            if (form1.isVisible())
                form1.close();
        };
        termination.setOnEnd([closeWindow] {
            closeWindow();
            QCoreApplication::quit();
        });
        QObject::connect(&application, &QCoreApplication::aboutToQuit, &form1, closeWindow);

        app::reportStartUp(form1);
        form1.show();
        // A signal may have come while a message of the start-up was shown.
        if (termination.requested())
            form1.close();
        else
            result = application.exec();
        termination.setOnEnd({});
    }

    // The windows are gone; the localisation module goes before the application, whose
    // translator list it restores.
    i18n::setCatalogErrorReport({});
    i18n::Translation::shutDown();
    return result;
}
