#pragma once

#include "registry/RegistryTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace registry {

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

// How far a hive may grow. The same limits hold for a file that is read and for a
// change that is made, so whatever is written can be read back.
namespace RegLimits {
inline constexpr qint64 FileSize = 16 * 1024 * 1024;
// Levels below HKEY_CURRENT_USER, and the characters of a key's whole path below it.
inline constexpr int KeyDepth = 32768;
inline constexpr qsizetype KeyPathLength = 65535;
// Bytes of one value's data.
inline constexpr qsizetype ValueSize = 1024 * 1024;
// Keys and values together; bounds the memory a hive takes.
inline constexpr qsizetype Entries = 1000000;
} // namespace RegLimits

enum class RegLimit { None, FileSize, KeyDepth, KeyPathLength, ValueSize, Entries };

// `format` looked up in the user's language first, then each %s filled in with the next
// argument, so that the catalog finds the text.
QString regText(const char *format, const QStringList &args = {});

// The limit as the user reads it, in the user's language ("larger than 16777216 bytes").
QString describeLimit(RegLimit limit);

// Why bytes are not a hive: the line (1 for the header) and the reason in the user's
// language.
struct RegFileError
{
    qsizetype line = 0;
    QString reason;
    // "line 4: malformed string", in the user's language.
    QString text() const;
};

// The keys and values of one user's hive (everything below HKEY_CURRENT_USER) and
// their text form, a .reg file. Keys are paths of names separated by backslashes;
// "" is the root. Names compare without regard to case, as the registry's do, and
// keep the spelling they were created with. Lookups are hashed and parsing takes one
// pass, so the work grows with the size of the file, however many values a key holds
// or however deep its keys go.
class RegFile
{
public:
    static constexpr char Header[] = "Windows Registry Editor Version 5.00";
    static constexpr char RootName[] = "HKEY_CURRENT_USER";

    // Accepts UTF-8 (with or without BOM) and UTF-16LE with BOM, LF or CR LF line ends,
    // comments, and hex data continued over several lines, within RegLimits. Anything
    // else is a damaged file: nullopt, with the line and the reason in `error`.
    static std::optional<RegFile> parse(const QByteArray &bytes, RegFileError *error);
    static std::optional<RegFile> parse(const QByteArray &bytes, QString *error = nullptr);
    // Whether the bytes begin with the header line, so they are meant as a hive.
    static bool hasHeader(const QByteArray &bytes);

    // UTF-8, CR LF line ends, parents before their subkeys, siblings in name order. A key
    // with neither values nor subkeys gets its own section; one with subkeys only is
    // implied by theirs. nullopt once the text grows beyond `limit` bytes.
    std::optional<QByteArray> serialize(qint64 limit) const;
    QByteArray serialize() const;

    // Whether a name can be stored: no control characters that would break a line of
    // the file, at most 255 characters for a key name. Empty key names are invalid.
    static bool isValidKeyName(QStringView name);
    static bool isValidValueName(QStringView name);
    static bool isValidKeyName(const QString &name) { return isValidKeyName(QStringView(name)); }
    static bool isValidValueName(const QString &name)
    {
        return isValidValueName(QStringView(name));
    }

    bool hasKey(const QString &path) const;
    // Creates the key and its missing parents; true if the key is new. False for a path
    // with an invalid name, or one beyond the limits, which then go to `exceeded`.
    bool createKey(const QString &path, RegLimit *exceeded = nullptr);
    // The spelling the key was created with.
    QString keyPath(const QString &path) const;
    // The names of a key's own subkeys as spelled, in name order; none for a missing key.
    QStringList subKeyNames(const QString &path) const;
    // Every key's path, parents first. Meant for tests and tools: the paths of a deep
    // chain of keys add up to its depth times its length.
    QStringList keys() const;
    qsizetype keyCount() const { return qsizetype(m_keys.size()); }
    qsizetype valueCount() const { return m_valueCount; }

    const RegValue *value(const QString &keyPath, const QString &name) const;
    // Creates the key if it is missing; returns false if the value was already so, or if
    // the name is invalid or the change goes beyond the limits (then told in `exceeded`).
    bool setValue(const QString &keyPath, const QString &name, const RegValue &value,
                  RegLimit *exceeded = nullptr);
    QStringList valueNames(const QString &keyPath) const;

    // The same keys with the same spellings and the same values in the same order.
    friend bool operator==(const RegFile &a, const RegFile &b);

private:
    struct Value
    {
        QString name;
        RegValue value;
    };
    struct Key
    {
        QString name;
        qsizetype parent = -1;
        int depth = 0;
        qsizetype pathLength = 0;
        std::vector<qsizetype> children;
        std::vector<Value> values;
    };
    // Names below their owner (a key's index) found by a hash that ignores case as the
    // comparison does: open addressing in one array, so a lookup among a hundred thousand
    // names touches memory about as often as one among ten.
    struct Slot
    {
        std::uint64_t hash = 0;
        qint32 owner = -1;
        qint32 target = -1; // a key's index, or a value's index in its key; -1: free
    };
    struct NameIndex
    {
        std::vector<Slot> table;
        qsizetype count = 0;
    };

    template <typename NameOf>
    qsizetype lookUp(const NameIndex &index, qsizetype owner, QStringView name,
                     NameOf nameOf) const;
    static void insert(NameIndex &index, qsizetype owner, QStringView name, qsizetype target);

    qsizetype child(qsizetype key, QStringView name) const;
    qsizetype find(QStringView path) const;
    qsizetype valueIndex(qsizetype key, QStringView name) const;
    // The key at `path`, made with its parents where missing; -1 if a name is invalid or
    // a limit would be passed.
    qsizetype make(QStringView path, bool &created, RegLimit &exceeded);
    bool store(qsizetype key, const QString &name, const RegValue &value, RegLimit &exceeded);
    QString pathOf(qsizetype key) const;
    std::vector<qsizetype> sortedChildren(qsizetype key) const;
    bool entriesFull() const;

    std::vector<Key> m_keys{Key{}};
    NameIndex m_children;
    NameIndex m_values;
    qsizetype m_valueCount = 0;
};

} // namespace registry
