#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <signal.h>

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

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// A kill, a hang-up or Ctrl+C ends the program as a close does: the settings it holds are
// stored. An earlier version's distance (2.5 m) comes in at the start, into this version's
// key only at the end, so the stored value can only have come from the close.
TEST(Program, EndingSignalsStoreTheSettingsAsACloseDoes)
{
    const std::pair<int, const char *> rows[] = {
        {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}};
    const QByteArray header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const QByteArray earlier = header +
                               "[HKEY_CURRENT_USER\\Kelvaro / Software / Velox / 1.01\\Settings]\r\n"
                               "\"COMPort\"=\"0\"\r\n\"COMAlg\"=\"1\"\r\n\"Meters\"=\"2500\"\r\n";
    for (const auto &[signal, name] : rows) {
        SCOPED_TRACE(name);
        QTemporaryDir config;
        ASSERT_TRUE(config.isValid());
        const QString hive = config.filePath("tachoflux/registry.reg");
        QDir().mkpath(config.filePath("tachoflux"));
        {
            QFile file(hive);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", config.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TACHOFLUX_PROGRAM), {});
        ASSERT_TRUE(program.waitForStarted());
        // The start's load makes this version's key: from then on the window exists.
        for (int i = 0; i < 3000 && !fileBytes(hive).contains("Velox / 1.02]"); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(fileBytes(hive).contains("Velox / 1.02]")) << fileBytes(hive).toStdString();
        ASSERT_FALSE(fileBytes(hive).contains("Velox / 1.02\\Settings"));
        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QByteArray stored = fileBytes(hive);
        EXPECT_TRUE(stored.contains("[HKEY_CURRENT_USER\\Kelvaro / Software / Velox / 1.02\\Settings]"
                                    "\r\n\"COMPort\"=\"0\"\r\n\"COMAlg\"=\"1\"\r\n"
                                    "\"Meters\"=\"2500\"\r\n"))
            << stored.toStdString();
        // The earlier version's values stay as they were.
        EXPECT_TRUE(stored.contains(earlier.mid(header.size()))) << stored.toStdString();
    }
}
