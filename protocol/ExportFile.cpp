#include "protocol/ExportFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/ResourceText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace protocol {

platform::EInOutError inOutError(int errorCode)
{
    static const struct
    {
        int code;
        const char *text;
    } known[] = {
        {2, "File not found"},         {3, "Invalid filename"},          {4, "Too many open files"},
        {5, "File access denied"},     {100, "Read beyond end of file"}, {101, "Disk full"},
        {106, "Invalid numeric input"}};
    for (const auto &entry : known) {
        if (entry.code == errorCode)
            return platform::EInOutError(errorCode, QString::fromLatin1(entry.text));
    }
    return platform::EInOutError(errorCode,
                                 platform::resourceText(QStringLiteral("I/O error %d"))
                                     .replace(QStringLiteral("%d"), QString::number(errorCode)));
}

int ioErrorCodeFromErrno(int error)
{
    switch (platform::refusalOf(error)) {
    case platform::Refusal::Missing:
    case platform::Refusal::BadName:
        return 3;
    case platform::Refusal::TooManyFiles:
        return 4;
    case platform::Refusal::Denied:
        return 5;
    case platform::Refusal::Full:
        return 101;
    case platform::Refusal::NoMemory:
    case platform::Refusal::Other:
        break;
    }
    return error;
}

namespace {

[[noreturn]] void fail(int error)
{
    throw inOutError(ioErrorCodeFromErrno(error));
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
        platform::folderOf(target) + '/' + TemporaryPrefix + QByteArray::number(::getpid()) + "-XXXXXX";
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
    if (!platform::writeAll(file.get(), bytes))
        fail(errno);
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
    const std::optional<QByteArray> resolved = platform::followLinks(chosen);
    if (!resolved)
        fail(errno);
    const QByteArray &target = *resolved;

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

    platform::removeStaleTemporaries(platform::folderOf(target), TemporaryPrefix);
    if (!replaceAtomically(target, exists ? &existing : nullptr, bytes))
        rewriteInPlace(target, bytes);
}

} // namespace protocol
