#include "registry/RegFile.h"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

using namespace platform;
using namespace registry;

namespace {

// Only a hung helper ever runs into this.
constexpr int Patience = 120000;

class RegistryProcesses : public ::testing::Test
{
protected:
    void SetUp() override { RegistryStore::takeProblems(); }

    static void start(QProcess &helper, const QStringList &arguments)
    {
        helper.start(QStringLiteral(TF_REGISTRY_HELPER), arguments);
        ASSERT_TRUE(helper.waitForStarted(Patience));
    }
    static QByteArray readLine(QProcess &helper)
    {
        while (!helper.canReadLine()) {
            if (!helper.waitForReadyRead(Patience))
                return {};
        }
        return helper.readLine().trimmed();
    }
    static void kill(QProcess &helper)
    {
        helper.kill();
        helper.waitForFinished(Patience);
        EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    }
    static void writeNumber(const char *path, int n)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        const QByteArray text = QByteArray::number(n);
        EXPECT_EQ(RegSetValueExA(key, "n", REG_SZ, reinterpret_cast<const BYTE *>(text.constData()),
                                 DWORD(text.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // The hive as it is on disk, which must always be a complete one.
    RegFile hive() const
    {
        QString error;
        std::optional<RegFile> file = RegFile::parse(config.hiveBytes(), &error);
        EXPECT_TRUE(file) << error.toStdString();
        return file.value_or(RegFile());
    }
    QString number(const QString &key) const
    {
        const RegFile file = hive();
        const RegValue *value = file.value(key, QStringLiteral("n"));
        return value ? value->text() : QStringLiteral("(missing)");
    }

    ConfigFolder config;
};

TEST_F(RegistryProcesses, ASaveKilledBeforeItsRenameLeavesThePreviousHive)
{
    writeNumber("Before", 7);
    const QByteArray before = config.hiveBytes();
    QProcess helper;
    start(helper, {QStringLiteral("hold"), QStringLiteral("During")});
    ASSERT_EQ(readLine(helper), "at-hook");

    // Its new hive is written in full beside the old one, which readers still see.
    EXPECT_EQ(config.files().filter(QStringLiteral("registry.reg.tmp-")).size(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "During", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    kill(helper);
    EXPECT_EQ(config.hiveBytes(), before);

    writeNumber("After", 1);
    EXPECT_EQ(config.files(), (QStringList{"registry.reg", "registry.reg.lock"}));
    EXPECT_EQ(hive().keys(), (QStringList{"", "After", "Before"}));
    EXPECT_EQ(number("Before"), "7");
    EXPECT_TRUE(RegistryStore::takeProblems().empty());
}

TEST_F(RegistryProcesses, SavesKilledAnywhereLeaveACompleteHive)
{
    writeNumber("Before", 7);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QProcess helper;
        start(helper, {QStringLiteral("loop"), QStringLiteral("Loop")});
        ASSERT_EQ(readLine(helper), "running");
        kill(helper);
        EXPECT_EQ(number("Before"), "7");
        bool numeric = false;
        number("Loop").toInt(&numeric);
        EXPECT_TRUE(numeric) << number("Loop").toStdString();
    }
    writeNumber("After", 1);
    EXPECT_EQ(number("After"), "1");
    EXPECT_TRUE(RegistryStore::takeProblems().empty());
}

TEST_F(RegistryProcesses, TwoInstancesSavingAtOnceLoseNoValue)
{
    constexpr int Count = 60;
    QProcess first;
    QProcess second;
    start(first, {QStringLiteral("writer"), QStringLiteral("First"), QString::number(Count)});
    start(second, {QStringLiteral("writer"), QStringLiteral("Second"), QString::number(Count)});
    for (QProcess *helper : {&first, &second}) {
        helper->write("go\n");
        ASSERT_TRUE(helper->waitForBytesWritten(Patience));
    }
    for (QProcess *helper : {&first, &second}) {
        EXPECT_EQ(readLine(*helper), "done");
        ASSERT_TRUE(helper->waitForFinished(Patience));
        EXPECT_EQ(helper->exitCode(), 0);
    }
    const RegFile file = hive();
    for (int i = 1; i <= Count; ++i) {
        for (const QString &name : {QStringLiteral("First"), QStringLiteral("Second")}) {
            const RegValue *value =
                file.value(name + u'\\' + QString::number(i), QStringLiteral("n"));
            ASSERT_TRUE(value) << name.toStdString() << " " << i;
            EXPECT_EQ(value->text(), QString::number(i));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
