#include "registry/RegistryStore.h"

#include "platform/Files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry {

namespace {

std::mutex &stateMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<HiveProblem> &problemReports()
{
    static std::vector<HiveProblem> reports;
    return reports;
}

std::function<void()> &beforeReplaceHook()
{
    static std::function<void()> hook;
    return hook;
}

thread_local SystemFailure t_failure;

// `file` is what the system refused; the user learns the system's reason and the file.
LONG statusFromErrno(int error, LONG fallback, const QString &file)
{
    t_failure = {error, file};
    switch (platform::refusalOf(error)) {
    case platform::Refusal::Denied:
        return ERROR_ACCESS_DENIED;
    case platform::Refusal::Full:
        return ERROR_DISK_FULL;
    case platform::Refusal::NoMemory:
        return ERROR_OUTOFMEMORY;
    case platform::Refusal::Missing:
        return ERROR_PATH_NOT_FOUND;
    case platform::Refusal::BadName:
    case platform::Refusal::TooManyFiles:
    case platform::Refusal::Other:
        break;
    }
    return fallback;
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

int openRetrying(const QByteArray &path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The folder and its missing parents, private to the user as a config folder should be.
LONG makeFolder(const QString &folder)
{
    const QStringList parts = QDir::cleanPath(folder).split(u'/');
    QString prefix;
    for (const QString &part : parts) {
        prefix += part;
        if (!prefix.isEmpty()) {
            const QByteArray name = native(prefix);
            struct stat info
            {
            };
            if (::stat(name.constData(), &info) != 0) {
                if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
                    return statusFromErrno(errno, ERROR_WRITE_FAULT, prefix);
            } else if (!S_ISDIR(info.st_mode)) {
                return statusFromErrno(ENOTDIR, ERROR_PATH_NOT_FOUND, prefix);
            }
        }
        prefix += u'/';
    }
    return ERROR_SUCCESS;
}

void syncFolder(const QString &folder)
{
    platform::syncFolder(native(folder));
}

// The file that `path` stands for: links followed to the end, as the kernel would, and
// the folders made canonical. The last name may be missing (a hive not yet written).
LONG resolve(const QString &path, QString &file)
{
    const std::optional<QByteArray> followed = platform::followLinks(native(path));
    if (!followed) {
        if (errno == ELOOP)
            return ERROR_CANT_RESOLVE_FILENAME;
        return statusFromErrno(errno, ERROR_READ_FAULT, path);
    }
    const QByteArray &current = *followed;
    struct stat info
    {
    };
    if (::lstat(current.constData(), &info) != 0) {
        if (errno != ENOENT)
            return statusFromErrno(errno, ERROR_READ_FAULT, QFile::decodeName(current));
        char *real = ::realpath(platform::folderOf(current).constData(), nullptr);
        if (!real) {
            // Not even the folder is there: nothing to read, and writing makes it.
            file = QFile::decodeName(current);
            return ERROR_SUCCESS;
        }
        file = QFile::decodeName(QByteArray(real) + '/'
                                 + current.mid(current.lastIndexOf('/') + 1));
        std::free(real);
        if (file.startsWith(QStringLiteral("//")))
            file.remove(0, 1);
        return ERROR_SUCCESS;
    }
    char *real = ::realpath(current.constData(), nullptr);
    if (!real)
        return statusFromErrno(errno, ERROR_READ_FAULT, QFile::decodeName(current));
    file = QFile::decodeName(real);
    std::free(real);
    return ERROR_SUCCESS;
}

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return regText("a named pipe");
    if (S_ISDIR(mode))
        return regText("a folder");
    if (S_ISSOCK(mode))
        return regText("a socket");
    return regText("a device");
}

struct Loaded
{
    enum State { Read, Failed, Damaged, Foreign, NotAFile };
    State state = Read;
    LONG status = ERROR_SUCCESS;
    QString reason;
};

Loaded failed(LONG status)
{
    return {Loaded::Failed, status, QString()};
}

// Bytes that are no hive are damaged only if they mean to be one.
Loaded unreadable(const QByteArray &bytes, const QString &reason)
{
    if (RegFile::hasHeader(bytes))
        return {Loaded::Damaged, ERROR_BADDB, reason};
    return {Loaded::Foreign, ERROR_BADDB, reason};
}

// Never blocks: anything but a regular file is refused before it is opened, and the file
// opened is checked again, in case it was swapped meanwhile.
Loaded loadHive(const QString &file, RegFile &hive)
{
    hive = RegFile();
    const QByteArray name = native(file);
    struct stat info
    {
    };
    if (::lstat(name.constData(), &info) != 0) {
        if (errno == ENOENT)
            return {};
        return failed(statusFromErrno(errno, ERROR_READ_FAULT, file));
    }
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
        return {Loaded::NotAFile, ERROR_ACCESS_DENIED, kindOf(info.st_mode)};
    const platform::FileDescriptor fd(
        openRetrying(name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return {};
        // ELOOP: it turned into a link since its path was resolved.
        return failed(statusFromErrno(errno, ERROR_ACCESS_DENIED, file));
    }
    if (::fstat(fd.get(), &info) != 0)
        return failed(statusFromErrno(errno, ERROR_READ_FAULT, file));
    if (!S_ISREG(info.st_mode))
        return {Loaded::NotAFile, ERROR_ACCESS_DENIED, kindOf(info.st_mode)};

    QByteArray bytes;
    bytes.reserve(qsizetype(std::min<qint64>(info.st_size, RegLimits::FileSize) + 1));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(statusFromErrno(errno, ERROR_READ_FAULT, file));
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > RegLimits::FileSize)
            return unreadable(bytes, describeLimit(RegLimit::FileSize));
    }
    if (bytes.isEmpty())
        return {};
    RegFileError error;
    std::optional<RegFile> parsed = RegFile::parse(bytes, &error);
    if (!parsed)
        return unreadable(bytes, error.text());
    hive = std::move(*parsed);
    return {};
}

// Called with the lock held, so no other instance names or moves files meanwhile; the
// new name is never one that exists, even if something made it since it was chosen.
LONG keepAside(const QString &hivePath, const QString &file, const QString &reason)
{
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = file + QStringLiteral(".damaged-") + stamp;
    QString kept = base;
    int result = -1;
    for (int n = 2; n < 1000; ++n) {
        result = ::renameat2(AT_FDCWD, native(file).constData(), AT_FDCWD, native(kept).constData(),
                             RENAME_NOREPLACE);
        if (result == 0 || errno != EEXIST)
            break;
        kept = base + u'-' + QString::number(n);
    }
    if (result != 0 && errno == EINVAL) {
        // A file system without RENAME_NOREPLACE: the lock keeps our instances apart.
        struct stat info
        {
        };
        for (int n = 2; ::lstat(native(kept).constData(), &info) == 0; ++n)
            kept = base + u'-' + QString::number(n);
        result = ::rename(native(file).constData(), native(kept).constData());
    }
    if (result != 0) {
        RegistryStore::report({HiveProblem::NotMoved, hivePath, file, QString(), reason});
        return ERROR_BADDB;
    }
    syncFolder(QFileInfo(file).absolutePath());
    RegistryStore::report({HiveProblem::KeptAside, hivePath, file, kept, reason});
    return ERROR_SUCCESS;
}

LONG writeHive(const QString &file, const QByteArray &bytes)
{
    platform::ReplaceOptions options;
    options.temporaryTemplate = native(file + QStringLiteral(".tmp-XXXXXX"));
    options.beforeRename = [] {
        std::function<void()> hook;
        {
            const std::lock_guard<std::mutex> guard(stateMutex());
            hook = beforeReplaceHook();
        }
        if (hook)
            hook();
    };
    const QByteArray target = native(file);
    struct stat existing
    {
    };
    const bool exists = ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (const platform::ReplaceResult result =
            platform::replaceFile(target, exists ? &existing : nullptr, bytes, options);
        !result)
        return statusFromErrno(result.error, ERROR_WRITE_FAULT, file);
    return ERROR_SUCCESS;
}

// Opens and takes the lock that one instance holds while it reads, changes and writes
// the hive; -1 if it could not. A link or anything but a regular file in its place is
// left alone and reported.
int takeLock(const QString &hivePath, LONG &status)
{
    const QString path = hivePath + QStringLiteral(".lock");
    platform::FileDescriptor fd(
        openRetrying(native(path), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600));
    struct stat info
    {
    };
    const bool opened = fd.valid();
    if (!opened && errno != ELOOP && errno != EISDIR) {
        status = statusFromErrno(errno, ERROR_ACCESS_DENIED, path);
        return -1;
    }
    if (!opened || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        RegistryStore::report({HiveProblem::LockRefused, hivePath, path, QString(), QString()});
        status = ERROR_ACCESS_DENIED;
        return -1;
    }
    int result;
    do {
        result = ::flock(fd.get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        status = statusFromErrno(errno, ERROR_ACCESS_DENIED, path);
        return -1;
    }
    status = ERROR_SUCCESS;
    const int lock = fd.get();
    fd.release();
    return lock;
}

// Reports a file that is left alone; the status to give for it.
LONG reportLeftAlone(const QString &hivePath, const QString &file, const Loaded &loaded)
{
    RegistryStore::report(
        {loaded.state == Loaded::NotAFile ? HiveProblem::NotAFile : HiveProblem::NotASettingsFile,
         hivePath, file, QString(), loaded.reason});
    return loaded.status;
}

} // namespace

QString HiveProblem::message() const
{
    switch (kind) {
    case KeptAside:
        return regText("The settings file %s is damaged (%s). It was kept as %s and a new file "
                       "was started",
                       {hivePath, reason, keptAs});
    case NotMoved:
        return regText("The settings file %s is damaged (%s) and could not be moved aside; it "
                       "was left unchanged",
                       {hivePath, reason});
    case NotASettingsFile:
        return regText("The file %s in place of the settings file is no settings file (%s); it "
                       "was left as it is and no settings were read or saved",
                       {file, reason});
    case NotAFile:
        return regText("The settings file %s is no regular file but %s; it was left as it is "
                       "and no settings were read or saved",
                       {file, reason});
    case LockRefused:
        return regText("The lock file %s of the settings is a link or no regular file; it was "
                       "left as it is and no settings were saved",
                       {file});
    case BeyondLimits:
        return regText("The settings file %s would grow beyond its limits (%s); it was left "
                       "unchanged and the settings were not saved",
                       {hivePath, reason});
    }
    return {};
}

RegistryStore::RegistryStore(QString hivePath) : m_path(std::move(hivePath)) {}

QString RegistryStore::defaultHivePath()
{
    const QString folder = platform::configFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/registry.reg");
}

LONG RegistryStore::read(RegFile &hive) const
{
    hive = RegFile();
    if (m_path.isEmpty())
        return ERROR_PATH_NOT_FOUND;
    QString file;
    if (const LONG status = resolve(m_path, file); status != ERROR_SUCCESS) {
        if (status == ERROR_CANT_RESOLVE_FILENAME)
            report({HiveProblem::NotAFile, m_path, m_path, QString(), regText("a loop of links")});
        return status;
    }
    const Loaded loaded = loadHive(file, hive);
    switch (loaded.state) {
    case Loaded::Read:
    case Loaded::Failed:
        return loaded.status;
    case Loaded::Foreign:
    case Loaded::NotAFile:
        return reportLeftAlone(m_path, file, loaded);
    case Loaded::Damaged:
        break;
    }
    // Only under the lock may the file be moved: another instance may be replacing it.
    LockedHive locked(*this);
    hive = locked.hive();
    return locked.status();
}

LONG RegistryStore::update(const std::function<bool(RegFile &)> &change) const
{
    LockedHive locked(*this);
    if (locked.status() != ERROR_SUCCESS)
        return locked.status();
    if (locked.writeStatus() != ERROR_SUCCESS)
        return locked.writeStatus();
    if (!change(locked.hive()))
        return ERROR_SUCCESS;
    return locked.write();
}

SystemFailure takeSystemFailure()
{
    return std::exchange(t_failure, {});
}

std::vector<HiveProblem> RegistryStore::takeProblems()
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    return std::exchange(problemReports(), {});
}

void RegistryStore::report(HiveProblem problem)
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    problemReports().push_back(std::move(problem));
}

void RegistryStore::setBeforeReplaceHook(std::function<void()> hook)
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    beforeReplaceHook() = std::move(hook);
}

LockedHive::LockedHive(const RegistryStore &store) : m_hivePath(store.path())
{
    if (m_hivePath.isEmpty()) {
        m_status = m_writeStatus = ERROR_PATH_NOT_FOUND;
        return;
    }
    m_writeStatus = makeFolder(QFileInfo(m_hivePath).absolutePath());
    if (m_writeStatus == ERROR_SUCCESS)
        m_lock.reset(takeLock(m_hivePath, m_writeStatus));
    if (const LONG status = resolve(m_hivePath, m_file); status != ERROR_SUCCESS) {
        if (status == ERROR_CANT_RESOLVE_FILENAME)
            RegistryStore::report({HiveProblem::NotAFile, m_hivePath, m_hivePath, QString(),
                                   regText("a loop of links")});
        m_status = m_writeStatus = status;
        return;
    }
    if (m_lock.valid()) {
        // Under the lock no other save runs: every temporary is one a dead save left behind.
        const QByteArray file = native(m_file);
        platform::removeStaleTemporaries(platform::folderOf(file),
                                         file.mid(file.lastIndexOf('/') + 1) + ".tmp-", true);
    }
    const Loaded loaded = loadHive(m_file, m_hive);
    switch (loaded.state) {
    case Loaded::Read:
        return;
    case Loaded::Failed:
        m_status = m_writeStatus = loaded.status;
        return;
    case Loaded::Foreign:
    case Loaded::NotAFile:
        m_status = m_writeStatus = reportLeftAlone(m_hivePath, m_file, loaded);
        return;
    case Loaded::Damaged:
        if (!m_lock.valid()) {
            RegistryStore::report(
                {HiveProblem::NotMoved, m_hivePath, m_file, QString(), loaded.reason});
            m_status = m_writeStatus = ERROR_BADDB;
        } else if (const LONG status = keepAside(m_hivePath, m_file, loaded.reason);
                   status != ERROR_SUCCESS) {
            m_status = m_writeStatus = status;
        }
        return;
    }
}

// Closing the descriptor releases the lock.
LockedHive::~LockedHive() = default;

LONG LockedHive::write()
{
    if (m_writeStatus != ERROR_SUCCESS)
        return m_writeStatus;
    const std::optional<QByteArray> bytes = m_hive.serialize(RegLimits::FileSize);
    if (!bytes) {
        RegistryStore::report({HiveProblem::BeyondLimits, m_hivePath, m_file, QString(),
                               describeLimit(RegLimit::FileSize)});
        return ERROR_REGISTRY_QUOTA_LIMIT;
    }
    return writeHive(m_file, *bytes);
}

} // namespace registry
