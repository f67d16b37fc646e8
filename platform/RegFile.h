#pragma once

#include "platform/RegistryTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

// One value as the registry keeps it: string kinds (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) hold UTF-16LE text, usually with its terminating zero.
struct RegValue
{
    DWORD type = REG_NONE;
    QByteArray data;

    static RegValue string(const QString &text, DWORD type = REG_SZ);
    static RegValue dword(DWORD value);
    // The data as the "A" registry calls pass it: string kinds as UTF-8, zeros included.
    static RegValue fromAnsi(DWORD type, const QByteArray &bytes);
    QByteArray toAnsi() const;
    // The text of a string kind up to its first zero; empty for other kinds.
    QString text() const;

    friend bool operator==(const RegValue &, const RegValue &) = default;
};

// The keys and values of one user's hive (everything below HKEY_CURRENT_USER) and
// their text form, a .reg file. Keys are paths of names separated by backslashes;
// "" is the root. Names compare without regard to case, as the registry's do, and
// keep the spelling they were created with.
class RegFile
{
public:
    static constexpr char Header[] = "Windows Registry Editor Version 5.00";
    static constexpr char RootName[] = "HKEY_CURRENT_USER";

    // Accepts UTF-8 (with or without BOM) and UTF-16LE with BOM, LF or CR LF line ends,
    // comments, and hex data continued over several lines. Anything else is a damaged
    // file: nullopt, with the line and the reason in `error`.
    static std::optional<RegFile> parse(const QByteArray &bytes, QString *error = nullptr);
    // UTF-8, CR LF line ends, parents before their subkeys.
    QByteArray serialize() const;

    // Whether a name can be stored: no control characters that would break a line of
    // the file, at most 255 characters for a key name. Empty key names are invalid.
    static bool isValidKeyName(const QString &name);
    static bool isValidValueName(const QString &name);

    bool hasKey(const QString &path) const;
    // Creates the key and its missing parents; true if the key is new.
    bool createKey(const QString &path);
    // The spelling the key was created with.
    QString keyPath(const QString &path) const;
    QStringList keys() const;

    const RegValue *value(const QString &keyPath, const QString &name) const;
    // Creates the key if it is missing; returns false if the value was already so.
    bool setValue(const QString &keyPath, const QString &name, const RegValue &value);
    QStringList valueNames(const QString &keyPath) const;

    friend bool operator==(const RegFile &, const RegFile &) = default;

private:
    struct Key
    {
        QString path;
        std::vector<std::pair<QString, RegValue>> values;

        friend bool operator==(const Key &, const Key &) = default;
    };

    const Key *find(const QString &path) const;

    std::map<QString, Key> m_keys{{QString(), Key{}}};
};

} // namespace platform
