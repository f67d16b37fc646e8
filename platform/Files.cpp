#include "platform/Files.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
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

SideFile readSideFile(const QString &path, qint64 maxBytes)
{
    const auto refused = [&](const QString &reason) {
        return SideFile{{}, QStringLiteral("%1 kann nicht gelesen werden: %2.").arg(path, reason)};
    };
    // Non-blocking, so that a FIFO without a writer cannot hang the caller.
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return refused(systemReason(errno));
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0)
        return refused(systemReason(errno));
    if (!S_ISREG(st.st_mode))
        return refused(S_ISDIR(st.st_mode)
                           ? QStringLiteral("es ist ein Ordner")
                           : QStringLiteral("es ist keine gewöhnliche Datei, sondern eine Pipe, "
                                            "ein Gerät oder ein Socket"));
    const auto tooBig = [&] {
        return refused(QStringLiteral("die Datei ist größer als %1 MB")
                           .arg(double(maxBytes) / (1024 * 1024), 0, 'f', 1)
                           .replace(u'.', u','));
    };
    if (st.st_size > maxBytes)
        return tooBig();
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refused(systemReason(errno));
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > maxBytes)
            return tooBig();
    }
    return {bytes, {}};
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

Refusal refusalOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return Refusal::Missing;
    case ENAMETOOLONG:
    case EINVAL:
        return Refusal::BadName;
    case EMFILE:
    case ENFILE:
        return Refusal::TooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return Refusal::Denied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Refusal::Full;
    case ENOMEM:
        return Refusal::NoMemory;
    default:
        return Refusal::Other;
    }
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

std::optional<QByteArray> followLinks(QByteArray path)
{
    for (int hops = 0;; ++hops) {
        struct stat st{};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (hops == 40) {
            errno = ELOOP;
            return std::nullopt;
        }
        QByteArray link(qsizetype(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return std::nullopt;
        if (n >= link.size())
            continue; // the link changed under us: read it again
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
}

void removeStaleTemporaries(const QByteArray &folder, const QByteArray &prefix, bool anyProcess)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix))
            continue;
        if (!anyProcess) {
            const qsizetype dash = name.indexOf('-', prefix.size());
            bool ok = false;
            const pid_t pid = pid_t(name.mid(prefix.size(), dash - prefix.size()).toInt(&ok));
            if (dash < 0 || !ok || pid <= 0 || pid == ::getpid())
                continue;
            if (::kill(pid, 0) == 0 || errno != ESRCH)
                continue;
        }
        struct stat st{};
        if (::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), name.constData(), 0);
    }
    ::closedir(dir);
}

bool readFully(int fd, void *out, std::uint64_t position, std::uint64_t count)
{
    auto *at = static_cast<unsigned char *>(out);
    while (count > 0) {
        const ssize_t got = ::pread(fd, at, count, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;
            return false;
        }
        at += got;
        position += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint64_t>(got);
    }
    return true;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
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
