#include "i18n/TestFiles.h"

#include "i18n/Translation.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testfiles;
using ::testing::ElementsAre;

namespace {

class TranslationModuleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_environment.set("LANG", QByteArray("C"));
        // The program's folder holds the catalogs on disk; it has no store.
        i18n::Translation::startUp(m_dir.path() + "/tachoflux", 0);
    }
    void TearDown() override { i18n::Translation::shutDown(); }

    void place(const QString &domain, const QString &catalogName)
    {
        placeCatalog(m_dir.path() + "/locale", "de", domain, catalog(catalogName));
    }

    QTemporaryDir m_dir;
    EnvironmentGuard m_environment;
};

TEST_F(TranslationModuleTest, StartUpGivesDefaultDomainAndLanguageSetupAddsToolkitAndGerman)
{
    ASSERT_NE(i18n::Translation::engine(), nullptr);
    EXPECT_EQ(i18n::Translation::engine()->CurrentDomain(), "default");
    EXPECT_EQ(i18n::Translation::engine()->CurrentLanguage(), "C");
    EXPECT_EQ(i18n::Translation::engine()->DefaultCatalogFolder(), m_dir.path() + "/locale");
    EXPECT_THAT(i18n::ResourceStringDomains(), ElementsAre("default"));
    i18n::LanguageSetup();
    EXPECT_THAT(i18n::ResourceStringDomains(), ElementsAre("default", "toolkit"));
    EXPECT_EQ(i18n::Translation::engine()->CurrentLanguage(), "de");
    i18n::AddResourceStringDomain("TOOLKIT");
    i18n::AddResourceStringDomain("Default");
    EXPECT_THAT(i18n::ResourceStringDomains(), ElementsAre("default", "toolkit"));
}

struct ResourceRow
{
    const char *text;
    const char *expected;
};

TEST_F(TranslationModuleTest, ToolkitTextsPassTheDomainsInOrderFirstChangeWins)
{
    place("default", "regional");
    place("toolkit", "normal");
    i18n::LanguageSetup();
    const ResourceRow rows[] = {
        {"Cancel", "Abbrechen (de_DE)"}, // in both: "default" wins
        {"&Yes", "&Ja"},                 // only in "toolkit"
        {"Unknown text", "Unknown text"},
        {"", ""},
        {"Line one\nLine two", "Zeile eins\r\nZeile zwei"},
        // Only a real translation counts as a change, not the added CR.
        {"Unknown\nline", "Unknown\nline"},
    };
    for (const ResourceRow &row : rows)
        EXPECT_EQ(i18n::TranslateResourceText(QString::fromUtf8(row.text)),
                  QString::fromUtf8(row.expected))
            << row.text;
}

TEST_F(TranslationModuleTest, CatalogErrorsReachTheCaller)
{
    place("toolkit", "latin1");
    i18n::LanguageSetup();
    try {
        i18n::TranslateResourceText("Open");
        FAIL() << "no error";
    } catch (const platform::TfError &error) {
        EXPECT_THAT(error.message().toStdString(),
                    ::testing::StartsWith("The translation for the language code de (in "));
    }
}

TEST_F(TranslationModuleTest, AfterShutdownTextsPassUntranslated)
{
    place("toolkit", "normal");
    i18n::LanguageSetup();
    EXPECT_EQ(i18n::TranslateResourceText("&Yes"), "&Ja");
    i18n::Translation::shutDown();
    EXPECT_EQ(i18n::Translation::engine(), nullptr);
    EXPECT_EQ(i18n::Translation::store(), nullptr);
    EXPECT_EQ(i18n::TranslateResourceText("&Yes"), "&Yes");
    i18n::SelectLanguage("de");
    i18n::AddResourceStringDomain("toolkit");
    EXPECT_EQ(i18n::TranslateResourceText("&Yes"), "&Yes");
}

} // namespace
