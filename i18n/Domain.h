#pragma once

#include "i18n/MoCatalog.h"
#include "i18n/TranslationCache.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace i18n {

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

    // Held by a lookup for as long as it uses the catalog it searched: a catalog closed
    // or replaced meanwhile is freed only once no lookup holds any.
    class TReadGuard
    {
    public:
        TReadGuard() = default;
        explicit TReadGuard(TDomain *domain);
        ~TReadGuard();
        TReadGuard(TReadGuard &&other) noexcept : m_domain(std::exchange(other.m_domain, nullptr)) {}
        TReadGuard &operator=(TReadGuard &&) = delete;
        TReadGuard(const TReadGuard &) = delete;
        TReadGuard &operator=(const TReadGuard &) = delete;

    private:
        TDomain *m_domain = nullptr;
    };

    TDomain(QString name, const TEmbeddedStore *store);
    ~TDomain();
    TDomain(const TDomain &) = delete;
    TDomain &operator=(const TDomain &) = delete;

    // Both close the catalog first. The folder ends in a separator.
    void SetCatalogFolder(const QString &folder);
    void SetCatalogLanguage(const QString &code);

    // The translation as bytes of the catalog, or the key itself when there is none.
    // The view stays valid until the catalog is closed; threads that may close it
    // concurrently use LookupEntry and keep what it gives while they use the text.
    std::string_view Lookup(std::string_view key) { return LookupEntry(key).text; }
    // The same, whether it is a translation and of which entry, and the catalog that
    // holds the text, held until the result goes.
    struct TFound
    {
        std::string_view text;
        std::uint32_t entry = 0;
        bool translated = false;
        const TCatalogData *catalog = nullptr;
        TReadGuard guard;
    };
    TFound LookupEntry(std::string_view key);
    QString HeaderValue(const QString &fieldName);

    void OpenCatalog();
    void CloseCatalog();

    const QString &Name() const { return m_name; }
    QString Directory() const { return m_directory; }
    QString LanguageCode() const { return m_languageCode; }
    bool IsOpen() const { return m_catalog.load() != nullptr; }
    bool MayOpen() const { return m_mayOpen; }
    // The file that was opened: the executable itself for a stored catalog.
    QString OpenedPath() const;

private:
    bool HasFile(const QString &path) const;
    // OpenCatalog, giving the catalog that is open afterwards (null if none).
    const TCatalogData *OpenAndGet();
    // Under the catalog lock: makes data the catalog (null: closed); the one it replaces
    // is kept until no lookup holds a catalog.
    void Publish(std::unique_ptr<TCatalogData> data);
    void ReclaimRetired();
    [[noreturn]] void RaiseNotValid(const TCatalogData *damaged);

    QString m_directory;
    QString m_name;
    // Taken to open, close or replace the catalog; never by a search.
    std::mutex m_catalogLock;
    QString m_languageCode;
    // What lookups search, without a lock; owned by m_owned.
    std::atomic<const TCatalogData *> m_catalog = nullptr;
    std::unique_ptr<TCatalogData> m_owned;
    // Catalogs replaced while lookups may still hold them, and how many lookups do.
    std::vector<std::unique_ptr<TCatalogData>> m_retired;
    std::atomic<bool> m_anyRetired = false;
    std::atomic<int> m_readers = 0;
    std::atomic<bool> m_mayOpen = true;
    const TEmbeddedStore *m_store = nullptr;
};

} // namespace i18n
