#pragma once

#include "registry/RegistryTypes.h"

#include <memory>

// The per-user registry, with the calls and the behaviour of the Windows registry: keys
// below HKEY_CURRENT_USER whose names may hold any character but the backslash that
// separates them, compared without regard to case, and typed values. Names and string
// data are UTF-8 (the "ANSI" code page here); sizes count bytes and, for strings written
// with it, the terminating zero. The hive lives in the user's config folder (see
// RegistryStore); every call reads the current file and every change is saved before the
// call returns, so instances running side by side see each other's values, unless the
// calls run in a RegistrySession. A key path or value beyond RegLimits is refused with
// ERROR_REGISTRY_QUOTA_LIMIT and reported (RegistryStore::takeProblems).
namespace registry {

struct RegKey;
using HKEY = RegKey *;

// Always open; closing it does nothing.
extern const HKEY HKEY_CURRENT_USER;

// Opens `subKey` below `key`, creating it and its missing parents first. `disposition`
// (if given) tells REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Creating needs
// KEY_CREATE_SUB_KEY on `key`. An empty or null `subKey` opens `key` again.
LONG RegCreateKeyExA(HKEY key, const char *subKey, REGSAM access, HKEY *result,
                     DWORD *disposition = nullptr);
// Opens an existing key; ERROR_FILE_NOT_FOUND if it does not exist.
LONG RegOpenKeyExA(HKEY key, const char *subKey, REGSAM access, HKEY *result);
// With `data` null only the type and size are returned. A buffer too small for the data
// gives ERROR_MORE_DATA and the size needed. Needs KEY_QUERY_VALUE.
LONG RegQueryValueExA(HKEY key, const char *valueName, DWORD *type, BYTE *data, DWORD *size);
// Needs KEY_SET_VALUE. A key removed meanwhile (its hive was found damaged and set aside)
// is made again, so the value is not lost.
LONG RegSetValueExA(HKEY key, const char *valueName, DWORD type, const BYTE *data, DWORD size);
// The name of the subkey number `index` (in name order) of `key`, with its terminating zero
// into `name`; `nameSize` gives the buffer's size and returns the name's length without the
// zero. ERROR_NO_MORE_ITEMS past the last one, ERROR_MORE_DATA if the buffer is too small.
// Needs KEY_ENUMERATE_SUB_KEYS.
LONG RegEnumKeyExA(HKEY key, DWORD index, char *name, DWORD *nameSize);
LONG RegCloseKey(HKEY key);

struct RegSessionState;

// While one lives, the registry calls of its thread on the user's hive work on one copy
// of it: read once, under the hive's lock, when the session begins, and written at most
// once, by commit() or when the session ends. Other instances wait for the lock meanwhile.
// A session begun inside another on the same thread joins the outer one.
class RegistrySession
{
public:
    RegistrySession();
    // Commits what commit() has not; a failure then goes unreported.
    ~RegistrySession();
    RegistrySession(const RegistrySession &) = delete;
    RegistrySession &operator=(const RegistrySession &) = delete;

    // Writes the changes made so far, if any.
    LONG commit();

private:
    std::unique_ptr<RegSessionState> m_state;
};

} // namespace registry
