#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

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

// The real program killed with SIGKILL after three runs: every run is in the journal, and
// exactly as the protocol held it (its CSV export, taken just before the kill).
TEST(Program, SigkillAfterThreeRunsLeavesThemInTheJournal)
{
    for (const char *tool : {"xvfb-run", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.remove("QT_QPA_PLATFORM");
    const QString exported = dir.filePath("export.csv");
    QProcess script;
    script.setProcessEnvironment(env);
    script.start("xvfb-run", {"-a", "-s", "-screen 0 1280x1024x24", "bash",
                              QStringLiteral(TF_SOURCE_DIR "/tests/app/runs-then-kill.sh"),
                              QStringLiteral(TACHOFLUX_PROGRAM), exported});
    ASSERT_TRUE(script.waitForFinished(180000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();

    const QStringList journals =
        QDir(dir.filePath("data/tachoflux")).entryList({"Messungen-*.csv"}, QDir::Files);
    ASSERT_EQ(journals.size(), 1);
    QFile journal(dir.filePath("data/tachoflux/" + journals[0]));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QByteArray bytes = journal.readAll();
    QFile exportFile(exported);
    ASSERT_TRUE(exportFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(bytes, exportFile.readAll());
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 5) << bytes.toStdString(); // header, three runs, the last CR LF
    const QRegularExpression run(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[;,]\d+[.,]\d{4}[;,])");
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(run.match(QString::fromUtf8(lines[i])).hasMatch()) << lines[i].toStdString();
}
