#pragma once

#include "MoCatalog.h"
#include "TranslationCache.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

class TEmbeddedStore;

// One text domain: finds its catalog for the current language (in the store first, then
// on disk), takes its bytes and searches them in place.
//
// The catalog is closed and searchable, closed after a failed search (lookups return
// their keys without touching the disk), or open. Changing the folder or the language
// makes it closed and searchable again.
//
// Any thread may look up at any time. An opened catalog is published only once it has
// been checked, and every lookup holds the catalog it searches: closing a catalog (or
// finding it damaged) frees it only when the last lookup that uses it is done.
class TDomain
{
public:
    // An opened catalog: its own copy of the catalog's bytes, the search over them and
    // the translations decoded so far. The bytes are copied out of the file rather than
    // mapped, so a file cut short on disk while the program runs cannot fault a lookup.
    struct TCatalogData
    {
        std::unique_ptr<unsigned char[]> bytes;
        std::uint64_t size = 0;
        TMoCatalog catalog;
        mutable TTranslationCache translations;
        QString openedPath;

        TCatalogData(std::uint32_t count, QString path)
            : translations(count), openedPath(std::move(path))
        {
        }
    };
    using TCatalogRef = std::shared_ptr<const TCatalogData>;

    TDomain(QString name, const TEmbeddedStore *store);
    ~TDomain();
    TDomain(const TDomain &) = delete;
    TDomain &operator=(const TDomain &) = delete;

    // Both close the catalog first. The folder ends in a separator.
    void SetCatalogFolder(const QString &folder);
    void SetCatalogLanguage(const QString &code);

    // The translation as bytes of the catalog, or the key itself when there is none.
    // The view stays valid until the catalog is closed; threads that may close it
    // concurrently use LookupEntry and hold the catalog it gives.
    std::string_view Lookup(std::string_view key) { return LookupEntry(key).text; }
    // The same, whether it is a translation and of which entry, and the catalog that
    // holds the text.
    struct TFound
    {
        std::string_view text;
        std::uint32_t entry = 0;
        bool translated = false;
        TCatalogRef catalog;
    };
    TFound LookupEntry(std::string_view key);
    QString HeaderValue(const QString &fieldName);

    void OpenCatalog();
    void CloseCatalog();

    const QString &Name() const { return m_name; }
    QString Directory() const { return m_directory; }
    QString LanguageCode() const { return m_languageCode; }
    bool IsOpen() const { return m_catalog.load(std::memory_order_acquire) != nullptr; }
    bool MayOpen() const { return m_mayOpen; }
    // The file that was opened: the executable itself for a stored catalog.
    QString OpenedPath() const;

private:
    bool HasFile(const QString &path) const;
    [[noreturn]] void RaiseNotValid(const TCatalogRef &damaged);

    QString m_directory;
    QString m_name;
    // Taken to open, close or replace the catalog; never by a search.
    std::mutex m_catalogLock;
    QString m_languageCode;
    // Null while closed. Replaced only under the catalog lock's write side; read by
    // every lookup without it.
    std::atomic<TCatalogRef> m_catalog;
    std::atomic<bool> m_mayOpen = true;
    const TEmbeddedStore *m_store = nullptr;
};
