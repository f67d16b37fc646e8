#include "registry/Registry.h"
#include "registry/RegistryStore.h"
#include "comm/SerialPort.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace registry;

namespace {

const char Store[] = "Kelvaro / Software / Velox / 1.02";

class Registry : public ::testing::Test
{
protected:
    void SetUp() override { RegistryStore::takeProblems(); }
    void TearDown() override
    {
        for (HKEY key : m_open)
            RegCloseKey(key);
    }

    HKEY create(const char *path, REGSAM access = KEY_ALL_ACCESS, HKEY parent = HKEY_CURRENT_USER)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, access, &key), ERROR_SUCCESS) << path;
        m_open.push_back(key);
        return key;
    }
    LONG open(const char *path, HKEY *key = nullptr, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY opened = nullptr;
        const LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, path, access, &opened);
        if (opened)
            m_open.push_back(opened);
        if (key)
            *key = opened;
        return status;
    }
    static LONG setString(HKEY key, const char *name, const QByteArray &text)
    {
        return RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE *>(text.constData()),
                              DWORD(text.size() + 1));
    }

    ConfigFolder config;

private:
    std::vector<HKEY> m_open;
};

TEST_F(Registry, HiveLivesInTheUsersConfigFolder)
{
    EXPECT_EQ(RegistryStore::defaultHivePath(), config.hive());
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", "/home/someone");
    for (const char *configHome : {"", "relative/config"}) {
        qputenv("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(RegistryStore::defaultHivePath(), "/home/someone/.config/tachoflux/registry.reg");
    }
    qputenv("HOME", home);
}

// The settings and the port links live in one folder, also where the environment names
// no home: the password database's home folder stands in, never the root folder.
TEST_F(Registry, HiveAndPortLinksShareOneFolderWhateverTheEnvironmentSays)
{
    const passwd *user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    const QString ownHome = QFile::decodeName(user->pw_dir);
    const QByteArray home = qgetenv("HOME");
    for (const char *homeValue : {"/home/someone", ""}) {
        for (const char *configHome : {"", "relative/config"}) {
            SCOPED_TRACE(std::string(homeValue) + " " + configHome);
            qputenv("HOME", homeValue);
            qputenv("XDG_CONFIG_HOME", configHome);
            const QString folder =
                (*homeValue ? QString::fromUtf8(homeValue) : ownHome) + "/.config/tachoflux";
            EXPECT_EQ(RegistryStore::defaultHivePath(), folder + "/registry.reg");
            EXPECT_EQ(comm::DeviceSerialPorts::linkPath(3), folder + "/com3");
        }
    }
    qputenv("HOME", home);
}

TEST_F(Registry, CreatingAKeyStoresItAndTheSlashesSeparateNothing)
{
    DWORD disposition = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Store, KEY_ALL_ACCESS, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "KELVARO / software / Velox / 1.02",
                              KEY_ALL_ACCESS, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    EXPECT_TRUE(config.hiveBytes().startsWith("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_TRUE(
        config.hiveBytes().contains("[HKEY_CURRENT_USER\\Kelvaro / Software / Velox / 1.02]"));
    EXPECT_EQ(QFileInfo(config.hive()).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    EXPECT_EQ(open("Kelvaro "), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("Kelvaro / Software"), ERROR_FILE_NOT_FOUND);

    create("A\\B\\C");
    EXPECT_EQ(open("a\\b"), ERROR_SUCCESS);
}

TEST_F(Registry, BadKeyPathsAreRefused)
{
    const std::pair<QByteArray, LONG> rows[] = {
        {"\\A", ERROR_BAD_PATHNAME},
        {"A\\\\B", ERROR_BAD_PATHNAME},
        {QByteArray(256, 'k'), ERROR_INVALID_PARAMETER},
        {"line\nbreak", ERROR_INVALID_PARAMETER},
    };
    for (const auto &[path, status] : rows) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.constData(), KEY_ALL_ACCESS, &key),
                  status);
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_FALSE(QFileInfo::exists(config.hive()));
}

TEST_F(Registry, QueryTellsTypeAndSizeAndFillsOnlyABufferLargeEnough)
{
    HKEY key = create(Store);
    ASSERT_EQ(setString(key, "COMPort", "150"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "Name", "Schlüssel"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "comport", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);
    BYTE buffer[16] = {};
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "COMPort", &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "COMPort", &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(buffer), int(size)), QByteArray("150", 4));

    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "Name", &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(buffer), int(size)), QByteArray("Schlüssel", 11));
    EXPECT_EQ(RegQueryValueExA(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "COMPort", &type, buffer, nullptr), ERROR_INVALID_PARAMETER);

    const BYTE dword[4] = {1, 0, 0, 0};
    ASSERT_EQ(RegSetValueExA(key, "Count", REG_DWORD, dword, 4), ERROR_SUCCESS);
    EXPECT_TRUE(config.hiveBytes().contains("\"Count\"=dword:00000001\r\n"));
    EXPECT_TRUE(config.hiveBytes().contains("\"COMPort\"=\"150\"\r\n"));
}

TEST_F(Registry, HandlesKeepTheirAccessAndDieWhenClosed)
{
    create(Store);
    HKEY readOnly = nullptr;
    HKEY writeOnly = nullptr;
    ASSERT_EQ(open(Store, &readOnly, KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(open(Store, &writeOnly, KEY_SET_VALUE), ERROR_SUCCESS);
    EXPECT_EQ(setString(readOnly, "v", "1"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setString(writeOnly, "v", "1"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(readOnly, "Sub", KEY_ALL_ACCESS, &sub), ERROR_ACCESS_DENIED);

    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Store, KEY_ALL_ACCESS, &closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setString(closed, "v", "1"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(Registry, EveryCallSeesWhatAnotherInstanceWrote)
{
    HKEY key = create(Store);
    ASSERT_EQ(setString(key, "v", "1"), ERROR_SUCCESS);
    const RegistryStore other(config.hive());
    ASSERT_EQ(other.update([](RegFile &hive) {
        return hive.setValue(QString::fromUtf8(Store), "w", RegValue::string("2"));
    }),
              ERROR_SUCCESS);
    BYTE buffer[8];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "w", nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(buffer), "2");
    ASSERT_EQ(setString(key, "v", "3"), ERROR_SUCCESS);
    RegFile hive;
    ASSERT_EQ(other.read(hive), ERROR_SUCCESS);
    EXPECT_EQ(hive.value(Store, "w")->text(), "2");
    EXPECT_EQ(hive.value(Store, "v")->text(), "3");
}

TEST_F(Registry, DamagedHiveIsKeptAsideReportedOnceAndStartedAfresh)
{
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"1";
    config.writeHive(damaged);
    EXPECT_EQ(open(Store), ERROR_FILE_NOT_FOUND);

    const std::vector<HiveProblem> reports = RegistryStore::takeProblems();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].hivePath, config.hive());
    EXPECT_TRUE(reports[0].reason.contains("line 4")) << reports[0].reason.toStdString();
    EXPECT_TRUE(reports[0].keptAs.startsWith(config.hive() + ".damaged-"));
    QFile kept(reports[0].keptAs);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged);
    EXPECT_TRUE(RegistryStore::takeProblems().empty());

    create(Store);
    EXPECT_TRUE(RegistryStore::takeProblems().empty());
    EXPECT_EQ(QDir(config.folder()).entryList({"registry.reg.damaged-*"}).size(), 1);
}

TEST_F(Registry, ASaveRemovesWhatADeadSaveLeftBehind)
{
    create(Store);
    QFile stale(config.hive() + ".tmp-AbC123");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    create("Other");
    EXPECT_EQ(config.files(), (QStringList{"registry.reg", "registry.reg.lock"}));
}

TEST_F(Registry, AHiveThatCannotBeReadOrWrittenIsLeftAlone)
{
    QDir().mkpath(config.hive());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Store, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(QFileInfo(config.hive()).isDir());
    const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, HiveProblem::NotAFile);
    EXPECT_EQ(problems[0].reason, "a folder");
    QDir().rmdir(config.hive());

    // Lock file replaced by a folder: reads still work, writes fail and change nothing.
    key = create(Store);
    const QByteArray before = config.hiveBytes();
    QFile::remove(config.hive() + ".lock");
    QDir().mkpath(config.hive() + ".lock");
    EXPECT_EQ(setString(key, "v", "1"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open(Store), ERROR_SUCCESS);
    EXPECT_EQ(config.hiveBytes(), before);
}

TEST_F(Registry, AHiveKeptAsALinkIsWrittenAtItsTarget)
{
    QDir().mkpath(config.folder());
    const QString target = config.path() + "/dotfiles-registry.reg";
    ASSERT_TRUE(QFile::link(target, config.hive()));
    create(Store);
    EXPECT_TRUE(QFileInfo(config.hive()).isSymLink());
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Velox"));
}

TEST_F(Registry, ChangesBeyondTheLimitsAreRefusedAndTheFileKept)
{
    HKEY key = create(Store);
    ASSERT_EQ(setString(key, "v", "1"), ERROR_SUCCESS);
    const QByteArray before = config.hiveBytes();

    QStringList names(RegLimits::KeyDepth + 1, QStringLiteral("k"));
    const QByteArray deep = names.join(u'\\').toUtf8();
    HKEY refused = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, deep.constData(), KEY_ALL_ACCESS, &refused),
              ERROR_REGISTRY_QUOTA_LIMIT);
    EXPECT_EQ(refused, nullptr);
    const QByteArray big(RegLimits::ValueSize + 1, 'b');
    EXPECT_EQ(RegSetValueExA(key, "big", REG_BINARY,
                             reinterpret_cast<const BYTE *>(big.constData()), DWORD(big.size())),
              ERROR_REGISTRY_QUOTA_LIMIT);
    EXPECT_EQ(config.hiveBytes(), before);

    const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].kind, HiveProblem::BeyondLimits);
    EXPECT_EQ(problems[0].reason, "key path deeper than 32768 levels");
    EXPECT_EQ(problems[1].reason, "value larger than 1048576 bytes");
    EXPECT_EQ(problems[1].message(), "The settings file " + config.hive() +
                                         " would grow beyond its limits (value larger than "
                                         "1048576 bytes); it was left unchanged and the "
                                         "settings were not saved");

    // One level less is within them.
    names.removeLast();
    const QByteArray allowed = names.join(u'\\').toUtf8();
    create(allowed.constData());
    EXPECT_EQ(open(allowed.constData()), ERROR_SUCCESS);
}

} // namespace
