#include "protocol/ExportFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/ResourceText.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace timing {

EInOutError inOutError(int errorCode)
{
    switch (errorCode) {
    case 2: return EInOutError(errorCode, QStringLiteral("File not found"));
    case 3: return EInOutError(errorCode, QStringLiteral("Invalid filename"));
    case 4: return EInOutError(errorCode, QStringLiteral("Too many open files"));
    case 5: return EInOutError(errorCode, QStringLiteral("File access denied"));
    case 100: return EInOutError(errorCode, QStringLiteral("Read beyond end of file"));
    case 101: return EInOutError(errorCode, QStringLiteral("Disk full"));
    case 106: return EInOutError(errorCode, QStringLiteral("Invalid numeric input"));
    default:
        return EInOutError(errorCode, platform::resourceText(QStringLiteral("I/O error %d"))
                                          .replace(QStringLiteral("%d"), QString::number(errorCode)));
    }
}

int ioErrorCodeFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return 5;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return 101;
    default:
        return error;
    }
}

namespace {

[[noreturn]] void fail(int error)
{
    throw inOutError(ioErrorCodeFromErrno(error));
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Follows symbolic links of the last path component until it names no link; a link to a
// missing file resolves to the missing file's path.
QByteArray resolveLinks(QByteArray path)
{
    for (int hops = 0;; ++hops) {
        struct stat st{};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (hops == 40)
            fail(ELOOP);
        QByteArray link(qsizetype(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            fail(errno);
        if (n >= link.size())
            continue; // the link changed under us: read it again
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
}

void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    off_t offset = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(left), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        data += n;
        left -= n;
        offset += n;
    }
}

// A temporary of a process that no longer runs is left over from an export that was
// killed: nothing else will ever remove it.
void removeStaleTemporaries(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const QByteArray prefix(TemporaryPrefix);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix))
            continue;
        const qsizetype dash = name.indexOf('-', prefix.size());
        bool ok = false;
        const pid_t pid = pid_t(name.mid(prefix.size(), dash - prefix.size()).toInt(&ok));
        if (dash < 0 || !ok || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st{};
        if (::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), name.constData(), 0);
    }
    ::closedir(dir);
}

bool atomicWayImpossible(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case ENAMETOOLONG:
    case EXDEV:
    case EBUSY:
        return true;
    default:
        return false;
    }
}

// Writes through a temporary file renamed over the target. Returns false, having changed
// nothing, where that way is closed but a rewrite in place may still work.
bool replaceAtomically(const QByteArray &target, const struct stat *existing,
                       const QByteArray &bytes)
{
    platform::ReplaceOptions options;
    options.temporaryTemplate =
        folderOf(target) + '/' + TemporaryPrefix + QByteArray::number(::getpid()) + "-XXXXXX";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    options.newFileMode = 0666 & ~mask;
    // The user's file keeps its owner, or is not replaced at all.
    options.keepOwner = true;
    const platform::ReplaceResult result = platform::replaceFile(target, existing, bytes, options);
    switch (result.step) {
    case platform::ReplaceResult::Done:
        return true;
    case platform::ReplaceResult::Owner:
        return false;
    case platform::ReplaceResult::Create:
    case platform::ReplaceResult::Rename:
        if (atomicWayImpossible(result.error))
            return false;
        fail(result.error);
    case platform::ReplaceResult::Write:
        break;
    }
    fail(result.error);
}

void rewriteInPlace(const QByteArray &target, const QByteArray &bytes)
{
    // Non-blocking, so that a FIFO slipped in meanwhile cannot hang the export.
    platform::FileDescriptor file(
        ::open(target.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file.valid())
        fail(errno);
    struct stat st{};
    if (::fstat(file.get(), &st) != 0)
        fail(errno);
    if (!S_ISREG(st.st_mode))
        fail(EACCES);
    // Reserve the space first: a full disk then fails before any old byte is overwritten.
    if (bytes.size() > st.st_size && ::fallocate(file.get(), 0, 0, off_t(bytes.size())) != 0
        && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
        fail(errno);
    writeAll(file.get(), bytes);
    if (::ftruncate(file.get(), off_t(bytes.size())) != 0 || ::fsync(file.get()) != 0)
        fail(errno);
    if (!file.close())
        fail(errno);
}

} // namespace

void writeFileReplacing(const QString &path, const QByteArray &bytes)
{
    const QByteArray chosen = QFile::encodeName(path);
    if (chosen.isEmpty())
        fail(ENOENT);
    const QByteArray target = resolveLinks(chosen);

    struct stat existing{};
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (!exists && errno != ENOENT)
        fail(errno);
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            fail(EISDIR);
        if (!S_ISREG(existing.st_mode))
            fail(EACCES);
        // Write-protected as a read-only file is on Windows, whoever the process runs as.
        if ((existing.st_mode & S_IWUSR) == 0 || ::access(target.constData(), W_OK) != 0)
            fail(EACCES);
    }

    removeStaleTemporaries(folderOf(target));
    if (!replaceAtomically(target, exists ? &existing : nullptr, bytes))
        rewriteInPlace(target, bytes);
}

} // namespace timing
