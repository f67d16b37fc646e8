#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

// The built program, started as a user would start it.
TEST(Program, WithoutADisplaySaysThatItNeedsOne)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TACHOFLUX_PROGRAM), {});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString message = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(message.contains("needs a graphical display")) << message.toStdString();
    EXPECT_TRUE(message.contains("xvfb-run")) << message.toStdString();
}

// --help and --version answer on a machine without any display and end the program.
TEST(Program, HelpAndVersionNeedNoDisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    const struct
    {
        QStringList arguments;
        QString output;
    } rows[] = {
        {{"--version"}, "Tachoflux 1.02\n"},
        {{"-v"}, "Tachoflux 1.02\n"},
        {{"-platform", "xcb", "--version"}, "Tachoflux 1.02\n"},
        {{"--help"}, "--version  Zeigt die Versionsnummer an und endet."},
        {{"-h"}, "-h, --help     Zeigt diese Hilfe an und endet."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TACHOFLUX_PROGRAM), row.arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QString output = QString::fromUtf8(program.readAllStandardOutput());
        if (row.output.endsWith('\n'))
            EXPECT_EQ(output, row.output);
        else
            EXPECT_TRUE(output.contains(row.output)) << output.toStdString();
        EXPECT_EQ(QString::fromUtf8(program.readAllStandardError()), QString());
    }
}

// The README's run command on a machine without a display: what is missing is installed
// first, so the xvfb-run that the hint suggests is there.
TEST(Program, RunScriptInstallsWhatIsMissingBeforeItAsksForADisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess script;
    script.setProcessEnvironment(env);
    script.start(QStringLiteral("bash"), {"-x", QStringLiteral(TF_SOURCE_DIR "/scripts/run.sh")});
    ASSERT_TRUE(script.waitForFinished(600000));
    EXPECT_EQ(script.exitCode(), 1);
    const QString trace = QString::fromLocal8Bit(script.readAllStandardError());
    const qsizetype installed = trace.indexOf("+ scripts/install-deps.sh");
    const qsizetype hint = trace.indexOf("xvfb-run -a scripts/run.sh");
    EXPECT_GE(installed, 0) << trace.toStdString();
    EXPECT_GT(hint, installed) << trace.toStdString();
}
