#include "i18n/TestFiles.h"

#include "i18n/Domain.h"
#include "i18n/EmbeddedStore.h"
#include "i18n/TranslationEngine.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testfiles;

namespace {

struct Row
{
    const char *domain;
    const char *key;
    const char *expected;
};

void expectCatalogsAndGerman(const QString &program)
{
    const std::uint64_t directory = markerPosition(program);
    ASSERT_NE(directory, 0u);
    TEmbeddedStore store(program, directory);
    store.ScanStore();
    EXPECT_THAT(store.FileNames(), ::testing::ElementsAre("locale/de/LC_MESSAGES/default.mo",
                                                          "locale/de/LC_MESSAGES/toolkit.mo"));
    const QByteArray image = read(program);
    for (const char *domain : {"default", "toolkit"}) {
        const TLocatedFile located =
            store.LocateFile(store.ExecutableFolder() + "locale/de/LC_MESSAGES/" + domain + ".mo");
        EXPECT_EQ(image.mid(qsizetype(located.dataPosition), qsizetype(located.length)),
                  read(programCatalog(domain)))
            << domain;
    }

    TTranslationEngine engine(store.ExecutableFolder(), &store);
    engine.SelectLanguage("de");
    const Row rows[] = {
        {"toolkit", "&Yes", "&Ja"},
        {"toolkit", "&No", "&Nein"},
        {"toolkit", "Failed to create key %s", "Erzeugung von Schlüssel %s misslungen"},
        {"toolkit", "Failed to set data for '%s'", "Fehler beim Setzen der Daten für '%s'"},
        {"toolkit", "Invalid data type for '%s'", "Ungültiger Datentyp für '%s'"},
        {"toolkit", "I/O error %d", "E/A-Fehler %d"},
        {"default", "Kontakt 1", "Kontakt 1"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(engine.TranslateInDomain(row.domain, QString::fromUtf8(row.key)),
                  QString::fromUtf8(row.expected))
            << row.key;
    }
    EXPECT_EQ(engine.DomainFor("toolkit")->OpenedPath(), program);
    EXPECT_EQ(engine.DomainFor("default")->HeaderValue("Content-Type"),
              "text/plain; charset=UTF-8");
}

TEST(BuiltProgramTest, ProgramCarriesBothCatalogsAndSpeaksGerman)
{
    expectCatalogsAndGerman(QFileInfo(QStringLiteral(TF_TACHOFLUX)).canonicalFilePath());
}

// Every distribution strips what it ships.
TEST(BuiltProgramTest, StrippedProgramStillCarriesItsCatalogs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Treatment &treatment : strippingTreatments()) {
        SCOPED_TRACE(treatment.description);
        const QString program = treatedCopy(QStringLiteral(TF_TACHOFLUX), dir.path(),
                                            QStringLiteral("tachoflux"), treatment);
        expectCatalogsAndGerman(program);
        // Stripping that leaves the file as large as before stripped nothing.
        if (!treatment.commands.empty()) {
            EXPECT_LT(QFileInfo(program).size(), QFileInfo(QStringLiteral(TF_TACHOFLUX)).size());
        }
    }
}

} // namespace
