#pragma once

#include "platform/RegFile.h"

#include <QString>

#include <functional>
#include <vector>

namespace platform {

// A hive file that could not be read as a hive.
struct HiveDamage
{
    QString hivePath;
    // Where the damaged file was kept; empty if it could not be moved, in which case it
    // was left as it was and nothing was written over it.
    QString keptAs;
    QString reason;
};

// One user's hive on disk, shared by every running instance of the program. A read sees
// one complete file. A change is a read-modify-write under an exclusive lock on a separate
// lock file, and the new hive is written to a temporary file, flushed and renamed over the
// old one, so that neither a crash nor a second instance loses a value.
class RegistryStore
{
public:
    explicit RegistryStore(QString hivePath);

    // $XDG_CONFIG_HOME/tachoflux/registry.reg; ~/.config stands in for an unset or
    // relative XDG_CONFIG_HOME. Empty if there is no home folder either.
    static QString defaultHivePath();

    const QString &path() const { return m_path; }

    // A missing file is an empty hive. A damaged one is moved aside and reported through
    // takeDamage(), and reads as empty; ERROR_BADDB if it could not be moved.
    LONG read(RegFile &hive) const;
    // `change` says whether it changed the hive; only then is the hive written.
    LONG update(const std::function<bool(RegFile &hive)> &change) const;

    // Damaged hives found since the last call, oldest first.
    static std::vector<HiveDamage> takeDamage();

    // Runs after the new hive is written and flushed, before it replaces the old one.
    static void setBeforeReplaceHook(std::function<void()> hook);

private:
    QString m_path;
};

} // namespace platform
