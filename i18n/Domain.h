#pragma once

#include "MoCatalog.h"
#include "TranslationCache.h"

#include <QReadWriteLock>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string_view>

class TEmbeddedStore;

// One text domain: finds its catalog for the current language (in the store first, then
// on disk), maps it read-only and searches it in place.
//
// The catalog is closed and searchable, closed after a failed search (lookups return
// their keys without touching the disk), or open. Changing the folder or the language
// makes it closed and searchable again.
class TDomain
{
public:
    TDomain(QString name, const TEmbeddedStore *store);
    ~TDomain();
    TDomain(const TDomain &) = delete;
    TDomain &operator=(const TDomain &) = delete;

    // Both close the catalog first. The folder ends in a separator.
    void SetCatalogFolder(const QString &folder);
    void SetCatalogLanguage(const QString &code);

    // The translation as bytes of the mapped catalog, or the key itself when there is
    // none. The view stays valid until the catalog is closed.
    std::string_view Lookup(std::string_view key) { return LookupEntry(key).text; }
    // The same, and whether it is a translation and of which entry.
    struct TFound
    {
        std::string_view text;
        std::uint32_t entry = 0;
        bool translated = false;
    };
    TFound LookupEntry(std::string_view key);
    // Translations decoded for the engine, by entry; emptied whenever the catalog closes.
    TTranslationCache &Translations() { return m_translations; }
    QString HeaderValue(const QString &fieldName);

    void OpenCatalog();
    void CloseCatalog();

    const QString &Name() const { return m_name; }
    QString Directory() const { return m_directory; }
    QString LanguageCode() const { return m_languageCode; }
    bool IsOpen() const { return m_open; }
    bool MayOpen() const { return m_mayOpen; }
    // The file that was mapped: the executable itself for a stored catalog.
    QString OpenedPath() const { return m_openedPath; }

private:
    bool HasFile(const QString &path) const;
    void Unmap();
    [[noreturn]] void RaiseNotValid();

    QString m_directory;
    QString m_name;
    QReadWriteLock m_catalogLock;
    std::uint64_t m_dataPosition = 0;
    void *m_view = nullptr;
    std::uint64_t m_viewSize = 0;
    QString m_languageCode;
    // Read without the lock by every lookup; written under it.
    std::atomic<bool> m_open = false;
    std::atomic<bool> m_mayOpen = true;
    QString m_openedPath;
    TMoCatalog m_catalog;
    TTranslationCache m_translations;
    const TEmbeddedStore *m_store = nullptr;
};
