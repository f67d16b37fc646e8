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
