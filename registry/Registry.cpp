#include "registry/Registry.h"

#include "registry/RegistryStore.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>

namespace registry {

struct RegKey
{
    QString hivePath; // empty for the predefined key: the hive is found anew on every call
    QString path;
    REGSAM access = 0;
};

struct RegSessionState
{
    QString hivePath;
    std::unique_ptr<LockedHive> hive;
    bool changed = false;
    RegSessionState *outer = nullptr;
};

namespace {

thread_local RegSessionState *t_session = nullptr;

RegKey g_currentUser{QString(), QString(), KEY_ALL_ACCESS};

std::mutex &handleMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<const RegKey *> &openHandles()
{
    static std::unordered_set<const RegKey *> handles;
    return handles;
}

// What a call needs of a handle, copied while the handle is known to be open.
std::optional<RegKey> lookUp(HKEY key)
{
    if (key == &g_currentUser)
        return RegKey{RegistryStore::defaultHivePath(), QString(), KEY_ALL_ACCESS};
    const std::lock_guard<std::mutex> guard(handleMutex());
    if (!openHandles().contains(key))
        return std::nullopt;
    return *key;
}

HKEY newHandle(const QString &hivePath, const QString &path, REGSAM access)
{
    auto *key = new RegKey{hivePath, path, access};
    const std::lock_guard<std::mutex> guard(handleMutex());
    openHandles().insert(key);
    return key;
}

// `subKey` below `base`; only the backslash separates levels.
LONG subKeyPath(const QString &base, const char *subKey, QString &path)
{
    const QString relative = subKey ? QString::fromUtf8(subKey) : QString();
    if (relative.isEmpty()) {
        path = base;
        return ERROR_SUCCESS;
    }
    for (const QString &name : relative.split(u'\\')) {
        if (name.isEmpty())
            return ERROR_BAD_PATHNAME;
        if (!RegFile::isValidKeyName(name))
            return ERROR_INVALID_PARAMETER;
    }
    path = base.isEmpty() ? relative : base + u'\\' + relative;
    return ERROR_SUCCESS;
}

// This thread's session, if it has one on the hive at `hivePath`.
RegSessionState *sessionOn(const QString &hivePath)
{
    return t_session && t_session->hivePath == hivePath ? t_session : nullptr;
}

LONG beyondLimits(const QString &hivePath, RegLimit limit)
{
    RegistryStore::report(
        {HiveProblem::BeyondLimits, hivePath, hivePath, QString(), describeLimit(limit)});
    return ERROR_REGISTRY_QUOTA_LIMIT;
}

// Makes the key at `path` in a hive read under its lock; `created` tells whether it was new.
LONG createIn(LockedHive &locked, const QString &hivePath, const QString &path, bool &created)
{
    created = false;
    if (locked.status() != ERROR_SUCCESS)
        return locked.status();
    if (locked.hive().hasKey(path))
        return ERROR_SUCCESS;
    if (locked.writeStatus() != ERROR_SUCCESS)
        return locked.writeStatus();
    RegLimit exceeded = RegLimit::None;
    created = locked.hive().createKey(path, &exceeded);
    if (!created)
        return exceeded == RegLimit::None ? ERROR_INVALID_PARAMETER
                                          : beyondLimits(hivePath, exceeded);
    return ERROR_SUCCESS;
}

LONG setIn(LockedHive &locked, const QString &hivePath, const QString &path, const QString &name,
           const RegValue &value, bool &changed)
{
    changed = false;
    if (locked.status() != ERROR_SUCCESS)
        return locked.status();
    // Setting what is already there needs no write, so it succeeds where nothing can be
    // written.
    if (const RegValue *existing = locked.hive().value(path, name);
        existing && *existing == value)
        return ERROR_SUCCESS;
    if (locked.writeStatus() != ERROR_SUCCESS)
        return locked.writeStatus();
    RegLimit exceeded = RegLimit::None;
    changed = locked.hive().setValue(path, name, value, &exceeded);
    return exceeded == RegLimit::None ? ERROR_SUCCESS : beyondLimits(hivePath, exceeded);
}

LONG openKey(HKEY key, const char *subKey, REGSAM access, HKEY *result, bool create,
             DWORD *disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const std::optional<RegKey> parent = lookUp(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (create && !(parent->access & KEY_CREATE_SUB_KEY))
        return ERROR_ACCESS_DENIED;
    QString path;
    if (const LONG status = subKeyPath(parent->path, subKey, path); status != ERROR_SUCCESS)
        return status;

    bool created = false;
    QString spelling;
    if (RegSessionState *session = sessionOn(parent->hivePath)) {
        LockedHive &locked = *session->hive;
        if (!create && locked.status() == ERROR_SUCCESS && !locked.hive().hasKey(path))
            return ERROR_FILE_NOT_FOUND;
        if (const LONG status = createIn(locked, parent->hivePath, path, created);
            status != ERROR_SUCCESS)
            return status;
        session->changed |= created;
        spelling = locked.hive().keyPath(path);
    } else {
        const RegistryStore store(parent->hivePath);
        RegFile hive;
        if (const LONG status = store.read(hive); status != ERROR_SUCCESS)
            return status;
        if (hive.hasKey(path)) {
            spelling = hive.keyPath(path);
        } else {
            if (!create)
                return ERROR_FILE_NOT_FOUND;
            LockedHive locked(store);
            if (const LONG status = createIn(locked, parent->hivePath, path, created);
                status != ERROR_SUCCESS)
                return status;
            if (created) {
                if (const LONG status = locked.write(); status != ERROR_SUCCESS)
                    return status;
            }
            spelling = locked.hive().keyPath(path);
        }
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = newHandle(parent->hivePath, spelling, access);
    return ERROR_SUCCESS;
}

} // namespace

const HKEY HKEY_CURRENT_USER = &g_currentUser;

LONG RegCreateKeyExA(HKEY key, const char *subKey, REGSAM access, HKEY *result, DWORD *disposition)
{
    return openKey(key, subKey, access, result, true, disposition);
}

LONG RegOpenKeyExA(HKEY key, const char *subKey, REGSAM access, HKEY *result)
{
    return openKey(key, subKey, access, result, false, nullptr);
}

LONG RegQueryValueExA(HKEY key, const char *valueName, DWORD *type, BYTE *data, DWORD *size)
{
    const std::optional<RegKey> handle = lookUp(key);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;

    RegFile read;
    const RegFile *session = nullptr;
    if (RegSessionState *state = sessionOn(handle->hivePath)) {
        if (state->hive->status() != ERROR_SUCCESS)
            return state->hive->status();
        session = &state->hive->hive();
    } else if (const LONG status = RegistryStore(handle->hivePath).read(read);
               status != ERROR_SUCCESS) {
        return status;
    }
    const RegFile &hive = session ? *session : read;
    if (!hive.hasKey(handle->path))
        return ERROR_KEY_DELETED;
    const RegValue *value =
        hive.value(handle->path, valueName ? QString::fromUtf8(valueName) : QString());
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    const QByteArray bytes = value->toAnsi();
    const auto needed = DWORD(bytes.size());
    if (type)
        *type = value->type;
    if (!data) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.constData(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char *valueName, DWORD type, const BYTE *data, DWORD size)
{
    const std::optional<RegKey> handle = lookUp(key);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && size > 0)
        return ERROR_INVALID_PARAMETER;
    const QString name = valueName ? QString::fromUtf8(valueName) : QString();
    if (!RegFile::isValidValueName(name))
        return ERROR_INVALID_PARAMETER;

    const RegValue value = RegValue::fromAnsi(
        type, QByteArray(reinterpret_cast<const char *>(data), data ? qsizetype(size) : 0));
    bool changed = false;
    if (RegSessionState *session = sessionOn(handle->hivePath)) {
        const LONG status =
            setIn(*session->hive, handle->hivePath, handle->path, name, value, changed);
        session->changed |= changed;
        return status;
    }
    LockedHive locked{RegistryStore(handle->hivePath)};
    if (const LONG status = setIn(locked, handle->hivePath, handle->path, name, value, changed);
        status != ERROR_SUCCESS)
        return status;
    return changed ? locked.write() : ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char *name, DWORD *nameSize)
{
    const std::optional<RegKey> handle = lookUp(key);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (!name || !nameSize)
        return ERROR_INVALID_PARAMETER;
    RegFile read;
    const RegFile *hive = &read;
    if (RegSessionState *state = sessionOn(handle->hivePath)) {
        if (state->hive->status() != ERROR_SUCCESS)
            return state->hive->status();
        hive = &state->hive->hive();
    } else if (const LONG status = RegistryStore(handle->hivePath).read(read);
               status != ERROR_SUCCESS) {
        return status;
    }
    if (!hive->hasKey(handle->path))
        return ERROR_KEY_DELETED;
    const QStringList names = hive->subKeyNames(handle->path);
    if (index >= DWORD(names.size()))
        return ERROR_NO_MORE_ITEMS;
    const QByteArray bytes = names[qsizetype(index)].toUtf8();
    if (DWORD(bytes.size()) >= *nameSize) {
        *nameSize = DWORD(bytes.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, bytes.constData(), std::size_t(bytes.size()) + 1);
    *nameSize = DWORD(bytes.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (key == &g_currentUser)
        return ERROR_SUCCESS;
    {
        const std::lock_guard<std::mutex> guard(handleMutex());
        if (openHandles().erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

RegistrySession::RegistrySession()
{
    const QString hivePath = RegistryStore::defaultHivePath();
    if (sessionOn(hivePath))
        return;
    m_state = std::make_unique<RegSessionState>();
    m_state->hivePath = hivePath;
    m_state->hive = std::make_unique<LockedHive>(RegistryStore(hivePath));
    m_state->outer = t_session;
    t_session = m_state.get();
}

RegistrySession::~RegistrySession()
{
    if (!m_state)
        return;
    commit();
    t_session = m_state->outer;
}

LONG RegistrySession::commit()
{
    if (!m_state || !m_state->changed)
        return ERROR_SUCCESS;
    // Tried once: a failed write is not repeated when the session ends.
    m_state->changed = false;
    return m_state->hive->write();
}

} // namespace registry
