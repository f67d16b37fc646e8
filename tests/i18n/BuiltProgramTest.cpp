#include "i18n/TestFiles.h"

#include "i18n/Domain.h"
#include "i18n/EmbeddedStore.h"
#include "i18n/TranslationEngine.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include <QDir>
#include <QFile>

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
    i18n::TEmbeddedStore store(program, directory);
    store.ScanStore();
    EXPECT_THAT(store.FileNames(), ::testing::ElementsAre("locale/de/LC_MESSAGES/default.mo",
                                                          "locale/de/LC_MESSAGES/toolkit.mo"));
    const QByteArray image = read(program);
    for (const char *domain : {"default", "toolkit"}) {
        const i18n::TLocatedFile located =
            store.LocateFile(store.ExecutableFolder() + "locale/de/LC_MESSAGES/" + domain + ".mo");
        EXPECT_EQ(image.mid(qsizetype(located.dataPosition), qsizetype(located.length)),
                  read(programCatalog(domain)))
            << domain;
    }

    i18n::TTranslationEngine engine(store.ExecutableFolder(), &store);
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

struct Damage
{
    const char *field;
    // The position in the program file and the bytes written there.
    std::function<void(QByteArray &image)> apply;
};

// One changed field of the store's directory or of a stored catalog, in a copy of the
// program: the copy starts, shows its window and ends on its own, never aborting.
TEST(BuiltProgramTest, ACopyWithADamagedStoreOrCatalogStartsAndRuns)
{
    const QString original = QFileInfo(QStringLiteral(TF_TACHOFLUX)).canonicalFilePath();
    const QByteArray image = read(original);
    const auto directory = qsizetype(markerPosition(original));
    i18n::TEmbeddedStore store(original, std::uint64_t(directory));
    store.ScanStore();
    const auto dataOf = [&store](const char *domain) {
        return qsizetype(store.LocateFile(store.ExecutableFolder() + "locale/de/LC_MESSAGES/" +
                                          domain + ".mo")
                             .dataPosition);
    };
    const qsizetype toolkit = dataOf("toolkit");
    const qsizetype defaults = dataOf("default");
    ASSERT_GT(toolkit, 0);
    ASSERT_GT(defaults, 0);
    // The marker's copy of the directory position, as the appending tool patched it.
    QByteArray patched(8, '\0');
    put64(patched, 0, std::uint64_t(directory));
    const qsizetype marker = image.indexOf(patched);
    ASSERT_GT(marker, 0);
    const auto at64 = [](qsizetype at, std::uint64_t value) {
        return [at, value](QByteArray &bytes) { put64(bytes, at, value); };
    };
    const auto at32 = [](qsizetype at, std::uint32_t value) {
        return [at, value](QByteArray &bytes) { put32(bytes, at, value); };
    };
    const auto charsetOf = [](qsizetype catalog) {
        return [catalog](QByteArray &bytes) {
            const qsizetype at = bytes.indexOf("charset=UTF-8", catalog);
            bytes.replace(at, 13, "charset=UTF-7");
        };
    };
    const Damage rows[] = {
        {"marker's directory position", at64(marker, std::uint64_t(image.size()) * 2)},
        {"entry's next position", at64(directory, std::uint64_t(directory) + 3)},
        {"entry's data position", at64(directory + 8, std::uint64_t(image.size()) - 4)},
        {"entry's length", at64(directory + 16, std::uint64_t(1) << 40)},
        {"entry's name", [directory](QByteArray &bytes) { bytes[directory + 24] = '\\'; }},
        {"toolkit magic", at32(toolkit, 0x12345678)},
        {"toolkit count", at32(toolkit + 8, 0xFFFFFFF0)},
        {"toolkit key table", at32(toolkit + 12, 0x7FFFFFF0)},
        {"toolkit translation table", at32(toolkit + 16, 0xFFFFFFF8)},
        {"toolkit charset", charsetOf(toolkit)},
        {"default magic", at32(defaults, 0)},
        {"default charset", charsetOf(defaults)},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Started side by side: each waits a second before it ends itself.
    std::vector<std::unique_ptr<QProcess>> programs;
    for (const Damage &row : rows) {
        const QString folder = dir.filePath(QString::fromUtf8(row.field).replace(u' ', u'-'));
        QDir().mkpath(folder + "/config");
        QByteArray damaged = image;
        row.apply(damaged);
        ASSERT_NE(damaged, image) << row.field;
        const QString program = folder + "/tachoflux";
        write(program, damaged);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", folder + "/config");
        env.insert("TACHOFLUX_STARTUP_REPORT", "1");
        auto &started = programs.emplace_back(std::make_unique<QProcess>());
        started->setProcessEnvironment(env);
        started->start(program, {});
    }
    for (std::size_t i = 0; i < programs.size(); ++i) {
        SCOPED_TRACE(rows[i].field);
        QProcess &program = *programs[i];
        ASSERT_TRUE(program.waitForFinished(120000));
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
        EXPECT_FALSE(errors.contains("terminate called")) << errors.toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().startsWith("mapped "));
    }
}

} // namespace
