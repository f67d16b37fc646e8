#pragma once

// File-system pieces every subject shares: the owned descriptor, the program's per-user
// folder and the replacement of a file that no crash can leave half written.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = other.release();
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, so that a failing close (a late write error) is seen.
    bool close();
    void reset(int fd = -1)
    {
        close();
        m_fd = fd;
    }
    // Hands the descriptor over without closing it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// The program's own per-user folder: $XDG_CONFIG_HOME/tachoflux, with ~/.config standing in
// for an unset or relative XDG_CONFIG_HOME and the password database for an unset HOME.
// Empty if there is no home folder at all.
QString configFolder();
// The program's per-user data folder (the run journal): $XDG_DATA_HOME/tachoflux, with
// ~/.local/share standing in as above. Empty if there is no home folder at all.
QString dataFolder();

// The system's reason for an errno value in German, as the C library words it where it has
// German messages (package libc-l10n), whatever the user's locale; its own words otherwise.
QString systemReason(int error);

// What the system's refusal comes to, for the callers that turn errno into their own error
// numbers.
enum class Refusal { Other, Missing, BadName, TooManyFiles, Denied, Full, NoMemory };
Refusal refusalOf(int error);

// The folder part of a path: "." for a bare name, "/" for a name in the root.
QByteArray folderOf(const QByteArray &path);

// Follows symbolic links of the last component until it names no link, as the kernel
// would; a link to a missing file gives the missing file's path. Empty with errno set on a
// failure (ELOOP after 40 links).
std::optional<QByteArray> followLinks(QByteArray path);

// Removes from folder the user's regular files named prefix<pid>-... whose process no
// longer runs: left over from a save that was killed, nothing else will ever remove them.
// With anyProcess, every such file goes, whatever its name continues with (for callers
// that hold a lock no other writer can hold meanwhile).
void removeStaleTemporaries(const QByteArray &folder, const QByteArray &prefix,
                            bool anyProcess = false);

// Reads count bytes at position; false with errno set on a failure or a short file.
bool readFully(int fd, void *out, std::uint64_t position, std::uint64_t count);
// Writes all bytes at the descriptor's position; false with errno set on a failure.
bool writeAll(int fd, const QByteArray &bytes);

// A file the program reads beside its own (help, pictures, a journal): its bytes, or why
// there are none, in German with the file's name.
struct SideFile
{
    QByteArray bytes;
    QString error; // empty when the bytes are the whole file
};
// Reads `path` only if it is a regular file (links followed) of at most maxBytes: a FIFO,
// a device such as /dev/zero, a folder or a file that grows beyond the bound while it is
// read is refused without blocking and without reading more than maxBytes + 1 bytes.
SideFile readSideFile(const QString &path, qint64 maxBytes);

// Flushes a folder's entries (a rename in it) to the disk; best effort.
void syncFolder(const QByteArray &folder);

struct ReplaceOptions
{
    // The temporary's path, ending in "XXXXXX"; it lies in the target's folder.
    QByteArray temporaryTemplate;
    // A new target's mode; an existing one keeps its own.
    mode_t newFileMode = 0600;
    // An existing target's owner and group carried over, or the replacement refused.
    bool keepOwner = false;
    // Runs after the temporary is complete, just before it is renamed over the target.
    std::function<void()> beforeRename;
};

struct ReplaceResult
{
    enum Step { Done, Create, Owner, Write, Rename };
    Step step = Done;
    int error = 0;
    explicit operator bool() const { return step == Done; }
};

// Writes bytes to a temporary beside target, syncs it, renames it over target and syncs the
// folder. On failure the target is as it was and the temporary is gone; the result names
// the step that failed and its errno.
ReplaceResult replaceFile(const QByteArray &target, const struct stat *existing,
                          const QByteArray &bytes, const ReplaceOptions &options);

} // namespace platform
