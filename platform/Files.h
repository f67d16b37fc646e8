#pragma once

// File-system pieces every subject shares: the owned descriptor, the program's per-user
// folder and the replacement of a file that no crash can leave half written.

#include <QByteArray>
#include <QString>

#include <functional>

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
