#include "timing/ExportFile.h"

#include "platform/Errors.h"
#include "platform/ResourceText.h"

#include <QFile>

#include <cerrno>
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

// Removes the temporary file unless it was handed over.
struct TemporaryFile
{
    QByteArray path;
    int fd = -1;
    bool committed = false;

    ~TemporaryFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!committed && !path.isEmpty())
            ::unlink(path.constData());
    }
};

} // namespace

void writeFileReplacing(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    if (target.isEmpty())
        fail(ENOENT);

    struct stat existing{};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(EISDIR);

    TemporaryFile temp;
    temp.path = target + ".XXXXXX";
    temp.fd = ::mkstemp(temp.path.data());
    if (temp.fd < 0) {
        const int error = errno;
        temp.path.clear();
        fail(error);
    }

    mode_t mode;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(temp.fd, mode) != 0)
        fail(errno);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(temp.fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        data += n;
        left -= n;
    }
    if (::fsync(temp.fd) != 0)
        fail(errno);
    const int fd = temp.fd;
    temp.fd = -1;
    if (::close(fd) != 0)
        fail(errno);
    if (::rename(temp.path.constData(), target.constData()) != 0)
        fail(errno);
    temp.committed = true;
}

} // namespace timing
