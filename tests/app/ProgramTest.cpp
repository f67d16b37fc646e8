#include "support/VirtualScreen.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <signal.h>

namespace {

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}, process.errorString()};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void writeScript(const QString &path, const QByteArray &text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/usr/bin/env bash\n" + text);
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

} // namespace

// The built program, started as a user would start it: without a display it says in
// German what to do, before the toolkit can abort in English.
TEST(Program, WithoutADisplaySaysInGermanWhatToDo)
{
    const struct
    {
        const char *what;
        QStringList set; // NAME=value
        QStringList arguments;
        const char *says;
    } rows[] = {
        {"nothing set", {}, {}, "weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt"},
        {"a display nobody serves", {"DISPLAY=:93"}, {}, "die Anzeige :93 ist nicht erreichbar"},
        {"xcb asked for on the command line",
         {"QT_QPA_PLATFORM=offscreen"},
         {"-platform", "xcb"},
         "DISPLAY ist nicht gesetzt"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        QProcessEnvironment env = withoutDisplay();
        for (const QString &pair : row.set)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        const Outcome outcome = run(QStringLiteral(TACHOFLUX_PROGRAM), row.arguments, env);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_TRUE(outcome.err.contains(QString::fromUtf8(row.says))) << outcome.err.toStdString();
        for (const char *part :
             {"braucht eine grafische Anzeige",
              "Melden Sie sich an einer grafischen Arbeitsoberfläche an", "xvfb-run -a tachoflux"})
            EXPECT_TRUE(outcome.err.contains(QString::fromUtf8(part))) << outcome.err.toStdString();
        EXPECT_FALSE(outcome.err.contains("could not connect")) << outcome.err.toStdString();
    }
}

// --help and --version answer on a machine without any display, entirely in German.
TEST(Program, HelpAndVersionNeedNoDisplayAndSpeakGerman)
{
    const struct
    {
        QStringList arguments;
        QStringList output; // the whole output if it ends in a line break, else parts of it
    } rows[] = {
        {{"--version"}, {"Tachoflux 1.02\n"}},
        {{"-v"}, {"Tachoflux 1.02\n"}},
        {{"-platform", "xcb", "--version"}, {"Tachoflux 1.02\n"}},
        {{"--help"},
         {"Aufruf: tachoflux [Optionen]\n", "\nOptionen:\n",
          "  -v, --version  Zeigt die Versionsnummer an und endet.\n",
          "  -h, --help     Zeigt diese Hilfe an und endet.\n", "xvfb-run -a tachoflux"}},
        {{"-h"}, {"Aufruf: tachoflux", "Tachoflux misst mit zwei Lichtschranken"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Outcome outcome =
            run(QStringLiteral(TACHOFLUX_PROGRAM), row.arguments, withoutDisplay());
        EXPECT_EQ(outcome.exitCode, 0);
        if (row.output.size() == 1 && row.output[0].endsWith('\n'))
            EXPECT_EQ(outcome.out, row.output[0]);
        else
            for (const QString &part : row.output)
                EXPECT_TRUE(outcome.out.contains(part)) << outcome.out.toStdString();
        for (const char *english : {"Usage", "Options", "Displays", "Arguments"})
            EXPECT_FALSE(outcome.out.contains(QLatin1StringView(english))) << english;
        EXPECT_EQ(outcome.err, QString());
    }
}

// "Hilfe" in the real program on a GNOME-style desktop with no browser and no opener: the
// program's own help window appears, with the help file that lies beside the program.
TEST(Program, HilfeShowsTheHelpWindowOnADesktopWithoutBrowser)
{
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xvfb-run and xdotool are needed (scripts/install-deps.sh test)";
    QProcessEnvironment env = withoutDisplay();
    env.insert("LANG", "de_DE.UTF-8");
    const Outcome outcome =
        run("xvfb-run", virtualScreenArguments() << TF_PRESS_HELP << TACHOFLUX_PROGRAM, env);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("Tachoflux – Hilfe")))
        << outcome.out.toStdString();
    EXPECT_FALSE(outcome.out.contains(QStringLiteral("eingebaute Fassung")))
        << outcome.out.toStdString();
}

// The README's run command, with the package installer and the build stubbed: it asks for
// the run set alone, configures without tests and benchmarks, and hands its arguments to
// the program, which answers --version without a display and otherwise says what to do.
TEST(Program, RunScriptInstallsTheRunSetBuildsTheProgramAloneAndRunsIt)
{
    QTemporaryDir tree;
    ASSERT_TRUE(QDir().mkpath(tree.filePath("scripts")));
    ASSERT_TRUE(QDir().mkpath(tree.filePath("bin")));
    ASSERT_TRUE(QFile::copy(TF_SOURCE_DIR "/scripts/run.sh", tree.filePath("scripts/run.sh")));
    const QString log = tree.filePath("log");
    writeScript(tree.filePath("scripts/install-deps.sh"),
                "echo \"install-deps $*\" >>'" + log.toUtf8() + "'\n");
    // The build folder's program is the one built here.
    writeScript(tree.filePath("bin/cmake"),
                "echo \"cmake $*\" >>'" + log.toUtf8() +
                    "'\n"
                    "if [[ $1 == --build ]]; then mkdir -p build/app && ln -sf '" TACHOFLUX_PROGRAM
                    "' build/app/tachoflux; fi\n");
    QProcessEnvironment env = withoutDisplay();
    env.insert("PATH", tree.filePath("bin") + ':' + env.value("PATH"));

    const Outcome version = run("bash", {tree.filePath("scripts/run.sh"), "--version"}, env);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, "Tachoflux 1.02\n");

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList steps = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(steps.size(), 3) << steps.join('\n').toStdString();
    EXPECT_EQ(steps[0], "install-deps run");
    EXPECT_TRUE(steps[1].contains("-DBUILD_TESTING=OFF")) << steps[1].toStdString();
    EXPECT_TRUE(steps[1].contains("-DTACHOFLUX_BUILD_BENCH=OFF")) << steps[1].toStdString();
    EXPECT_TRUE(steps[2].startsWith("cmake --build build --target tachoflux"))
        << steps[2].toStdString();

    const Outcome start = run("bash", {tree.filePath("scripts/run.sh")}, env);
    EXPECT_EQ(start.exitCode, 1);
    EXPECT_TRUE(start.err.contains("xvfb-run -a")) << start.err.toStdString();
}

// The installer's two sets, asked of a machine that has nothing: the run set holds no test
// tool, the test set holds them all. Nothing is installed when the test asks.
TEST(Program, InstallerKeepsTestToolsOutOfTheRunSet)
{
    QTemporaryDir tree;
    ASSERT_TRUE(QDir().mkpath(tree.filePath("bin")));
    writeScript(tree.filePath("bin/dpkg-query"), "exit 1\n");
    writeScript(tree.filePath("bin/apt-get"), "echo apt-get was run >&2; exit 3\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", tree.filePath("bin") + ':' + env.value("PATH"));
    env.insert("TACHOFLUX_SKIP_INSTALL", "1");
    const QString script = QStringLiteral(TF_SOURCE_DIR "/scripts/install-deps.sh");
    const QStringList testTools{"libgtest-dev", "libbenchmark-dev", "stress-ng", "xdotool",
                                "lintian"};
    const QStringList fuzzTools{"clang", "valgrind"};
    const QStringList runNeeds{"cmake",   "ninja-build",  "qt6-base-dev",
                               "gettext", "librsvg2-bin", "qt6-translations-l10n"};

    const Outcome runSet = run("bash", {script, "run"}, env);
    EXPECT_EQ(runSet.exitCode, 0) << runSet.err.toStdString();
    const QStringList runMissing = runSet.err.section(':', -1).simplified().split(' ');
    for (const QString &p : runNeeds)
        EXPECT_TRUE(runMissing.contains(p)) << p.toStdString();
    for (const QString &p : testTools)
        EXPECT_FALSE(runMissing.contains(p)) << p.toStdString();

    const Outcome both = run("bash", {script, "run", "test"}, env);
    EXPECT_EQ(both.exitCode, 0) << both.err.toStdString();
    const QStringList allMissing = both.err.section(':', -1).simplified().split(' ');
    for (const QString &p : runNeeds + testTools)
        EXPECT_TRUE(allMissing.contains(p)) << p.toStdString();
    // The test command needs neither the fuzzers' compiler nor valgrind.
    for (const QString &p : fuzzTools)
        EXPECT_FALSE(allMissing.contains(p)) << p.toStdString();
    EXPECT_FALSE(both.err.contains("apt-get was run"));
    const Outcome tools = run("bash", {script, "tools"}, env);
    for (const QString &p : fuzzTools)
        EXPECT_TRUE(tools.err.contains(p)) << p.toStdString();

    EXPECT_EQ(run("bash", {script, "everything"}, env).exitCode, 2);
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

// SIGTERM while a message of the start-up waits for OK (here: a setting of another type)
// ends the program at once, and the user's stored values stay.
TEST(Program, SigtermDuringAStartUpMessageEndsIt)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const QString hive = config.filePath("tachoflux/registry.reg");
    QDir().mkpath(config.filePath("tachoflux"));
    const QByteArray stored = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Kelvaro / Software / Velox / 1.02\\Settings]\r\n"
                              "\"COMPort\"=dword:00000001\r\n\"Meters\"=\"2500\"\r\n";
    {
        QFile file(hive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(stored);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", config.path());
    env.insert("XDG_DATA_HOME", config.filePath("data"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TACHOFLUX_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());
    // The message waits for OK once the program idles.
    const auto cpuTicks = [&] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(program.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1LL;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        return fields.value(11).toLongLong() + fields.value(12).toLongLong();
    };
    long long last = -2;
    for (int i = 0; i < 120; ++i) {
        QThread::msleep(500);
        const long long now = cpuTicks();
        if (i >= 2 && now == last)
            break;
        last = now;
    }
    ASSERT_EQ(program.state(), QProcess::Running) << "the message was not shown";
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    const QByteArray after = fileBytes(hive);
    EXPECT_TRUE(after.contains("\"COMPort\"=dword:00000001")) << after.toStdString();
    EXPECT_TRUE(after.contains("\"Meters\"=\"2500\"")) << after.toStdString();
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
    script.start("xvfb-run", virtualScreenArguments()
                                 << "bash" << TF_SOURCE_DIR "/tests/app/runs-then-kill.sh"
                                 << TACHOFLUX_PROGRAM << exported);
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
