#include "i18n/TestFiles.h"

#include "i18n/Domain.h"
#include "i18n/EmbeddedStore.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

using namespace testfiles;

namespace {

// Runs a translation and gives its text or the error's text.
QString outcome(const std::function<QString()> &translate)
{
    try {
        return translate();
    } catch (const platform::TfError &error) {
        return QStringLiteral("error: ") + error.message();
    }
}

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QLatin1Char('/');
        m_locale = m_folder + "locale";
        for (const char *name : {"LANG", "LC_ALL", "LC_MESSAGES"})
            m_environment.set(name, std::nullopt);
    }

    QString place(const QString &language, const QString &catalogName,
                  const QString &domain = QStringLiteral("default"))
    {
        return placeCatalog(m_locale, language, domain, catalog(catalogName));
    }

    QString placeBytes(const QString &language, const QByteArray &bytes)
    {
        const QString path = m_locale + "/" + language + "/LC_MESSAGES/default.mo";
        write(path, bytes);
        return path;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QString m_locale;
    EnvironmentGuard m_environment;
};

struct LookupRow
{
    const char *key;
    const char *expected;
};

class LookupTest : public EngineTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(LookupTest, TranslatesHitsAndReturnsMissesWithCrLfLineBreaks)
{
    place("de", GetParam());
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    const LookupRow rows[] = {
        {"Cancel", "Abbrechen"},
        {"Open", "Öffnen"},
        {"Save", "Speichern"},
        {"Save as", "Speichern unter"},
        {"Sav", "Sav"},
        {"Save as ", "Save as "},
        {"cancel", "cancel"},
        {"CANCEL", "CANCEL"},
        {"Ärger", "Trouble"},
        {"€ sign", "Eurozeichen"},
        {"&Yes", "&Ja"},
        {"a", "ein"},
        {"\x01", "\x01"},
        {"zzz", "zzz"},
        {"Line one\r\nLine two", "Zeile eins\r\nZeile zwei"},
        {"Line one\nLine two", "Zeile eins\r\nZeile zwei"},
        {"Line one\rLine two", "Line oneLine two"},
        {"Bare\nline", "Bare\r\nline"},
        {"Kept\r\n\r\nas is", "Kept\r\n\r\nas is"},
        {"\n", "\r\n"},
    };
    for (const LookupRow &row : rows) {
        EXPECT_EQ(engine.TranslateInDomain("default", QString::fromUtf8(row.key)),
                  QString::fromUtf8(row.expected))
            << row.key;
    }
    // Keys of CRs alone are the empty key once the CRs are gone: the catalog's header.
    const QString header = engine.TranslateInDomain("default", "");
    EXPECT_TRUE(header.startsWith("Project-Id-Version: Tachoflux tests\r\nLanguage: de\r\n"));
    EXPECT_EQ(engine.TranslateInDomain("default", "\r"), header);
    EXPECT_EQ(engine.TranslateInDomain("default", "\r\r\r"), header);
}

TEST_P(LookupTest, LongKeysComeBackWhole)
{
    place("de", GetParam());
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    for (const QString &key : {QString(300, QLatin1Char('x')), QString(200, QChar(0x20AC)),
                               QString(250, QLatin1Char('y')) + "\nÄ\r\n"}) {
        QString expected = key;
        expected.replace("\r\n", "\n").replace("\n", "\r\n");
        EXPECT_EQ(engine.TranslateInDomain("default", key), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, LookupTest, ::testing::Values("normal", "normal-be"));

TEST_F(EngineTest, LineBreaksAreFoundWhereverTheyStandInTheKey)
{
    // Keys are read in blocks of eight and four characters and then one by one; a break
    // may fall in any of them.
    place("de", "normal");
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    for (int length = 1; length <= 20; ++length) {
        for (int at = 0; at < length; ++at) {
            QString key(length, QLatin1Char('x'));
            key[at] = QLatin1Char('\n');
            EXPECT_EQ(engine.TranslateInDomain("default", key), QString(key).replace("\n", "\r\n"))
                << length << " " << at;
            key[at] = QLatin1Char('\r');
            const QString withoutCr = QString(key).remove('\r');
            // A key of a CR alone asks for the header.
            EXPECT_EQ(engine.TranslateInDomain("default", key),
                      withoutCr.isEmpty() ? engine.TranslateInDomain("default", "") : withoutCr)
                << length << " " << at;
            key[at] = QChar(0x0E);
            EXPECT_EQ(engine.TranslateInDomain("default", key), key) << length << " " << at;
        }
    }
}

TEST_F(EngineTest, TranslationsKeptForACatalogGoWhenItCloses)
{
    // "&Yes" of the one catalog and "Cancel" of the other are both entry 1, so a text
    // kept from the first catalog would come back for the second.
    place("de", "normal");
    place("de_DE", "regional");
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    EXPECT_EQ(engine.TranslateInDomain("default", "&Yes"), "&Ja");
    engine.SelectLanguage("de_DE");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen (de_DE)");
    engine.SelectLanguage("de");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");

    QTemporaryDir other;
    placeCatalog(other.path(), "de", "default", catalog("regional"));
    engine.BindDomainFolder("default", other.path());
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen (de_DE)");

    // Closed, the file replaced, opened again by the next lookup.
    engine.DomainFor("default")->CloseCatalog();
    placeCatalog(other.path(), "de", "default", catalog("normal"));
    EXPECT_EQ(engine.TranslateInDomain("default", "&Yes"), "&Ja");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");
}

TEST_F(EngineTest, HeaderValuesNeedTheBlankAfterTheColon)
{
    place("de", "normal");
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    i18n::TDomain *domain = engine.DomainFor("default");
    EXPECT_EQ(domain->HeaderValue("Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(domain->HeaderValue("content-TYPE"), "text/plain; charset=UTF-8");
    EXPECT_EQ(domain->HeaderValue("X-Custom"), "padded value");
    EXPECT_EQ(domain->HeaderValue("Language"), "de");
    EXPECT_EQ(domain->HeaderValue("Lang"), "");
    EXPECT_EQ(domain->HeaderValue("Missing"), "");
}

struct LanguageRow
{
    const char *description;
    std::optional<QByteArray> lang;
    std::optional<QByteArray> lcAll;
    const char *code; // passed to SelectLanguage; null: only the engine's own choice
    std::vector<std::pair<const char *, const char *>> catalogs; // folder, catalog
    const char *language;
    const char *cancel;
};

TEST_F(EngineTest, LanguageComesFromTheCallerOrLangOrTheSystemAndFallsBackToTwoLetters)
{
    const LanguageRow rows[] = {
        {"LANG with codeset, only the language folder",
         "de_DE.UTF-8",
         {},
         nullptr,
         {{"de", "normal"}},
         "de_DE",
         "Abbrechen"},
        {"LANG with codeset, country folder first",
         "de_DE.UTF-8",
         {},
         nullptr,
         {{"de", "normal"}, {"de_DE", "regional"}},
         "de_DE",
         "Abbrechen (de_DE)"},
        {"system locale when LANG is empty",
         "",
         "de_DE.UTF-8",
         nullptr,
         {{"de", "normal"}},
         "de_DE",
         "Abbrechen"},
        {"C locale", "C", {}, nullptr, {{"de", "normal"}}, "C", "Cancel"},
        {"caller's code keeps its dot",
         "de_DE.UTF-8",
         {},
         "de.UTF-8",
         {{"de.UTF-8", "regional"}, {"de", "normal"}},
         "de.UTF-8",
         "Abbrechen (de_DE)"},
        {"caller's code with dot falls back to two letters",
         {},
         {},
         "de.UTF-8",
         {{"de", "normal"}},
         "de.UTF-8",
         "Abbrechen"},
        {"one letter code uses that letter", {}, {}, "d", {{"d", "normal"}}, "d", "Abbrechen"},
        {"no catalog for the language", {}, {}, "fr_FR", {{"de", "normal"}}, "fr_FR", "Cancel"},
        {"de selected at start-up", "fr_FR.UTF-8", {}, "de", {{"de", "normal"}}, "de", "Abbrechen"},
    };
    for (const LanguageRow &row : rows) {
        SCOPED_TRACE(row.description);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        for (const auto &[folder, catalogName] : row.catalogs)
            placeCatalog(dir.path() + "/locale", folder, "default", catalog(catalogName));
        EnvironmentGuard environment;
        environment.set("LANG", row.lang);
        environment.set("LC_ALL", row.lcAll);
        i18n::TTranslationEngine engine(dir.path() + "/", nullptr);
        if (row.code)
            engine.SelectLanguage(row.code);
        EXPECT_EQ(engine.CurrentLanguage(), row.language);
        EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), row.cancel);
    }
}

TEST_F(EngineTest, CatalogFoundNowhereIsNotSearchedAgainUntilTheLanguageChanges)
{
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    i18n::TDomain *domain = engine.DomainFor("default");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Cancel");
    EXPECT_FALSE(domain->MayOpen());
    place("de", "normal");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Cancel");
    engine.SelectLanguage("de");
    EXPECT_TRUE(domain->MayOpen());
    EXPECT_FALSE(domain->IsOpen());
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");
    EXPECT_TRUE(domain->IsOpen());
}

TEST_F(EngineTest, BoundFolderServesItsDomainOnly)
{
    QTemporaryDir other;
    placeCatalog(other.path(), "de", "toolkit", catalog("regional"));
    place("de", "normal");
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    engine.BindDomainFolder("toolkit", other.path());
    EXPECT_EQ(engine.DomainFor("TOOLKIT")->Directory(), other.path() + "/");
    EXPECT_EQ(engine.TranslateInDomain("TOOLKIT", "Cancel"), "Abbrechen (de_DE)");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");
    EXPECT_EQ(engine.DomainFor("Default"), engine.DomainFor("default"));
    EXPECT_EQ(engine.DefaultCatalogFolder(), m_folder + "locale");
}

struct ErrorRow
{
    const char *description;
    const char *catalogName;
    std::function<void(QByteArray &)> damage;
    // %1 stands for the catalog's path.
    const char *error;
    bool raisedAgain;
};

TEST_F(EngineTest, BadCatalogsRaiseTheirErrorsAndStayInTheirState)
{
    const QString notValid = "error: This file is not a valid GNU gettext mo file: %1";
    const QString charset = "error: The translation for the language code de (in %1) does not "
                            "have charset=utf-8 in its Content-Type. Translations are turned off.";
    const QByteArray normal = read(catalog("normal"));
    const std::uint32_t keyTable = get32(normal, 12);
    const std::uint32_t translationTable = get32(normal, 16);
    const ErrorRow rows[] = {
        {"charset ISO-8859-1", "latin1", {}, "charset", true},
        {"no blank after the colon", "noblank", {}, "charset", true},
        {"empty file", "normal", [](QByteArray &b) { b.clear(); }, "valid", false},
        {"shorter than the magic", "normal", [](QByteArray &b) { b.truncate(3); }, "valid", false},
        {"header cut short", "normal", [](QByteArray &b) { b.truncate(19); }, "valid", false},
        {"cut in the strings", "normal", [](QByteArray &b) { b.truncate(b.size() - 40); }, "valid",
         false},
        {"wrong magic", "normal", [](QByteArray &b) { b[0] = 'X'; }, "valid", false},
        {"huge count", "normal", [](QByteArray &b) { put32(b, 8, 0x7FFFFFFF); }, "valid", false},
        {"key table beyond the end", "normal", [](QByteArray &b) { put32(b, 12, 0xFFFFFFF0); },
         "valid", false},
        {"translation table beyond the end", "normal",
         [](QByteArray &b) { put32(b, 16, std::uint32_t(b.size())); }, "valid", false},
        {"key offset beyond the end", "normal",
         [&](QByteArray &b) { put32(b, keyTable + 4 * 8 + 4, 0xFFFFFFF0); }, "valid", false},
        {"key length beyond the end", "normal",
         [&](QByteArray &b) { put32(b, keyTable + 4 * 8, 0xFFFFFFF0); }, "valid", false},
        {"header translation beyond the end", "normal",
         [&](QByteArray &b) { put32(b, translationTable + 4, 0xFFFFFFF0); }, "valid", false},
    };
    for (const ErrorRow &row : rows) {
        SCOPED_TRACE(row.description);
        QByteArray bytes = read(catalog(row.catalogName));
        if (row.damage)
            row.damage(bytes);
        const QString path = placeBytes("de", bytes);
        i18n::TTranslationEngine engine(m_folder, nullptr);
        engine.SelectLanguage("de");
        const QString expected =
            QString(QLatin1String(row.error) == "charset" ? charset : notValid).arg(path);
        // Every key of the catalog, so that any damaged descriptor is met.
        QStringList results;
        for (const char *key : {"Cancel", "Open", "Save", "Quit", "a", "zzz"})
            results << outcome([&] { return engine.TranslateInDomain("default", key); });
        EXPECT_THAT(results, ::testing::Contains(expected));
        // A charset error comes back every time; a damaged catalog is then empty.
        const QString again = outcome([&] { return engine.TranslateInDomain("default", "Open"); });
        EXPECT_EQ(again, row.raisedAgain ? expected : QString("Open"));
        EXPECT_EQ(engine.DomainFor("default")->IsOpen(), !row.raisedAgain);
    }
}

TEST_F(EngineTest, CatalogWithoutEntriesReturnsEveryKey)
{
    QByteArray bytes = read(catalog("normal"));
    put32(bytes, 8, 0);
    placeBytes("de", bytes);
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    for (const char *key : {"Cancel", "Open", "zzz"})
        EXPECT_EQ(engine.TranslateInDomain("default", key), key);
    EXPECT_EQ(engine.TranslateInDomain("default", "a\nb"), "a\r\nb");
}

TEST_F(EngineTest, TranslationThatIsEmptyOrNotUtf8CannotBeTranslated)
{
    QByteArray bytes = read(catalog("normal"));
    const qsizetype quit = bytes.indexOf(QByteArray("Beenden"));
    ASSERT_GT(quit, 0);
    bytes[quit + 1] = char(0xFF);
    const qsizetype save = bytes.indexOf(QByteArray("Speichern\0", 10));
    ASSERT_GT(save, 0);
    // The descriptor of "Save"'s translation: its length goes to 0.
    const std::uint32_t translationTable = get32(bytes, 16);
    for (std::uint32_t i = 0; i < get32(bytes, 8); ++i) {
        if (get32(bytes, translationTable + 8 * i + 4) == std::uint32_t(save))
            put32(bytes, translationTable + 8 * i, 0);
    }
    placeBytes("de", bytes);
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    const QString text = "error: Error: Could not translate %1. Probably because the mo file "
                         "doesn't contain utf-8 encoded translations.";
    // Asked twice: a failed translation is not kept.
    for (int time = 0; time < 2; ++time) {
        EXPECT_EQ(outcome([&] { return engine.TranslateInDomain("default", "Quit"); }),
                  text.arg("Quit"));
        EXPECT_EQ(outcome([&] { return engine.TranslateInDomain("default", "Save"); }),
                  text.arg("Save"));
        EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");
    }
}

class StoredCatalogTest : public EngineTest
{
protected:
    i18n::TEmbeddedStore appended(const QStringList &items)
    {
        m_program = copyProbe(m_dir.path());
        const ToolResult result = appendStore(m_program, items);
        EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
        i18n::TEmbeddedStore store(m_program, markerPosition(m_program));
        store.ScanStore();
        return store;
    }
    QString m_program;
};

TEST_F(StoredCatalogTest, StoreIsAskedBeforeTheDisk)
{
    const i18n::TEmbeddedStore store =
        appended({"locale/de/LC_MESSAGES/default.mo=" + catalog("normal"),
                  "locale/de/LC_MESSAGES/toolkit.mo=" + catalog("normal-be")});
    place("de", "regional");
    place("de", "regional", "other");
    i18n::TTranslationEngine engine(m_folder, &store);
    engine.SelectLanguage("de_AT");
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Abbrechen");
    EXPECT_EQ(engine.TranslateInDomain("toolkit", "Open"), "Öffnen");
    EXPECT_EQ(engine.TranslateInDomain("other", "Cancel"), "Abbrechen (de_DE)");
    EXPECT_EQ(engine.DomainFor("default")->OpenedPath(), m_program);
}

TEST_F(StoredCatalogTest, StoredCatalogEndsAtItsLengthAndNamesTheProgramInErrors)
{
    // A catalog cut short, followed in the store by a whole one: reading past the
    // stored length would find plausible bytes.
    QByteArray cut = read(catalog("normal"));
    cut.truncate(40);
    write(m_folder + "cut.mo", cut);
    const i18n::TEmbeddedStore store =
        appended({"locale/de/LC_MESSAGES/default.mo=" + m_folder + "cut.mo",
                  "locale/de/LC_MESSAGES/next.mo=" + catalog("normal")});
    i18n::TTranslationEngine engine(m_folder, &store);
    engine.SelectLanguage("de");
    EXPECT_EQ(outcome([&] { return engine.TranslateInDomain("default", "Cancel"); }),
              "error: This file is not a valid GNU gettext mo file: " + m_program);
    EXPECT_EQ(engine.TranslateInDomain("default", "Cancel"), "Cancel");
    EXPECT_EQ(engine.TranslateInDomain("next", "Cancel"), "Abbrechen");
}

TEST_F(EngineTest, ThreadsLookingUpAtOnceAllSeeTheCatalogOpenedOnce)
{
    place("de", "normal");
    i18n::TTranslationEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    // Several entries, so that threads also race to keep the same decoded translation.
    const LookupRow rows[] = {{"Open", "Öffnen"},
                              {"Cancel", "Abbrechen"},
                              {"€ sign", "Eurozeichen"},
                              {"Line one\nLine two", "Zeile eins\r\nZeile zwei"}};
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                const LookupRow &row = rows[i % std::size(rows)];
                if (engine.TranslateInDomain("default", QString::fromUtf8(row.key)) !=
                    QString::fromUtf8(row.expected))
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

class RecordingEngine : public i18n::TTranslationEngine
{
public:
    using i18n::TTranslationEngine::TTranslationEngine;
    QStringList calls;

protected:
    void LanguageChanged(const QString &code) override
    {
        calls << "language " + code + " " + CurrentLanguage();
    }
    void DomainSelected(const QString &name) override
    {
        calls << "domain " + name + " " + CurrentDomain();
    }
    void DomainFolderBound(const QString &name, const QString &folder) override
    {
        calls << "folder " + name + " " + folder + " " + DomainFor(name)->Directory();
    }
};

TEST_F(EngineTest, NotificationsFollowTheChange)
{
    RecordingEngine engine(m_folder, nullptr);
    engine.SelectLanguage("de");
    engine.SelectDomain("toolkit");
    engine.BindDomainFolder("toolkit", "/x/y");
    EXPECT_THAT(engine.calls, ::testing::ElementsAre("language de de", "domain toolkit toolkit",
                                                     "folder toolkit /x/y /x/y/"));
}

} // namespace
