#include "settings/Settings.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include "Version.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace settings {

namespace {

using registry::BYTE;
using registry::DWORD;
using registry::HKEY;

constexpr char StoreKey[] = TACHOFLUX_TITLE;
constexpr char Section[] = "Settings";
constexpr int DefaultMillimetres = 150;
constexpr SettingsValues Defaults;

[[noreturn]] void raise(const char *format, const char *name)
{
    QString message = registry::regText(format, {QString::fromUtf8(name)});
    // What the system said and about which file, so the user knows what to mend.
    if (const registry::SystemFailure failure = registry::takeSystemFailure(); failure.error)
        message += QStringLiteral(": %1 (%2)").arg(platform::systemReason(failure.error),
                                                 failure.file);
    throw platform::ERegistryException(message);
}

// Closes the key however the scope is left.
// The stored value is wrong, not the system: no system reason goes with it.
[[noreturn]] void raiseDataType(const char *name)
{
    registry::takeSystemFailure();
    raise("Invalid data type for '%s'", name);
}

class OpenKey
{
public:
    OpenKey() = default;
    ~OpenKey()
    {
        if (m_key)
            registry::RegCloseKey(m_key);
    }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;

    HKEY get() const { return m_key; }
    HKEY *receive() { return &m_key; }

private:
    HKEY m_key = nullptr;
};

// The error to raise if the session's one write fails: that of the first change, as each
// change would have raised it had it been written at once.
class PendingWrite
{
public:
    void note(const char *format, const char *name)
    {
        if (!m_format) {
            m_format = format;
            m_name = name;
        }
    }
    void commit(registry::RegistrySession &session) const
    {
        if (session.commit() != registry::ERROR_SUCCESS && m_format)
            raise(m_format, m_name);
    }

private:
    const char *m_format = nullptr;
    const char *m_name = nullptr;
};

void openStore(OpenKey &store, PendingWrite &pending)
{
    DWORD disposition = 0;
    if (registry::RegCreateKeyExA(registry::HKEY_CURRENT_USER, StoreKey, registry::KEY_ALL_ACCESS,
                                  store.receive(), &disposition) != registry::ERROR_SUCCESS)
        raise("Failed to create key %s", StoreKey);
    if (disposition == registry::REG_CREATED_NEW_KEY)
        pending.note("Failed to create key %s", StoreKey);
}

std::optional<int> parseInteger(const QByteArray &text)
{
    const char *begin = text.constData();
    const char *end = begin + text.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    int value = 0;
    const auto [rest, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || rest != end)
        return std::nullopt;
    return value;
}

// "1.02" as {1, 2}; empty for anything but digits between single dots.
std::vector<int> versionParts(const QString &text)
{
    std::vector<int> parts;
    for (const QString &part : text.split(u'.')) {
        bool ok = false;
        const int number = part.toInt(&ok);
        if (!ok || part.isEmpty() || !std::all_of(part.cbegin(), part.cend(), [](QChar c) {
                return c >= u'0' && c <= u'9';
            }))
            return {};
        parts.push_back(number);
    }
    return parts;
}

bool hasSettings(HKEY key)
{
    OpenKey section;
    return registry::RegOpenKeyExA(key, Section, registry::KEY_READ, section.receive()) ==
           registry::ERROR_SUCCESS;
}

// The newest key of an earlier version that holds settings: an upgrade starts with the
// user's values, and they reach this version's key at its first save. Nothing older is
// changed or removed.
void openEarlierStore(OpenKey &earlier)
{
    const QString current = QString::fromUtf8(StoreKey);
    const qsizetype cut = current.lastIndexOf(QLatin1String("/ ")) + 2;
    const QString prefix = current.left(cut);
    const std::vector<int> currentVersion = versionParts(current.mid(cut));
    if (cut < 2 || currentVersion.empty())
        return;
    std::vector<int> best;
    QByteArray bestName;
    std::vector<char> buffer(256);
    for (DWORD index = 0;; ++index) {
        DWORD size = DWORD(buffer.size());
        const registry::LONG status =
            registry::RegEnumKeyExA(registry::HKEY_CURRENT_USER, index, buffer.data(), &size);
        if (status == registry::ERROR_MORE_DATA) {
            buffer.resize(std::size_t(size) + 1);
            --index;
            continue;
        }
        if (status != registry::ERROR_SUCCESS)
            break;
        const QString name = QString::fromUtf8(buffer.data(), qsizetype(size));
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const std::vector<int> version = versionParts(name.mid(prefix.size()));
        if (version.empty() || !(version < currentVersion) || !(best < version))
            continue;
        OpenKey candidate;
        const QByteArray utf8 = name.toUtf8();
        if (registry::RegOpenKeyExA(registry::HKEY_CURRENT_USER, utf8.constData(),
                                    registry::KEY_READ,
                                    candidate.receive()) != registry::ERROR_SUCCESS ||
            !hasSettings(candidate.get()))
            continue;
        best = version;
        bestName = utf8;
    }
    if (!bestName.isEmpty())
        registry::RegOpenKeyExA(registry::HKEY_CURRENT_USER, bestName.constData(),
                                registry::KEY_READ, earlier.receive());
}

int readInteger(HKEY store, const char *name, int defaultValue)
{
    OpenKey section;
    if (registry::RegOpenKeyExA(store, Section, registry::KEY_READ, section.receive()) !=
        registry::ERROR_SUCCESS)
        return defaultValue;
    DWORD type = registry::REG_NONE;
    DWORD size = 0;
    if (registry::RegQueryValueExA(section.get(), name, &type, nullptr, &size) !=
        registry::ERROR_SUCCESS)
        return defaultValue;
    QByteArray text;
    for (;;) {
        if (type != registry::REG_SZ && type != registry::REG_EXPAND_SZ)
            raiseDataType(name);
        text.resize(size);
        const registry::LONG status = registry::RegQueryValueExA(
            section.get(), name, &type, reinterpret_cast<BYTE *>(text.data()), &size);
        // Another instance may have changed the value since its size was asked.
        if (status == registry::ERROR_MORE_DATA)
            continue;
        if (status != registry::ERROR_SUCCESS)
            return defaultValue;
        if (type != registry::REG_SZ && type != registry::REG_EXPAND_SZ)
            raiseDataType(name);
        break;
    }
    text.truncate(size);
    if (const qsizetype end = text.indexOf('\0'); end >= 0)
        text.truncate(end);
    return parseInteger(text).value_or(defaultValue);
}

// One of the seven values as the load found it.
struct Found
{
    bool present = false;       // stored in the key it was read from
    std::optional<int> value;   // usable
    QString problem;            // why a present value is not usable, in German
};

QString typeName(DWORD type)
{
    switch (type) {
    case registry::REG_DWORD:
        return QStringLiteral("dword");
    case registry::REG_QWORD:
        return QStringLiteral("hex(b)");
    case registry::REG_BINARY:
        return QStringLiteral("hex");
    case registry::REG_MULTI_SZ:
        return QStringLiteral("hex(7)");
    default:
        return QStringLiteral("hex(%1)").arg(type, 0, 16);
    }
}

Found findInteger(HKEY store, const char *name)
{
    Found found;
    OpenKey section;
    if (registry::RegOpenKeyExA(store, Section, registry::KEY_READ, section.receive()) !=
        registry::ERROR_SUCCESS)
        return found;
    DWORD type = registry::REG_NONE;
    DWORD size = 0;
    if (registry::RegQueryValueExA(section.get(), name, &type, nullptr, &size) !=
        registry::ERROR_SUCCESS)
        return found;
    found.present = true;
    QByteArray text;
    for (;;) {
        if (type != registry::REG_SZ && type != registry::REG_EXPAND_SZ) {
            found.problem = QStringLiteral("Typ %1 statt Text").arg(typeName(type));
            return found;
        }
        text.resize(size);
        const registry::LONG status = registry::RegQueryValueExA(
            section.get(), name, &type, reinterpret_cast<BYTE *>(text.data()), &size);
        // Another instance may have changed the value since its size was asked.
        if (status == registry::ERROR_MORE_DATA)
            continue;
        if (status != registry::ERROR_SUCCESS) {
            found.present = false;
            return found;
        }
        if (type != registry::REG_SZ && type != registry::REG_EXPAND_SZ)
            continue;
        break;
    }
    text.truncate(size);
    if (const qsizetype end = text.indexOf('\0'); end >= 0)
        text.truncate(end);
    found.value = parseInteger(text);
    if (!found.value)
        found.problem = QStringLiteral("„%1“ ist keine ganze Zahl")
                            .arg(QString::fromUtf8(text.left(40)));
    return found;
}

void writeInteger(HKEY store, const char *name, int value, PendingWrite &pending)
{
    OpenKey section;
    DWORD disposition = 0;
    if (registry::RegCreateKeyExA(store, Section, registry::KEY_ALL_ACCESS, section.receive(),
                                  &disposition) != registry::ERROR_SUCCESS)
        raise("Failed to create key %s", Section);
    if (disposition == registry::REG_CREATED_NEW_KEY)
        pending.note("Failed to create key %s", Section);
    const QByteArray text = QByteArray::number(value);
    // The terminating zero is part of the stored string.
    if (registry::RegSetValueExA(section.get(), name, registry::REG_SZ,
                                 reinterpret_cast<const BYTE *>(text.constData()),
                                 DWORD(text.size() + 1)) != registry::ERROR_SUCCESS)
        raise("Failed to set data for '%s'", name);
    pending.note("Failed to set data for '%s'", name);
}

// Whole millimetres, ties to even whatever the rounding mode; beyond the 32-bit range the
// nearest end of it, so a huge distance is not stored as some unrelated one.
int millimetres(double meters)
{
    // Exact: a double times 1000 fits the 64-bit mantissa of long double.
    const long double exact = static_cast<long double>(meters) * 1000.0L;
    if (std::isnan(exact))
        return DefaultMillimetres;
    const long double below = std::floor(exact);
    const long double fraction = exact - below;
    long double rounded = below;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(below, 2.0L) != 0))
        rounded += 1;
    constexpr auto low = std::numeric_limits<std::int32_t>::min();
    constexpr auto high = std::numeric_limits<std::int32_t>::max();
    if (!(rounded > low))
        return low;
    if (!(rounded < high))
        return high;
    return int(rounded);
}

// A problem with the settings file found on the way is the first thing the user must
// learn; `cause` is the error that ended the load or save, if any.
void reportProblems(const QString &cause)
{
    const std::vector<registry::HiveProblem> problems = registry::RegistryStore::takeProblems();
    if (problems.empty())
        return;
    QStringList lines;
    for (const registry::HiveProblem &problem : problems)
        lines.append(problem.message());
    if (!cause.isEmpty())
        lines.append(cause);
    throw platform::ERegistryException(lines.join(u'\n'));
}

template <typename F> void reportingProblems(F &&body)
{
    try {
        body();
    } catch (const platform::ERegistryException &e) {
        reportProblems(e.message());
        throw;
    }
    reportProblems(QString());
}

// The seven values: their names, the range a value must lie in, and where they are in
// SettingsValues (as stored: distances in whole millimetres).
struct Field
{
    const char *name;
    int low;
    int high;
    int (*stored)(const SettingsValues &);
};
constexpr int FieldCount = 9;
constexpr Field Fields[FieldCount] = {
    // -1: no entry chosen in the list.
    {"COMPort", -1, 256, [](const SettingsValues &v) { return v.comPort; }},
    {"COMAlg", -1, 1, [](const SettingsValues &v) { return v.comAlg; }},
    {"Meters", 1, 1'000'000, [](const SettingsValues &v) { return millimetres(v.meters); }},
    // The five measurement modes.
    {"Mode", 0, 4, [](const SettingsValues &v) { return v.mode; }},
    {"FlagMeters", 1, 1'000'000, [](const SettingsValues &v) { return millimetres(v.flagMeters); }},
    {"MinDarkMs", 0, 100, [](const SettingsValues &v) { return v.minDarkMs; }},
    {"MinContactMs", 0, 100, [](const SettingsValues &v) { return v.minContactMs; }},
    {"PicketMeters", 1, 1'000'000, [](const SettingsValues &v) { return millimetres(v.picketMeters); }},
    {"PendulumMeters", 1, 1'000'000, [](const SettingsValues &v) { return millimetres(v.pendulumMeters); }},
};
const SettingsValues StoredDefaults{0,
                                    0,
                                    DefaultMillimetres / 1000.0,
                                    Defaults.mode,
                                    Defaults.flagMeters,
                                    Defaults.minDarkMs,
                                    Defaults.minContactMs,
                                    Defaults.picketMeters,
                                    Defaults.pendulumMeters};

// What this process's last load applied, so that a save writes only what changed since:
// a value another copy of the program stored meanwhile, or one this load refused and
// replaced by its default, is not overwritten with a value the user never chose.
struct LoadedValues
{
    std::array<int, FieldCount> applied{};
};
std::optional<LoadedValues> lastLoad;

} // namespace

void LoadSettings(SettingsTarget &target)
{
    const QStringList messages = LoadSettingsChecked(target);
    if (!messages.isEmpty())
        throw platform::ERegistryException(messages.join(u'\n'));
}

// One read of the settings file and at most one write, under its lock.
QStringList LoadSettingsChecked(SettingsTarget &target)
{
    registry::takeSystemFailure();
    QStringList messages;
    LoadedValues loaded;
    reportingProblems([&] {
        registry::RegistrySession session;
        PendingWrite pending;
        {
            OpenKey store;
            openStore(store, pending);
            OpenKey earlier;
            if (!hasSettings(store.get()))
                openEarlierStore(earlier);
            const HKEY from = earlier.get() ? earlier.get() : store.get();
            const QString file = registry::RegistryStore::defaultHivePath();
            for (int i = 0; i < FieldCount; ++i) {
                const Field &field = Fields[i];
                const int fallback = field.stored(StoredDefaults);
                const Found found = findInteger(from, field.name);
                int value = found.value.value_or(fallback);
                QString problem = found.problem;
                if (problem.isEmpty() && (value < field.low || value > field.high))
                    problem = QStringLiteral("%1 liegt nicht zwischen %2 und %3")
                                  .arg(value)
                                  .arg(field.low)
                                  .arg(field.high);
                if (!problem.isEmpty()) {
                    messages << QStringLiteral("Die Einstellung „%1“ in %2 ist unbrauchbar (%3); "
                                               "für diesen Lauf "
                                               "gilt %4, gespeichert wird nur, was Sie ändern.")
                                    .arg(QString::fromUtf8(field.name), file, problem)
                                    .arg(fallback);
                    value = fallback;
                }
                loaded.applied[std::size_t(i)] = value;
                switch (i) {
                case 0: target.applyComPort(value); break;
                case 1: target.applyComAlg(value); break;
                case 2: target.applyMeters(value / 1000.0L); break;
                case 3: target.applyMode(value); break;
                case 4: target.applyFlagMeters(value / 1000.0L); break;
                case 5: target.applyMinDarkMs(value); break;
                case 6: target.applyMinContactMs(value); break;
                case 7: target.applyPicketMeters(value / 1000.0L); break;
                default: target.applyPendulumMeters(value / 1000.0L); break;
                }
            }
        }
        pending.commit(session);
    });
    lastLoad = loaded;
    return messages;
}

void SaveSettings(const SettingsValues &values)
{
    registry::takeSystemFailure();
    reportingProblems([&values] {
        registry::RegistrySession session;
        PendingWrite pending;
        {
            OpenKey store;
            openStore(store, pending);
            for (int i = 0; i < FieldCount; ++i) {
                const Field &field = Fields[i];
                const int value = field.stored(values);
                // Unchanged since the load and stored: the file's value stays, whatever it is.
                const bool unchanged = lastLoad && lastLoad->applied[std::size_t(i)] == value;
                const bool keep = (unchanged || (i == 0 && values.keepStoredPort)) &&
                                  findInteger(store.get(), field.name).present;
                if (!keep)
                    writeInteger(store.get(), field.name, value, pending);
            }
        }
        pending.commit(session);
    });
}

int LoadSetting(const char *name, int defaultValue)
{
    int value = defaultValue;
    reportingProblems([&] {
        registry::RegistrySession session;
        OpenKey store;
        if (registry::RegOpenKeyExA(registry::HKEY_CURRENT_USER, StoreKey, registry::KEY_READ,
                                    store.receive()) == registry::ERROR_SUCCESS)
            value = readInteger(store.get(), name, defaultValue);
    });
    return value;
}

void SaveSetting(const char *name, int value)
{
    reportingProblems([&] {
        registry::RegistrySession session;
        PendingWrite pending;
        {
            OpenKey store;
            openStore(store, pending);
            writeInteger(store.get(), name, value, pending);
        }
        pending.commit(session);
    });
}

ClassViewSettings LoadClassViewSettings()
{
    ClassViewSettings values;
    values.on = LoadSetting("ClassView", 0) == 1;
    const int port = LoadSetting("ClassViewPort", values.port);
    if (port >= 1 && port <= 65535)
        values.port = port;
    return values;
}

void SaveClassViewSettings(const ClassViewSettings &values)
{
    SaveSetting("ClassView", values.on ? 1 : 0);
    SaveSetting("ClassViewPort", values.port);
}

} // namespace settings
