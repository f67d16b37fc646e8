#pragma once

#include "platform/Files.h"
#include "registry/RegFile.h"

#include <QString>

#include <functional>
#include <vector>

namespace registry {

// Something about a hive file that the user must learn: whatever it was, no settings
// were lost and no unrelated file was touched.
struct HiveProblem
{
    enum Kind {
        // Damaged: moved aside to `keptAs`, and a new hive started.
        KeptAside,
        // Damaged, but it could not be moved aside: left as it was, nothing written.
        NotMoved,
        // No hive at all (no header line): left alone, nothing read or written.
        NotASettingsFile,
        // A named pipe, device, folder or socket, or a loop of links: never opened.
        NotAFile,
        // The lock file is a link or no regular file: left alone, nothing written.
        LockRefused,
        // A change would have taken the hive beyond its limits: refused, file unchanged.
        BeyondLimits,
    };

    Kind kind = KeptAside;
    QString hivePath;
    // The file the problem is with: the hive's file (its links followed) or the lock file.
    QString file;
    QString keptAs;
    // In the user's language.
    QString reason;

    // The whole report in the user's language.
    QString message() const;
};

// The system's refusal behind the last failing hive operation of this thread: its errno
// and the file it was about. error 0: none since the last take.
struct SystemFailure
{
    int error = 0;
    QString file;
};
SystemFailure takeSystemFailure();

// One user's hive on disk, shared by every running instance of the program. A read sees
// one complete file. A change is a read-modify-write under an exclusive lock on a separate
// lock file, and the new hive is written to a temporary file, flushed and renamed over the
// old one, so that neither a crash nor a second instance loses a value. The hive path may
// be a chain of links: the file at its end is read and replaced. Only a regular file is
// ever opened as the hive, and only one that starts with the hive header is ever moved.
class RegistryStore
{
public:
    explicit RegistryStore(QString hivePath);

    // registry.reg in the program's per-user folder; empty if there is no home folder.
    static QString defaultHivePath();

    const QString &path() const { return m_path; }

    // A missing or empty file is an empty hive. A damaged one is moved aside and reported
    // through takeProblems(), and reads as empty; ERROR_BADDB if it could not be moved.
    // A file that is no hive or not a regular file is reported and left alone.
    LONG read(RegFile &hive) const;
    // `change` says whether it changed the hive; only then is the hive written.
    LONG update(const std::function<bool(RegFile &hive)> &change) const;

    // Problems found since the last call, oldest first.
    static std::vector<HiveProblem> takeProblems();
    static void report(HiveProblem problem);

    // Runs after the new hive is written and flushed, before it replaces the old one.
    static void setBeforeReplaceHook(std::function<void()> hook);

private:
    QString m_path;
};

// The hive read once under its exclusive lock, changed in memory and written at most
// once; the lock is held until this is destroyed. If the lock cannot be had, the hive is
// still read, but nothing can be written.
class LockedHive
{
public:
    explicit LockedHive(const RegistryStore &store);
    ~LockedHive();
    LockedHive(const LockedHive &) = delete;
    LockedHive &operator=(const LockedHive &) = delete;

    // ERROR_SUCCESS, or why the hive could not be read (it is then empty).
    LONG status() const { return m_status; }
    // ERROR_SUCCESS, or why nothing can be written.
    LONG writeStatus() const { return m_writeStatus; }
    RegFile &hive() { return m_hive; }
    // Writes the hive; one beyond the size limit is refused and reported.
    LONG write();

private:
    QString m_hivePath;
    QString m_file;
    platform::FileDescriptor m_lock;
    LONG m_status = ERROR_SUCCESS;
    LONG m_writeStatus = ERROR_SUCCESS;
    RegFile m_hive;
};

} // namespace registry
