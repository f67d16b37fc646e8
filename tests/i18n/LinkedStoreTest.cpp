// A store linked into the program's image, as the program carries its catalogs: found
// through the marker after every kind of stripping that packaging does, and read from the
// running image even when the program file is replaced under it.

#include "i18n/TestFiles.h"

#include "i18n/EmbeddedStore.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testfiles;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class LinkedStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QLatin1Char('/');
    }

    QTemporaryDir m_dir;
    QString m_folder;
};

TEST_F(LinkedStoreTest, StrippedProgramsFindTheirStoreAsBeforeStripping)
{
    const QByteArray normal = read(catalog("normal"));
    const QByteArray regional = read(catalog("regional"));
    for (const Treatment &treatment : strippingTreatments()) {
        SCOPED_TRACE(treatment.description);
        const QString program = treatedCopy(QStringLiteral(TF_STORE_PROBE_LINKED), m_dir.path(),
                                            QStringLiteral("program"), treatment);
        const QByteArray image = read(program);
        const std::uint64_t directory = markerPosition(program);
        ASSERT_NE(directory, 0u);
        // The directory lies inside the image, so nothing may follow it that strip dropped.
        EXPECT_LT(directory, std::uint64_t(image.size()));

        QProcess probe;
        probe.start(program, {m_folder + "LOCALE/de/lc_messages/TOOLKIT.mo",
                              "/elsewhere/locale/de/LC_MESSAGES/toolkit.mo"});
        ASSERT_TRUE(probe.waitForFinished(30000));
        const QStringList lines =
            QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("position %1").arg(directory));
        EXPECT_EQ(lines[1], "folder " + m_folder);
        // Each stored file's bytes are where the directory says.
        const struct
        {
            const char *name;
            const QByteArray &bytes;
        } stored[] = {{"locale/de/LC_MESSAGES/default.mo", normal},
                      {"locale/de/LC_MESSAGES/toolkit.mo", regional}};
        for (int i = 0; i < 2; ++i) {
            const QStringList fields = lines[2 + i].split(' ');
            ASSERT_EQ(fields.size(), 4);
            EXPECT_EQ(fields[1], stored[i].name);
            EXPECT_EQ(fields[3].toLongLong(), stored[i].bytes.size());
            EXPECT_EQ(image.mid(fields[2].toLongLong(), stored[i].bytes.size()), stored[i].bytes);
        }
        EXPECT_EQ(lines[4], "has " + m_folder + "LOCALE/de/lc_messages/TOOLKIT.mo 1");
        EXPECT_EQ(lines[5], "has /elsewhere/locale/de/LC_MESSAGES/toolkit.mo 0");
    }
}

TEST_F(LinkedStoreTest, RunningProgramReadsItsCatalogsFromItsOwnImageAfterAnUpgrade)
{
    const QString program = m_folder + "program";
    copy(QStringLiteral(TF_STORE_PROBE_LINKED), program);
    QProcess probe;
    probe.start(program, {"--after-input", "Cancel", "Open"});
    ASSERT_TRUE(probe.waitForReadyRead(30000));
    ASSERT_EQ(probe.readLine(), "ready\n");

    // An upgrade as package managers do it: the new program is renamed over the old one.
    // Its store holds other catalogs at other places.
    const QString upgrade = m_folder + "upgrade";
    copy(QStringLiteral(TF_STORE_PROBE), upgrade);
    const ToolResult result =
        appendStore(upgrade, {"locale/de/LC_MESSAGES/padding.mo=" + catalog("latin1"),
                              "locale/de/LC_MESSAGES/default.mo=" + catalog("regional")});
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    ASSERT_EQ(
        ::rename(QFile::encodeName(upgrade).constData(), QFile::encodeName(program).constData()),
        0);

    probe.write("go\n");
    probe.closeWriteChannel();
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()),
              "translation Abbrechen\ntranslation Öffnen\n");
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
}

TEST_F(LinkedStoreTest, ToolWritesALinkedStoreOnlyIntoItsSection)
{
    const QString linked = m_folder + "linked";
    copy(QStringLiteral(TF_STORE_PROBE_LINKED), linked);
    const QString plain = m_folder + "plain";
    copy(QStringLiteral(TF_STORE_PROBE), plain);
    const QByteArray linkedBefore = read(linked);
    const QByteArray plainBefore = read(plain);
    const QString item = "locale/de/LC_MESSAGES/default.mo=" + catalog("normal");

    // Appending behind a program whose store is linked in would cut the program short.
    ToolResult result = appendStore(linked, {item});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.errors.toStdString(), HasSubstr("use --in-section"));
    // Other files than the section was laid out for do not fit.
    result = appendStore(linked, {item}, {"--in-section"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.errors.toStdString(), HasSubstr("the files need"));
    EXPECT_EQ(read(linked), linkedBefore);
    result = appendStore(plain, {item}, {"--in-section"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.errors.toStdString(), HasSubstr("has no section .tachoflux.store"));
    EXPECT_EQ(read(plain), plainBefore);

    // Writing the same files again changes nothing.
    result = appendStore(linked,
                         {"locale/de/LC_MESSAGES/default.mo=" + catalog("normal"),
                          "locale/de/LC_MESSAGES/toolkit.mo=" + catalog("regional")},
                         {"--in-section"});
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(read(linked), linkedBefore);
}

} // namespace
