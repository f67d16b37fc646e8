#include "platform/Files.h"
#include "platform/ProcessSignals.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::Refusal;

TEST(Files, FolderOfAndRefusalsCoverTheirEdges)
{
    const std::pair<const char *, const char *> folders[] = {
        {"name", "."}, {"/name", "/"}, {"/a/b", "/a"}, {"a/b/c", "a/b"}, {"a/", "a"}};
    for (const auto &[path, folder] : folders)
        EXPECT_EQ(platform::folderOf(path), folder) << path;

    const std::pair<int, Refusal> refusals[] = {
        {ENOENT, Refusal::Missing},    {ENOTDIR, Refusal::Missing},   {EINVAL, Refusal::BadName},
        {ENAMETOOLONG, Refusal::BadName}, {EMFILE, Refusal::TooManyFiles},
        {EACCES, Refusal::Denied},     {EROFS, Refusal::Denied},      {ETXTBSY, Refusal::Denied},
        {ENOSPC, Refusal::Full},       {EFBIG, Refusal::Full},        {ENOMEM, Refusal::NoMemory},
        {EIO, Refusal::Other}};
    for (const auto &[error, refusal] : refusals)
        EXPECT_EQ(platform::refusalOf(error), refusal) << error;
}

TEST(Files, FollowLinksEndsAtWhatNoLinkNamesAndRefusesALoop)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
    QDir().mkdir(dir.filePath("sub"));
    ASSERT_EQ(::symlink("file", root + "/relative"), 0);
    ASSERT_EQ(::symlink(root + "/relative", root + "/absolute"), 0);
    ASSERT_EQ(::symlink("../file", root + "/sub/up"), 0);
    ASSERT_EQ(::symlink("gone", root + "/dangling"), 0);
    ASSERT_EQ(::symlink("loop", root + "/loop"), 0);

    const std::pair<const char *, QByteArray> rows[] = {
        {"/file", root + "/file"},       {"/relative", root + "/file"},
        {"/absolute", root + "/file"},   {"/sub/up", root + "/sub/../file"},
        {"/dangling", root + "/gone"},   {"/missing", root + "/missing"}};
    for (const auto &[name, expected] : rows) {
        const std::optional<QByteArray> followed = platform::followLinks(root + name);
        ASSERT_TRUE(followed) << name;
        EXPECT_EQ(*followed, expected) << name;
    }
    errno = 0;
    EXPECT_FALSE(platform::followLinks(root + "/loop"));
    EXPECT_EQ(errno, ELOOP);
}

TEST(Files, StaleTemporariesAreThoseOfEndedProcessesOrAllUnderALock)
{
    QTemporaryDir dir;
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    const QString deadName = ".t-" + QString::number(ended) + "-abc";
    const QString liveName = ".t-" + QString::number(::getppid()) + "-abc";
    const QStringList names = {deadName, liveName, ".t-x-abc", ".t-nodash", "other"};
    for (const QString &name : names)
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    QDir().mkdir(dir.filePath(".t-1-folder"));

    const QByteArray folder = QFile::encodeName(dir.path());
    platform::removeStaleTemporaries(folder, ".t-");
    const auto left = [&] {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                          QDir::Name);
    };
    EXPECT_EQ(left(), QStringList({".t-1-folder", liveName, ".t-nodash", ".t-x-abc", "other"}));
    platform::removeStaleTemporaries(folder, ".t-", true);
    EXPECT_EQ(left(), QStringList({".t-1-folder", "other"}));
}

TEST(Files, ReadFullyReadsAcrossTheFileAndRefusesShortFiles)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("bytes"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray bytes = QByteArray(70000, 'a') + "tail";
    file.write(bytes);
    file.close();
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    QByteArray out(4, '\0');
    EXPECT_TRUE(platform::readFully(fd, out.data(), 70000, 4));
    EXPECT_EQ(out, "tail");
    errno = 0;
    EXPECT_FALSE(platform::readFully(fd, out.data(), 70002, 4));
    EXPECT_EQ(errno, EIO);
    ::close(fd);
}

TEST(ProcessSignals, AThreadStartsWithSignalsBlockedAndTheCallerKeepsItsMask)
{
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    bool termBlocked = false;
    platform::startWithSignalsBlocked([&] {
        sigset_t own;
        pthread_sigmask(SIG_SETMASK, nullptr, &own);
        termBlocked = sigismember(&own, SIGTERM) == 1;
    }).join();
    EXPECT_TRUE(termBlocked);
    sigset_t after;
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    EXPECT_EQ(sigismember(&after, SIGTERM), sigismember(&before, SIGTERM));
}

// A side file is read only when it is a regular file within its bound, and says why not.
TEST(SideFile, OnlyRegularFilesWithinTheBound)
{
    QTemporaryDir dir;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    };
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const struct
    {
        QString path;
        QByteArray bytes;
        const char *error; // empty: read
    } rows[] = {
        {write("small", "help"), "help", ""},
        {write("empty", ""), "", ""},
        {write("bound", QByteArray(100, 'x')), QByteArray(100, 'x'), ""},
        {write("big", QByteArray(101, 'x')), "", "größer als"},
        {fifo, "", "keine gewöhnliche Datei"},
        {zero, "", "keine gewöhnliche Datei"},
        {dir.path(), "", "ein Ordner"},
        {dir.filePath("missing"), "", "kann nicht gelesen werden"},
    };
    for (const auto &row : rows) {
        const platform::SideFile file = platform::readSideFile(row.path, 100);
        EXPECT_EQ(file.bytes, row.bytes) << row.path.toStdString();
        if (*row.error == 0) {
            EXPECT_TRUE(file.error.isEmpty()) << file.error.toStdString();
        } else {
            EXPECT_TRUE(file.error.startsWith(row.path + " kann nicht gelesen werden: "))
                << file.error.toStdString();
            EXPECT_TRUE(file.error.contains(QString::fromUtf8(row.error))) << file.error.toStdString();
        }
    }
}
