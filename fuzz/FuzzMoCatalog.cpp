// Any bytes as a catalog: the in-memory reader directly, then the whole way through the
// engine (mapping, header and charset check, UTF-8 decoding) from a file on disk.

#include "i18n/Domain.h"
#include "i18n/MoCatalog.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void searchInMemory(const std::uint8_t *data, std::size_t size)
{
    i18n::TMoCatalog catalog;
    if (!catalog.Attach(data, size))
        return;
    // Every key the catalog holds must be found again, unless a descriptor is damaged.
    const std::uint32_t count = catalog.Count() < 512 ? catalog.Count() : 512;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view key;
        std::string_view translation;
        if (!catalog.KeyAt(i, key) || !catalog.TranslationAt(i, translation))
            continue;
        std::string_view found;
        catalog.Find(key, found);
    }
    std::string_view found;
    for (std::string_view key : {"", "&Yes", "Cancel", "\xff\xff", "zzzzzzzzzzzzzzzz"})
        catalog.Find(key, found);
}

void translateFromFile(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    static const QString folder = dir.path() + QStringLiteral("/");
    static const QString path = folder + QStringLiteral("locale/de/LC_MESSAGES/default.mo");
    static const bool made = QDir().mkpath(folder + QStringLiteral("locale/de/LC_MESSAGES"));
    if (!made)
        std::abort();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qsizetype(size));
    }
    i18n::TTranslationEngine engine(folder, nullptr);
    engine.SelectLanguage(QStringLiteral("de"));
    for (const char *key : {"Cancel", "&Yes", "Line one\r\nLine two", "\xc3\x84rger", "a"}) {
        try {
            engine.TranslateInDomain(QStringLiteral("default"), QString::fromUtf8(key));
        } catch (const platform::TfError &) {
            // Damaged catalogs are reported this way; that is their expected end.
        }
    }
    try {
        engine.DomainFor(QStringLiteral("default"))->HeaderValue(QStringLiteral("Content-Type"));
    } catch (const platform::TfError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    searchInMemory(data, size);
    translateFromFile(data, size);
    return 0;
}
