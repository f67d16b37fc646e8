#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace registry;

namespace {

const char Store[] = "Kelvaro / Software / Velox / 1.02";

// What stands at the hive's path, and what the program may do with it.
class HiveFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(config.folder());
        RegistryStore::takeProblems();
    }

    QString at(const QString &name) const { return config.folder() + u'/' + name; }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static LONG setString(const char *path, const char *name, const QByteArray &text)
    {
        HKEY key = nullptr;
        LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, &key);
        if (status != ERROR_SUCCESS)
            return status;
        status = RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE *>(text.constData()),
                                DWORD(text.size() + 1));
        RegCloseKey(key);
        return status;
    }
    // Reads the hive on another thread, so that a read that blocks fails the test instead
    // of hanging it; a writer opened on the pipe sets such a read free.
    LONG readWithin(const QString &pipe)
    {
        auto reading = std::async(std::launch::async, [this] {
            RegFile hive;
            return RegistryStore(config.hive()).read(hive);
        });
        if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "the read blocked";
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        return reading.get();
    }

    ConfigFolder config;
};

struct SpecialRow
{
    const char *what;
    const char *reason;
};

TEST_F(HiveFile, APipeOrADeviceInPlaceOfTheHiveIsNeverOpenedNorReplaced)
{
    const QString pipe = at("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // The pipe itself, a link to it, a chain of links to it, and devices that a reader
    // would wait on forever or read without end.
    const std::pair<QString, const char *> rows[] = {
        {QString(), "a named pipe"},
        {pipe, "a named pipe"},
        {at("link-to-pipe"), "a named pipe"},
        {"/dev/zero", "a device"},
        {"/dev/null", "a device"},
    };
    ASSERT_TRUE(QFile::link(pipe, at("link-to-pipe")));
    for (const auto &[target, reason] : rows) {
        SCOPED_TRACE(target.toStdString());
        QFile::remove(config.hive());
        if (target.isEmpty())
            ASSERT_EQ(::mkfifo(QFile::encodeName(config.hive()).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link(target, config.hive()));

        EXPECT_EQ(readWithin(target.isEmpty() ? config.hive() : pipe), ERROR_ACCESS_DENIED);
        EXPECT_NE(setString(Store, "v", "1"), ERROR_SUCCESS);
        const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
        ASSERT_FALSE(problems.empty());
        for (const HiveProblem &problem : problems) {
            EXPECT_EQ(problem.kind, HiveProblem::NotAFile);
            EXPECT_EQ(problem.reason, reason);
        }
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(QFile::encodeName(config.hive()).constData(), &info), 0);
        EXPECT_EQ(S_ISLNK(info.st_mode), !target.isEmpty());
    }
    EXPECT_TRUE(QDir(config.folder()).entryList({"*.damaged-*", "*.tmp-*"}).isEmpty());
}

TEST_F(HiveFile, AChainOfLinksIsFollowedToTheFileAtItsEnd)
{
    QDir().mkpath(config.path() + "/dotfiles/deeper");
    const QString real = config.path() + "/dotfiles/deeper/registry.reg";
    // Relative and absolute links, one through a linked folder.
    ASSERT_TRUE(QFile::link(config.path() + "/dotfiles", at("dots")));
    ASSERT_TRUE(QFile::link("dots/deeper/registry.reg", at("second")));
    ASSERT_TRUE(QFile::link(at("second"), at("first")));
    ASSERT_TRUE(QFile::link("first", config.hive()));

    ASSERT_EQ(setString(Store, "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(setString(Store, "v", "2"), ERROR_SUCCESS);
    for (const QString &link : {config.hive(), at("first"), at("second"), at("dots")})
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << link.toStdString();
    EXPECT_TRUE(contents(real).contains("\"v\"=\"2\""));

    RegFile hive;
    ASSERT_EQ(RegistryStore(config.hive()).read(hive), ERROR_SUCCESS);
    EXPECT_EQ(hive.value(Store, "v")->text(), "2");
    EXPECT_TRUE(RegistryStore::takeProblems().empty());
}

TEST_F(HiveFile, ALoopOfLinksIsReportedAndLeftAlone)
{
    ASSERT_TRUE(QFile::link("other", config.hive()));
    ASSERT_TRUE(QFile::link("registry.reg", at("other")));
    RegFile hive;
    EXPECT_EQ(RegistryStore(config.hive()).read(hive), ERROR_CANT_RESOLVE_FILENAME);
    EXPECT_NE(setString(Store, "v", "1"), ERROR_SUCCESS);
    const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].reason, "a loop of links");
    EXPECT_TRUE(QFileInfo(config.hive()).isSymLink());
    EXPECT_TRUE(QFileInfo(at("other")).isSymLink());
}

TEST_F(HiveFile, AFileThatIsNoHiveIsLeftAloneEvenBehindALink)
{
    const QString notes = config.path() + "/notes.txt";
    const QByteArray text = "Shopping: milk, bread\n";
    write(notes, text);
    ASSERT_TRUE(QFile::link(notes, config.hive()));

    EXPECT_EQ(setString(Store, "v", "1"), ERROR_BADDB);
    RegFile hive;
    EXPECT_EQ(RegistryStore(config.hive()).read(hive), ERROR_BADDB);
    EXPECT_EQ(contents(notes), text);
    EXPECT_TRUE(QFileInfo(config.hive()).isSymLink());
    EXPECT_TRUE(QDir(config.path()).entryList({"*.damaged-*"}).isEmpty());
    const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].kind, HiveProblem::NotASettingsFile);
    EXPECT_EQ(problems[0].file, notes);
    EXPECT_EQ(problems[0].reason, "line 1: no registry file header");

    // A damaged hive behind the same link is one: it is kept aside beside its target.
    const QByteArray damaged = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K";
    write(notes, damaged);
    ASSERT_EQ(setString(Store, "v", "1"), ERROR_SUCCESS);
    const QStringList kept = QDir(config.path()).entryList({"notes.txt.damaged-*"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(contents(config.path() + u'/' + kept[0]), damaged);
    EXPECT_TRUE(QFileInfo(config.hive()).isSymLink());
    EXPECT_TRUE(contents(notes).contains("Velox"));
}

TEST_F(HiveFile, TheLockFileIsNeverOpenedThroughALink)
{
    ASSERT_EQ(setString(Store, "v", "1"), ERROR_SUCCESS);
    const QByteArray before = config.hiveBytes();
    const QString elsewhere = config.path() + "/elsewhere";
    QFile::remove(config.hive() + ".lock");
    ASSERT_TRUE(QFile::link(elsewhere, config.hive() + ".lock"));

    EXPECT_EQ(setString(Store, "v", "2"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
    EXPECT_EQ(config.hiveBytes(), before);
    const std::vector<HiveProblem> problems = RegistryStore::takeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, HiveProblem::LockRefused);
    EXPECT_EQ(problems[0].file, config.hive() + ".lock");

    // The same for a link to an existing file, which keeps what it holds.
    write(elsewhere, "mine");
    EXPECT_EQ(setString(Store, "v", "2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(contents(elsewhere), "mine");
}

TEST_F(HiveFile, AnEmptyFileIsAnEmptyHive)
{
    write(config.hive(), QByteArray());
    ASSERT_EQ(setString(Store, "v", "1"), ERROR_SUCCESS);
    EXPECT_TRUE(config.hiveBytes().contains("Velox"));
    EXPECT_TRUE(RegistryStore::takeProblems().empty());
}

// A save replaces the whole file: a new hive is private to the user, one whose mode the
// user chose keeps it, and no temporary stays behind.
TEST_F(HiveFile, ASaveKeepsTheModeTheUserGaveTheHive)
{
    const auto mode = [this] {
        struct stat info{};
        EXPECT_EQ(::stat(QFile::encodeName(config.hive()).constData(), &info), 0);
        return info.st_mode & 07777;
    };
    ASSERT_EQ(setString(Store, "v", "1"), ERROR_SUCCESS);
    EXPECT_EQ(mode(), 0600u);
    ASSERT_EQ(::chmod(QFile::encodeName(config.hive()).constData(), 0640), 0);
    ASSERT_EQ(setString(Store, "v", "2"), ERROR_SUCCESS);
    EXPECT_EQ(mode(), 0640u);
    EXPECT_TRUE(config.hiveBytes().contains("\"v\"=\"2\""));
    for (const QString &name : config.files())
        EXPECT_FALSE(name.contains(".tmp-")) << name.toStdString();
}

} // namespace
