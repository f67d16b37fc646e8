#include "platform/RegistryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qint64 MaxHiveSize = 16 * 1024 * 1024;

std::mutex &stateMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<HiveDamage> &damageReports()
{
    static std::vector<HiveDamage> reports;
    return reports;
}

std::function<void()> &beforeReplaceHook()
{
    static std::function<void()> hook;
    return hook;
}

LONG statusFromErrno(int error, LONG fallback)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    default:
        return fallback;
    }
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, so that a failing close (a late write error) is seen.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void reset() { close(); }

private:
    int m_fd;
};

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

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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
                    return statusFromErrno(errno, ERROR_WRITE_FAULT);
            } else if (!S_ISDIR(info.st_mode)) {
                return ERROR_PATH_NOT_FOUND;
            }
        }
        prefix += u'/';
    }
    return ERROR_SUCCESS;
}

void syncFolder(const QString &folder)
{
    const FileDescriptor fd(openRetrying(native(folder), O_RDONLY | O_DIRECTORY));
    if (fd.valid())
        ::fsync(fd.get());
}

// A hive kept as a symbolic link (a managed dotfile) is replaced at its target.
QString fileBehind(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? info.symLinkTarget() : path;
}

struct Loaded
{
    LONG status = ERROR_SUCCESS;
    bool damaged = false;
    QString reason;
};

Loaded failed(LONG status)
{
    return {status, false, QString()};
}

Loaded damaged(const QString &reason)
{
    return {ERROR_BADDB, true, reason};
}

Loaded loadHive(const QString &file, RegFile &hive)
{
    hive = RegFile();
    const FileDescriptor fd(openRetrying(native(file), O_RDONLY));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return {};
        return failed(statusFromErrno(errno, ERROR_READ_FAULT));
    }
    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0)
        return failed(statusFromErrno(errno, ERROR_READ_FAULT));
    if (!S_ISREG(info.st_mode))
        return failed(ERROR_ACCESS_DENIED);
    if (info.st_size > MaxHiveSize)
        return damaged(QStringLiteral("larger than 16 MiB"));

    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(statusFromErrno(errno, ERROR_READ_FAULT));
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > MaxHiveSize)
            return damaged(QStringLiteral("larger than 16 MiB"));
    }
    QString reason;
    std::optional<RegFile> parsed = RegFile::parse(bytes, &reason);
    if (!parsed)
        return damaged(reason);
    hive = std::move(*parsed);
    return {};
}

void report(HiveDamage damage)
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    damageReports().push_back(std::move(damage));
}

// Called with the lock held, so no other instance names or moves files meanwhile.
LONG keepAside(const QString &hivePath, const QString &file, const QString &reason)
{
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = file + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = file + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (::rename(native(file).constData(), native(kept).constData()) != 0) {
        report({hivePath, QString(), reason});
        return ERROR_BADDB;
    }
    syncFolder(QFileInfo(file).absolutePath());
    report({hivePath, kept, reason});
    return ERROR_SUCCESS;
}

// Left behind by an instance that died in the middle of a save.
void removeStaleTemporaries(const QString &file)
{
    const QFileInfo info(file);
    QDir folder = info.absoluteDir();
    const QStringList stale = folder.entryList({info.fileName() + QStringLiteral(".tmp-*")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : stale)
        folder.remove(name);
}

LONG writeHive(const QString &file, const QByteArray &bytes)
{
    QByteArray temporary = native(file + QStringLiteral(".tmp-XXXXXX"));
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid())
        return statusFromErrno(errno, ERROR_WRITE_FAULT);
    const auto fail = [&temporary](int error) {
        ::unlink(temporary.constData());
        return statusFromErrno(error, ERROR_WRITE_FAULT);
    };
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        return fail(errno);
    if (!fd.close())
        return fail(errno);

    std::function<void()> hook;
    {
        const std::lock_guard<std::mutex> guard(stateMutex());
        hook = beforeReplaceHook();
    }
    if (hook)
        hook();

    if (::rename(temporary.constData(), native(file).constData()) != 0)
        return fail(errno);
    syncFolder(QFileInfo(file).absolutePath());
    return ERROR_SUCCESS;
}

// Held while one instance reads, changes and writes the hive.
class HiveLock
{
public:
    explicit HiveLock(const QString &hivePath)
        : m_fd(openRetrying(native(hivePath + QStringLiteral(".lock")), O_RDWR | O_CREAT, 0600))
    {
        if (!m_fd.valid()) {
            m_status = statusFromErrno(errno, ERROR_ACCESS_DENIED);
            return;
        }
        int result;
        do {
            result = ::flock(m_fd.get(), LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0)
            m_status = statusFromErrno(errno, ERROR_ACCESS_DENIED);
    }
    // Closing the descriptor releases the lock.

    LONG status() const { return m_status; }

private:
    FileDescriptor m_fd;
    LONG m_status = ERROR_SUCCESS;
};

} // namespace

RegistryStore::RegistryStore(QString hivePath) : m_path(std::move(hivePath)) {}

QString RegistryStore::defaultHivePath()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) {
            if (const passwd *user = ::getpwuid(::getuid()))
                home = QFile::decodeName(user->pw_dir);
        }
        if (home.isEmpty())
            return {};
        configHome = home + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/tachoflux/registry.reg");
}

LONG RegistryStore::read(RegFile &hive) const
{
    if (m_path.isEmpty())
        return ERROR_PATH_NOT_FOUND;
    const Loaded loaded = loadHive(fileBehind(m_path), hive);
    if (!loaded.damaged)
        return loaded.status;
    // Only under the lock may the file be moved: another instance may be replacing it.
    return update([&hive](RegFile &current) {
        hive = current;
        return false;
    });
}

LONG RegistryStore::update(const std::function<bool(RegFile &)> &change) const
{
    if (m_path.isEmpty())
        return ERROR_PATH_NOT_FOUND;
    if (const LONG status = makeFolder(QFileInfo(m_path).absolutePath()); status != ERROR_SUCCESS)
        return status;
    const HiveLock lock(m_path);
    if (lock.status() != ERROR_SUCCESS)
        return lock.status();

    const QString file = fileBehind(m_path);
    removeStaleTemporaries(file);
    RegFile hive;
    const Loaded loaded = loadHive(file, hive);
    if (loaded.damaged) {
        if (const LONG status = keepAside(m_path, file, loaded.reason); status != ERROR_SUCCESS)
            return status;
    } else if (loaded.status != ERROR_SUCCESS) {
        return loaded.status;
    }
    if (!change(hive))
        return ERROR_SUCCESS;
    return writeHive(file, hive.serialize());
}

std::vector<HiveDamage> RegistryStore::takeDamage()
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    return std::exchange(damageReports(), {});
}

void RegistryStore::setBeforeReplaceHook(std::function<void()> hook)
{
    const std::lock_guard<std::mutex> guard(stateMutex());
    beforeReplaceHook() = std::move(hook);
}

} // namespace platform
