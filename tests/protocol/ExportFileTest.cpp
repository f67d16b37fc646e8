#include "platform/Errors.h"
#include "protocol/ExportFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

struct stat statOf(const QString &path)
{
    struct stat st{};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// The error number of the export, 0 when it succeeded.
int exportError(const QString &path, const QByteArray &bytes)
{
    try {
        protocol::writeFileReplacing(path, bytes);
        return 0;
    } catch (const platform::EInOutError &e) {
        return e.errorCode();
    }
}

// Runs `action` in a child process; returns its exit status, or 1000 + the signal that
// ended it.
int inChild(const std::function<int()> &action)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(action());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? 1000 + WTERMSIG(status) : WEXITSTATUS(status);
}

class ExportTarget : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                              | QDir::NoDotAndDotDot,
                                          QDir::Name);
    }
};

} // namespace

TEST_F(ExportTarget, ALinkKeepsPointingAtTheFileItResolvesTo)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("data"));
    writeBytes(path("data/real.txt"), "old content");
    ASSERT_TRUE(QFile::link("data/real.txt", path("runs.txt")));     // relative
    ASSERT_TRUE(QFile::link(path("runs.txt"), path("chain.txt")));   // a link to a link
    ASSERT_TRUE(QFile::link("data/later.txt", path("dangling.txt"))); // not there yet

    EXPECT_EQ(exportError(path("runs.txt"), "first"), 0);
    EXPECT_EQ(readAll(path("data/real.txt")), "first");
    EXPECT_EQ(exportError(path("chain.txt"), "second"), 0);
    EXPECT_EQ(readAll(path("data/real.txt")), "second");
    EXPECT_EQ(exportError(path("dangling.txt"), "third"), 0);
    EXPECT_EQ(readAll(path("data/later.txt")), "third");

    for (const char *link : {"runs.txt", "chain.txt", "dangling.txt"})
        EXPECT_TRUE(S_ISLNK(statOf(path(link)).st_mode)) << link;
    EXPECT_EQ(entries(), QStringList({"chain.txt", "dangling.txt", "data", "runs.txt"}));
    EXPECT_EQ(QDir(path("data")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"later.txt", "real.txt"}));
}

TEST_F(ExportTarget, WriteProtectedAndSpecialFilesAreRefusedAndKept)
{
    writeBytes(path("protected.txt"), "keep me");
    ASSERT_EQ(::chmod(QFile::encodeName(path("protected.txt")).constData(), 0444), 0);
    ASSERT_TRUE(QFile::link("protected.txt", path("to-protected.txt")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link("fifo", path("to-fifo.txt")));
    ASSERT_TRUE(QFile::link("/dev/null", path("to-device.txt")));
    const QStringList before = entries();

    for (const char *name : {"protected.txt", "to-protected.txt", "fifo", "to-fifo.txt",
                             "to-device.txt"}) {
        EXPECT_EQ(exportError(path(name), "new"), 5) << name;
    }
    EXPECT_EQ(readAll(path("protected.txt")), "keep me");
    EXPECT_EQ(statOf(path("protected.txt")).st_mode & 07777, 0444u);
    EXPECT_TRUE(S_ISFIFO(statOf(path("fifo")).st_mode));
    EXPECT_TRUE(S_ISCHR(statOf("/dev/null").st_mode));
    EXPECT_EQ(entries(), before);
}

// A file the user may write in a folder that takes no new file: a rewrite in place could
// leave half of it, so the export is refused with the folder named and the file kept.
// Killed at random moments, an export leaves the old file whole or the new one whole,
// in such a folder and in an ordinary one.
TEST_F(ExportTarget, ExportsKilledAtAnyMomentLeaveAWholeFile)
{
    const bool root = ::geteuid() == 0;
    const QByteArray old = QByteArray(200'000, 'o') + "end of the old file";
    const QByteArray fresh = QByteArray(300'000, 'n') + "end of the new file";
    for (const bool shared : {true, false}) {
        const QString folder = path(shared ? "shared" : "own");
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString target = folder + "/runs.txt";
        writeBytes(target, old);
        const QByteArray native = QFile::encodeName(folder);
        // The way an ordinary user meets it: the file is theirs, its folder is not.
        if (root) {
            ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
            ASSERT_EQ(::chown(QFile::encodeName(target).constData(), Nobody, Nobody), 0);
            if (!shared)
                ASSERT_EQ(::chown(native.constData(), Nobody, Nobody), 0);
        } else if (shared) {
            ASSERT_EQ(::chmod(native.constData(), 0555), 0);
        }
        const auto exportAsUser = [&] {
            if (root && (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
                return 200;
            try {
                protocol::writeFileReplacing(target, fresh);
                return 0;
            } catch (const protocol::ExportError &e) {
                const bool named = e.explanation().contains(QString::fromUtf8(native)) &&
                                   e.explanation().contains("runs.txt");
                return named && e.errorCode() == 5 ? 5 : 100;
            }
        };
        EXPECT_EQ(inChild(exportAsUser), shared ? 5 : 0) << shared;
        int fresh_seen = 0;
        for (int round = 0; round < 60; ++round) {
            writeBytes(target, round % 2 ? old : fresh);
            if (root)
                ::chown(QFile::encodeName(target).constData(), Nobody, Nobody);
            const QByteArray before = readAll(target);
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(exportAsUser());
            // From at once to well after a whole export.
            ::usleep(useconds_t(round * 997 % 30000));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            const QByteArray after = readAll(target);
            ASSERT_TRUE(after == old || after == fresh) << "a mixed file, round " << round;
            if (shared)
                ASSERT_EQ(after, before) << round;
            fresh_seen += after == fresh && before == old;
        }
        ::chmod(native.constData(), 0755);
        if (!shared) {
            EXPECT_GT(fresh_seen, 0) << "no export finished before its kill";
        }
    }
}

TEST_F(ExportTarget, AReplacedFileKeepsItsOwnerAndPermissions)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only a privileged process can give a file to another owner";
    const QString target = path("runs.txt");
    writeBytes(target, "old");
    const QByteArray native = QFile::encodeName(target);
    ASSERT_EQ(::chown(native.constData(), Nobody, Nobody), 0);
    ASSERT_EQ(::chmod(native.constData(), 0640), 0);

    EXPECT_EQ(exportError(target, "new"), 0);
    const struct stat st = statOf(target);
    EXPECT_EQ(readAll(target), "new");
    EXPECT_EQ(st.st_uid, Nobody);
    EXPECT_EQ(st.st_gid, Nobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ExportTarget, TheLongestNameTheFolderTakesIsWritten)
{
    const QString longest = QString(251, u'a') + QStringLiteral(".txt");
    EXPECT_EQ(exportError(path(longest), "runs"), 0);
    EXPECT_EQ(readAll(path(longest)), "runs");
    EXPECT_EQ(entries(), QStringList{longest});
    EXPECT_EQ(exportError(path(longest + u'x'), "runs"), 3);
}

TEST_F(ExportTarget, TemporariesOfAKilledExportGoWithTheNextExport)
{
    const QString target = path("runs.txt");
    writeBytes(target, "old");
    // Killed part way through the write, as by kill -9: no clean-up of its own runs.
    const int ended = inChild([&] {
        std::signal(SIGXFSZ, [](int) { std::raise(SIGKILL); });
        rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &small);
        exportError(target, QByteArray(64 * 1024, 'x'));
        return 0;
    });
    ASSERT_EQ(ended, 1000 + SIGKILL);
    const QStringList left = entries();
    ASSERT_EQ(left.size(), 2);
    EXPECT_TRUE(left[0].startsWith(protocol::TemporaryPrefix)) << left[0].toStdString();
    EXPECT_EQ(readAll(target), "old");

    // One of a process that still runs may be an export in progress.
    const QString running =
        QString::fromLatin1(protocol::TemporaryPrefix) + QStringLiteral("1-abcdef");
    writeBytes(path(running), "busy");

    EXPECT_EQ(exportError(target, "new"), 0);
    EXPECT_EQ(readAll(target), "new");
    EXPECT_EQ(entries(), QStringList({running, "runs.txt"}));
}

// Beside the fixed number, every failure explains itself in German with the file and cause.
TEST_F(ExportTarget, FailuresNameTheFileAndTheCause)
{
    const QString target = path("runs.txt");
    writeBytes(target, "old");
    // A file-size limit: the write fails part way.
    const int limited = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &small);
        try {
            protocol::writeFileReplacing(target, QByteArray(64 * 1024, 'x'));
        } catch (const protocol::ExportError &e) {
            return e.explanation() == target + " kann nicht gespeichert werden: die Datei würde "
                                               "größer, als das System diesem Programm erlaubt."
                       ? 0
                       : 1;
        }
        return 2;
    });
    EXPECT_EQ(limited, 0);
    EXPECT_EQ(readAll(target), "old");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0644), 0);
    const struct
    {
        QString target;
        const char *cause;
    } rows[] = {
        {path("missing/runs.txt"), "der Ordner %1/missing fehlt"},
        {path("fifo"), "keine gewöhnliche Datei"},
        {dir.path(), "das ist ein Ordner"},
    };
    for (const auto &row : rows) {
        try {
            protocol::writeFileReplacing(row.target, "x");
            ADD_FAILURE() << row.target.toStdString();
        } catch (const protocol::ExportError &e) {
            EXPECT_TRUE(e.explanation().startsWith(row.target + " kann nicht gespeichert werden: "));
            EXPECT_TRUE(e.explanation().contains(QString::fromUtf8(row.cause).arg(dir.path())))
                << e.explanation().toStdString();
        }
    }
}
