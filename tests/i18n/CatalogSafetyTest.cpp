// Catalogs under the conditions a running program meets: lookups from several threads
// while catalogs open, fail and close; files that change or are no files at all.

#include "i18n/TestFiles.h"

#include "i18n/Domain.h"
#include "i18n/Translation.h"
#include "i18n/TranslationCache.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace testfiles;

namespace {

class CatalogSafetyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QLatin1Char('/');
        for (const char *name : {"LANG", "LC_ALL", "LC_MESSAGES"})
            m_environment.set(name, std::nullopt);
    }

    QString catalogPath(const QString &language, const QString &domain) const
    {
        return m_folder + "locale/" + language + "/LC_MESSAGES/" + domain + ".mo";
    }

    // A catalog whose search meets a key descriptor pointing outside the file.
    QByteArray damagedCatalog() const
    {
        QByteArray bytes = read(catalog("normal"));
        const std::uint32_t keyTable = get32(bytes, 12);
        put32(bytes, keyTable + 4 * 8 + 4, 0xFFFFFFF0);
        return bytes;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    EnvironmentGuard m_environment;
};

// Several threads translate while others keep opening, failing and closing catalogs and
// adding domains. Run under ThreadSanitizer and AddressSanitizer this is the test that
// a closed catalog's memory outlives its readers and that the domain list takes
// additions while it is read.
TEST_F(CatalogSafetyTest, ThreadsLookUpWhileBadCatalogsOpenAndClose)
{
    placeCatalog(m_folder + "locale", "de", "default", catalog("normal"));
    placeCatalog(m_folder + "locale", "de", "charset", catalog("latin1"));
    write(catalogPath("de", "damaged"), damagedCatalog());
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");

    std::atomic<bool> stop = false;
    std::atomic<int> wrong = 0;
    std::atomic<int> lookups = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const char *keys[] = {"Open", "Cancel", "Quit", "a", "Line one\nLine two"};
            for (int i = 0; !stop || i < 300; ++i) {
                const char *key = keys[(i + t) % std::size(keys)];
                try {
                    const QString good = engine.TranslateInDomain("default", key);
                    if (good.isEmpty() || good == QLatin1String(key))
                        ++wrong;
                    engine.TranslateInDomain(i % 2 ? "damaged" : "charset", key);
                    // New domains while the others read the list.
                    engine.TranslateInDomain(QStringLiteral("extra%1-%2").arg(t).arg(i % 40), key);
                } catch (const platform::TfError &) {
                    // The bad catalogs raise their errors; what counts is that nothing breaks.
                }
                ++lookups;
            }
        });
    }
    // Closing catalogs under the readers' feet: the damaged one is found damaged again
    // at its next search, the default one reopened.
    for (int i = 0; i < 300; ++i) {
        engine.DomainFor("damaged")->CloseCatalog();
        engine.DomainFor("charset")->CloseCatalog();
        if (i % 10 == 0)
            engine.DomainFor("default")->CloseCatalog();
        std::this_thread::yield();
    }
    stop = true;
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(lookups, 1200);
}

TEST_F(CatalogSafetyTest, ToolkitTextsFromThreadsWhileDomainsAreAdded)
{
    placeCatalog(m_folder + "locale", "de", "toolkit", catalog("normal"));
    placeCatalog(m_folder + "locale", "de", "charset", catalog("latin1"));
    i18n::Translation::startUp(m_folder + "tachoflux", 0);
    i18n::LanguageSetup();
    std::atomic<bool> stop = false;
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            while (!stop) {
                try {
                    if (i18n::TranslateResourceText("&Yes") != "&Ja")
                        ++wrong;
                } catch (const platform::TfError &) {
                    // "charset" comes after "toolkit" and is never reached for "&Yes".
                    ++wrong;
                }
            }
        });
    }
    for (int i = 0; i < 200; ++i)
        i18n::AddResourceStringDomain(QStringLiteral("added%1").arg(i));
    i18n::AddResourceStringDomain("charset");
    stop = true;
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    i18n::Translation::shutDown();
}

TEST_F(CatalogSafetyTest, CatalogCutShortOnDiskWhileOpenKeepsTranslating)
{
    const QString path = placeCatalog(m_folder + "locale", "de", "default", catalog("normal"));
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    EXPECT_EQ(engine.TranslateInDomain("default", "Open"), "Öffnen");
    // Another program rewrites the file in place: first it is cut to nothing.
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 0), 0);
    EXPECT_EQ(engine.TranslateInDomain("default", "Quit"), "Beenden");
    EXPECT_EQ(engine.TranslateInDomain("default", "€ sign"), "Eurozeichen");
    // Opened again, the cut file is no catalog.
    engine.DomainFor("default")->CloseCatalog();
    EXPECT_THROW(engine.TranslateInDomain("default", "Open"), platform::TfError);
    EXPECT_EQ(engine.TranslateInDomain("default", "Open"), "Open");
}

TEST_F(CatalogSafetyTest, FifosAndDevicesAreNoCatalogsAndNeverBlock)
{
    // Without the check, opening the FIFO would wait for a writer for ever.
    const QString fifo = catalogPath("de", "default");
    write(fifo, {});
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = catalogPath("de_DE", "default");
    write(device, {});
    QFile::remove(device);
    ASSERT_TRUE(QFile::link("/dev/zero", device));

    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de_DE");
    EXPECT_EQ(engine.TranslateInDomain("default", "Open"), "Open");
    EXPECT_FALSE(engine.DomainFor("default")->MayOpen());
    // A real catalog beside them under "de" is still found for "de_AT".
    placeCatalog(m_folder + "locale", "de", "toolkit", catalog("normal"));
    engine.SelectLanguage("de_AT");
    EXPECT_EQ(engine.TranslateInDomain("toolkit", "Open"), "Öffnen");
}

TEST_F(CatalogSafetyTest, UnpairedSurrogatesStayPartOfTheKey)
{
    placeCatalog(m_folder + "locale", "de", "default", catalog("normal"));
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    for (const char16_t surrogate : {char16_t(0xD800), char16_t(0xDC00)}) {
        const QString trailing = QStringLiteral("&Yes") + QChar(surrogate);
        EXPECT_EQ(engine.TranslateInDomain("default", trailing), trailing);
        const QString inside = QStringLiteral("Op") + QChar(surrogate) + QStringLiteral("en");
        EXPECT_EQ(engine.TranslateInDomain("default", inside), inside);
    }
    EXPECT_EQ(engine.TranslateInDomain("default", "&Yes"), "&Ja");
}

TEST(TranslationCacheTest, KeptTextsStayWithinTheirBudget)
{
    const QString text(100, QLatin1Char('x'));
    const std::size_t cost = i18n::TTranslationCache::Cost(text);
    i18n::TTranslationCache cache(50, cost * 10);
    for (std::uint32_t entry = 0; entry < 50; ++entry)
        EXPECT_EQ(cache.Keep(entry, text), text);
    EXPECT_EQ(cache.KeptBytes(), cost * 10);
    int kept = 0;
    for (std::uint32_t entry = 0; entry < 50; ++entry)
        kept += cache.Find(entry) != nullptr;
    EXPECT_EQ(kept, 10);
    // The first text kept for an entry stays; a second one costs nothing.
    EXPECT_EQ(cache.Keep(3, QStringLiteral("other")), text);
    EXPECT_EQ(cache.KeptBytes(), cost * 10);
    EXPECT_EQ(cache.Keep(50, text), text);
}

} // namespace
