#include "platform/Files.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileDescriptor::close()
{
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

namespace {

QString userFolder(const char *variable, const char *fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) {
            if (const passwd *user = ::getpwuid(::getuid()))
                home = QFile::decodeName(user->pw_dir);
        }
        if (home.isEmpty())
            return {};
        base = home + QLatin1StringView(fallback);
    }
    return base + QStringLiteral("/tachoflux");
}

} // namespace

QString configFolder()
{
    return userFolder("XDG_CONFIG_HOME", "/.config");
}

QString dataFolder()
{
    return userFolder("XDG_DATA_HOME", "/.local/share");
}

QString systemReason(int error)
{
    // The program speaks German in every locale; the locale object lives as long as it.
    static const locale_t german = [] {
        for (const char *name : {"de_DE.UTF-8", "de_AT.UTF-8", "de_CH.UTF-8", "de_DE.utf8"}) {
            if (const locale_t found = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, nullptr))
                return found;
        }
        return locale_t(nullptr);
    }();
    if (german)
        return QString::fromUtf8(::strerror_l(error, german));
    return QString::fromLocal8Bit(std::strerror(error));
}

void syncFolder(const QByteArray &folder)
{
    int fd;
    do {
        fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    const FileDescriptor dir(fd);
    if (dir.valid())
        ::fsync(dir.get());
}

namespace {

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

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

} // namespace

ReplaceResult replaceFile(const QByteArray &target, const struct stat *existing,
                          const QByteArray &bytes, const ReplaceOptions &options)
{
    QByteArray temporary = options.temporaryTemplate;
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid())
        return {ReplaceResult::Create, errno};
    const auto failed = [&](ReplaceResult::Step step, int error) {
        fd.close();
        ::unlink(temporary.constData());
        return ReplaceResult{step, error};
    };

    mode_t mode = options.newFileMode;
    if (existing) {
        mode = existing->st_mode & 07777;
        if (options.keepOwner
            && (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid())
            && ::fchown(fd.get(), existing->st_uid, existing->st_gid) != 0)
            return failed(ReplaceResult::Owner, errno);
    }
    if (::fchmod(fd.get(), mode) != 0)
        return failed(ReplaceResult::Write, errno);
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        return failed(ReplaceResult::Write, errno ? errno : EIO);
    if (!fd.close())
        return failed(ReplaceResult::Write, errno);

    if (options.beforeRename)
        options.beforeRename();
    if (::rename(temporary.constData(), target.constData()) != 0)
        return failed(ReplaceResult::Rename, errno);
    syncFolder(folderOf(target));
    return {};
}

} // namespace platform
