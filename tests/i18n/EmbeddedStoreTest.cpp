#include "i18n/TestFiles.h"

#include "i18n/EmbeddedStore.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using namespace testfiles;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr qsizetype entrySize = 256;

class EmbeddedStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QLatin1Char('/');
        m_program = copyProbe(m_dir.path());
    }

    void append(const QStringList &items, const QStringList &options = {})
    {
        const ToolResult result = appendStore(m_program, items, options);
        ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    }

    i18n::TEmbeddedStore scanned(std::uint64_t position) const
    {
        i18n::TEmbeddedStore store(m_program, position);
        store.ScanStore();
        return store;
    }

    QString item(const QString &name, const QString &catalogName) const
    {
        return name + QLatin1Char('=') + catalog(catalogName);
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QString m_program;
};

TEST_F(EmbeddedStoreTest, RunningProgramReadsItsStoreThroughItsOwnMarker)
{
    append({item("locale/de/LC_MESSAGES/default.mo", "normal"),
            item("locale/de/LC_MESSAGES/toolkit.mo", "regional")});
    QProcess probe;
    probe.start(m_program, {m_folder + "LOCALE/de/lc_messages/TOOLKIT.mo",
                            "/elsewhere/locale/de/LC_MESSAGES/toolkit.mo"});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QStringList lines =
        QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

    const QByteArray image = read(m_program);
    const QByteArray normal = read(catalog("normal"));
    const QByteArray regional = read(catalog("regional"));
    // The stored files lie right behind the image, one after another.
    const qsizetype first = image.size() - 8 - 2 * entrySize - normal.size() - regional.size();
    const qsizetype imageEnd = image.indexOf(normal, first - 8);
    ASSERT_GE(imageEnd, first - 8);
    EXPECT_EQ(image.mid(imageEnd + normal.size(), regional.size()), regional);

    EXPECT_THAT(lines, ElementsAre(QStringLiteral("position %1").arg(markerPosition(m_program)),
                                   "folder " + m_folder,
                                   QStringLiteral("file locale/de/LC_MESSAGES/default.mo %1 %2")
                                       .arg(imageEnd)
                                       .arg(normal.size()),
                                   QStringLiteral("file locale/de/LC_MESSAGES/toolkit.mo %1 %2")
                                       .arg(imageEnd + normal.size())
                                       .arg(regional.size()),
                                   "has " + m_folder + "LOCALE/de/lc_messages/TOOLKIT.mo 1",
                                   "has /elsewhere/locale/de/LC_MESSAGES/toolkit.mo 0"));
}

TEST_F(EmbeddedStoreTest, RunningProgramWithMarkerZeroHasNoStoreThoughDataFollows)
{
    append({item("locale/de/LC_MESSAGES/default.mo", "normal")}, {"--leave-marker"});
    QProcess probe;
    probe.start(m_program, {m_folder + "locale/de/LC_MESSAGES/default.mo"});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()),
              "position 0\nfolder \nhas " + m_folder + "locale/de/LC_MESSAGES/default.mo 0\n");
}

TEST_F(EmbeddedStoreTest, DirectoryEntriesArePaddedWithSpacesAndUseBackslashes)
{
    append({item("locale/de/LC_MESSAGES/default.mo", "normal")});
    const QByteArray image = read(m_program);
    const std::uint64_t directory = markerPosition(m_program);
    const QByteArray name = "locale\\de\\LC_MESSAGES\\default.mo";
    EXPECT_EQ(get64(image, directory), directory + entrySize);
    EXPECT_EQ(image.mid(directory + 24, entrySize - 24), name + QByteArray(232 - name.size(), ' '));
    EXPECT_EQ(get64(image, directory + entrySize), 0u);
    EXPECT_EQ(directory + entrySize + 8, std::uint64_t(image.size()));
    EXPECT_THAT(scanned(directory).FileNames(), ElementsAre("locale/de/LC_MESSAGES/default.mo"));
}

struct QueryRow
{
    const char *description;
    QString path; // relative paths are taken below the program's folder
    bool relativeToFolder;
    bool found;
};

TEST_F(EmbeddedStoreTest, QueriesIgnoreCaseInTheNameButNotInTheFolder)
{
    append({item("locale/de/LC_MESSAGES/default.mo", "normal"),
            item("locale/de/LC_MESSAGES/toolkit.mo", "regional")});
    const i18n::TEmbeddedStore store = scanned(markerPosition(m_program));
    const QueryRow rows[] = {
        {"exact name", "locale/de/LC_MESSAGES/default.mo", true, true},
        {"name in other case", "LOCALE/DE/lc_messages/Default.MO", true, true},
        {"second file", "locale/de/LC_MESSAGES/toolkit.mo", true, true},
        {"not stored", "locale/de/LC_MESSAGES/other.mo", true, false},
        {"folder in other case", m_folder.toUpper() + "locale/de/LC_MESSAGES/default.mo", false,
         false},
        {"outside the folder with the same tail", "/elsewhere/locale/de/LC_MESSAGES/default.mo",
         false, false},
        {"bare store name", "locale/de/LC_MESSAGES/default.mo", false, false},
        {"the folder itself", "", true, false},
    };
    const QByteArray normal = read(catalog("normal"));
    for (const QueryRow &row : rows) {
        SCOPED_TRACE(row.description);
        const QString path = row.relativeToFolder ? m_folder + row.path : row.path;
        EXPECT_EQ(store.StoreHasFile(path), row.found);
        const i18n::TLocatedFile located = store.LocateFile(path);
        if (row.found) {
            EXPECT_EQ(located.path, m_program);
            EXPECT_NE(located.dataPosition, 0u);
        } else {
            EXPECT_EQ(located.path, path);
            EXPECT_EQ(located.dataPosition, 0u);
            EXPECT_EQ(located.length, 0u);
        }
    }
    const i18n::TLocatedFile located =
        store.LocateFile(m_folder + "locale/de/LC_MESSAGES/default.mo");
    EXPECT_EQ(read(m_program).mid(located.dataPosition, located.length), normal);
}

TEST_F(EmbeddedStoreTest, SecondNameDifferingOnlyInCaseEndsTheScan)
{
    append({item("locale/a.mo", "normal"), item("LOCALE/A.MO", "regional"),
            item("locale/b.mo", "latin1")},
           {"--allow-duplicate-names"});
    const i18n::TEmbeddedStore store = scanned(markerPosition(m_program));
    EXPECT_THAT(store.FileNames(), ElementsAre("locale/a.mo"));
    EXPECT_EQ(store.LocateFile(m_folder + "locale/a.mo").length,
              std::uint64_t(read(catalog("normal")).size()));
    EXPECT_FALSE(store.StoreHasFile(m_folder + "locale/b.mo"));
}

TEST_F(EmbeddedStoreTest, StoreWithoutFilesOrWithoutMarkerIsEmpty)
{
    append({});
    const std::uint64_t directory = markerPosition(m_program);
    ASSERT_NE(directory, 0u);
    EXPECT_EQ(get64(read(m_program), directory), 0u);
    const i18n::TEmbeddedStore empty = scanned(directory);
    EXPECT_THAT(empty.FileNames(), IsEmpty());
    EXPECT_EQ(empty.ExecutableFolder(), m_folder);

    const i18n::TEmbeddedStore none = scanned(0);
    EXPECT_THAT(none.FileNames(), IsEmpty());
    EXPECT_EQ(none.ExecutableFolder(), QString());
    EXPECT_FALSE(none.StoreHasFile(m_folder + "locale/de/LC_MESSAGES/default.mo"));
}

struct DamageRow
{
    const char *description;
    // Changes the file; gets the bytes and the directory position.
    std::function<void(QByteArray &, qsizetype)> damage;
    std::vector<const char *> expectedNames;
};

TEST_F(EmbeddedStoreTest, DamagedDirectoryEndsTheScanKeepingEarlierEntries)
{
    append({item("locale/one.mo", "normal"), item("locale/two.mo", "regional"),
            item("locale/three.mo", "latin1")});
    const QByteArray original = read(m_program);
    const qsizetype directory = qsizetype(markerPosition(m_program));
    const qsizetype second = directory + entrySize;
    const qsizetype size = original.size();

    const DamageRow rows[] = {
        {"intact",
         [](QByteArray &, qsizetype) {},
         {"locale/one.mo", "locale/three.mo", "locale/two.mo"}},
        {"cut inside the second entry",
         [&](QByteArray &b, qsizetype) { b.truncate(second + 12); },
         {"locale/one.mo"}},
        {"cut inside the terminator",
         [&](QByteArray &b, qsizetype) { b.truncate(size - 4); },
         {"locale/one.mo", "locale/three.mo", "locale/two.mo"}},
        {"cut right after the last name",
         [&](QByteArray &b, qsizetype) { b.truncate(size - 8); },
         {"locale/one.mo", "locale/three.mo", "locale/two.mo"}},
        {"next entry points back",
         [&](QByteArray &b, qsizetype) { put64(b, second, directory); },
         {"locale/one.mo"}},
        {"next entry points to itself",
         [&](QByteArray &b, qsizetype) { put64(b, second, second); },
         {"locale/one.mo"}},
        {"next entry beyond the end",
         [&](QByteArray &b, qsizetype d) { put64(b, d, 1ull << 40); },
         {}},
        {"next entry leaves no name", [&](QByteArray &b, qsizetype d) { put64(b, d, d + 24); }, {}},
        {"data beyond the end",
         [&](QByteArray &b, qsizetype) { put64(b, second + 8, size + 1); },
         {"locale/one.mo"}},
        {"length beyond the end",
         [&](QByteArray &b, qsizetype) { put64(b, second + 16, size); },
         {"locale/one.mo"}},
        {"length wraps around",
         [&](QByteArray &b, qsizetype) { put64(b, second + 16, ~0ull); },
         {"locale/one.mo"}},
        {"name of spaces only",
         [&](QByteArray &b, qsizetype) { b.replace(second + 24, 13, QByteArray(13, ' ')); },
         {"locale/one.mo"}},
        {"directory position beyond the end",
         [&](QByteArray &b, qsizetype) { b.truncate(directory); },
         {}},
    };
    for (const DamageRow &row : rows) {
        SCOPED_TRACE(row.description);
        QByteArray bytes = original;
        row.damage(bytes, directory);
        write(m_program, bytes);
        const i18n::TEmbeddedStore store = scanned(std::uint64_t(directory));
        EXPECT_THAT(store.FileNames(), ElementsAreArray(row.expectedNames));
    }
}

TEST_F(EmbeddedStoreTest, ArbitraryDirectoryPositionsNeverReadOutsideTheFile)
{
    append({item("locale/one.mo", "normal")});
    const std::uint64_t size = std::uint64_t(read(m_program).size());
    for (const std::uint64_t position : {std::uint64_t(1), std::uint64_t(64), size / 2, size - 8,
                                         size - 1, size, size + 1, ~std::uint64_t(0)}) {
        const i18n::TEmbeddedStore store = scanned(position);
        for (const QString &name : store.FileNames()) {
            const i18n::TLocatedFile located = store.LocateFile(m_folder + name);
            EXPECT_LE(located.dataPosition + located.length, size) << position;
        }
    }
}

TEST_F(EmbeddedStoreTest, MissingExecutableGivesAnEmptyStore)
{
    i18n::TEmbeddedStore store(m_folder + "vanished", 4096);
    store.ScanStore();
    EXPECT_THAT(store.FileNames(), IsEmpty());
    EXPECT_FALSE(store.StoreHasFile(m_folder + "locale/de/LC_MESSAGES/default.mo"));
}

TEST_F(EmbeddedStoreTest, AppendingAgainReplacesTheStore)
{
    append({item("locale/one.mo", "normal"), item("locale/two.mo", "regional")});
    const QByteArray once = read(m_program);
    append({item("locale/one.mo", "normal"), item("locale/two.mo", "regional")});
    EXPECT_EQ(read(m_program), once);
    append({item("locale/three.mo", "latin1")});
    EXPECT_THAT(scanned(markerPosition(m_program)).FileNames(), ElementsAre("locale/three.mo"));
    EXPECT_LT(read(m_program).size(), once.size());
}

struct RefusalRow
{
    const char *description;
    QStringList items;
    QStringList options;
    const char *message;
};

TEST_F(EmbeddedStoreTest, ToolRefusesWhatTheReaderCouldNotUse)
{
    const QString longName = QString(233, QLatin1Char('n'));
    const RefusalRow rows[] = {
        {"duplicate name",
         {item("a.mo", "normal"), item("A.mo", "regional")},
         {},
         "duplicate name"},
        // The reader folds letter case beyond ASCII, and reads both separators as one.
        {"duplicate name in other case beyond ASCII",
         {item("locale/Ärger.mo", "normal"), item("locale/ärger.mo", "regional")},
         {},
         "duplicate name"},
        {"duplicate name through the Kelvin sign",
         {item("k.mo", "normal"), item(QString::fromUtf8("\u212A.mo"), "regional")},
         {},
         "duplicate name"},
        {"duplicate name through the separator",
         {item("locale/a.mo", "normal"), item("locale\\A.mo", "regional")},
         {},
         "duplicate name"},
        {"blank at the start", {item(" a.mo", "normal")}, {}, "would read this name differently"},
        {"tab at the end", {item("a.mo\t", "normal")}, {}, "would read this name differently"},
        {"name too long", {item(longName, "normal")}, {}, "name longer than 232 bytes"},
        {"missing file", {"a.mo=/nonexistent/file.mo"}, {}, "cannot read"},
        {"no name", {"=" + catalog("normal")}, {}, "expected NAME=FILE"},
    };
    const QByteArray before = read(m_program);
    for (const RefusalRow &row : rows) {
        SCOPED_TRACE(row.description);
        const ToolResult result = appendStore(m_program, row.items, row.options);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_THAT(result.errors.toStdString(), ::testing::HasSubstr(row.message));
        EXPECT_EQ(read(m_program), before);
    }
    const QString notAProgram = m_dir.path() + "/catalog.mo";
    copy(catalog("normal"), notAProgram);
    const ToolResult result = appendStore(notAProgram, {item("a.mo", "normal")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.errors.toStdString(), ::testing::HasSubstr("marker was not found"));
}

} // namespace
