#include "settings/Settings.h"

#include "platform/Errors.h"
#include "platform/ProcessSignals.h"
#include "registry/RegFile.h"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"
#include "platform/ResourceText.h"

#include "support/ConfigFolder.h"
#include "support/Installed.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

#include <functional>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using namespace registry;

namespace {

const QString Store = QStringLiteral("Kelvaro / Software / Velox / 1.02");
const QString Section = Store + QStringLiteral("\\Settings");

// The section line of a key in the settings file, "[<root>\\path]".
QByteArray sectionLine(const QString &path)
{
    return "[" + QByteArray(RegFile::RootName) + "\\" + path.toUtf8() + "]\r\n";
}

// A value as the settings file writes it after `"name"=`: "0" for text with its zero,
// dword:..., hex(2):... and so on. The file's own notation keeps the tests free of the
// registry's type numbers, which belong to the registry and the settings store.
RegValue valueOf(const QByteArray &data)
{
    const QByteArray text =
        QByteArray(RegFile::Header) + "\r\n\r\n" + sectionLine("Test") + "\"v\"=" + data + "\r\n";
    const std::optional<RegFile> file = RegFile::parse(text);
    const RegValue *value = file ? file->value("Test", "v") : nullptr;
    EXPECT_NE(value, nullptr) << data.toStdString();
    return value ? *value : RegValue();
}

// The measurement mode's values as a save without them set writes them.
void withModeDefaults(RegFile &file)
{
    file.setValue(Section, "Mode", RegValue::string("0"));
    file.setValue(Section, "FlagMeters", RegValue::string("25"));
    file.setValue(Section, "MinDarkMs", RegValue::string("1"));
    file.setValue(Section, "MinContactMs", RegValue::string("0"));
    file.setValue(Section, "PicketMeters", RegValue::string("50"));
    file.setValue(Section, "PendulumMeters", RegValue::string("1000"));
}

// Records what the load applied, in order.
class Recorder : public settings::SettingsTarget
{
public:
    QStringList applied;
    int port = -99;
    int alg = -99;
    long double meters = -99;

    void applyComPort(int index) override
    {
        port = index;
        applied << QStringLiteral("COMPort");
    }
    void applyComAlg(int index) override
    {
        alg = index;
        applied << QStringLiteral("COMAlg");
    }
    void applyMeters(long double value) override
    {
        meters = value;
        applied << QStringLiteral("Meters");
    }
};

class ModeRecorder : public Recorder
{
public:
    int mode = -99;
    long double flagMeters = -99;
    int minDarkMs = -99;
    int minContactMs = -99;
    long double picketMeters = -99;
    long double pendulumMeters = -99;

    void applyMode(int index) override
    {
        mode = index;
        applied << QStringLiteral("Mode");
    }
    void applyFlagMeters(long double value) override
    {
        flagMeters = value;
        applied << QStringLiteral("FlagMeters");
    }
    void applyMinDarkMs(int ms) override
    {
        minDarkMs = ms;
        applied << QStringLiteral("MinDarkMs");
    }
    void applyMinContactMs(int ms) override
    {
        minContactMs = ms;
        applied << QStringLiteral("MinContactMs");
    }
    void applyPicketMeters(long double value) override
    {
        picketMeters = value;
        applied << QStringLiteral("PicketMeters");
    }
    void applyPendulumMeters(long double value) override
    {
        pendulumMeters = value;
        applied << QStringLiteral("PendulumMeters");
    }
};

class Settings : public ::testing::Test
{
protected:
    void SetUp() override { RegistryStore::takeProblems(); }

    RegFile hive() const
    {
        RegFile file;
        EXPECT_EQ(RegistryStore(config.hive()).read(file), 0) << "the hive could not be read";
        return file;
    }
    // The stored bytes of a value as the registry calls return them.
    QByteArray storedBytes(const char *name) const
    {
        const RegFile file = hive();
        const RegValue *value = file.value(Section, QString::fromUtf8(name));
        return value ? value->toAnsi() : QByteArray();
    }
    // A stored value in the file's notation (see valueOf), empty when there is none.
    QByteArray stored(const char *name) const
    {
        RegFile file;
        const RegFile all = hive();
        const RegValue *value = all.value(Section, QString::fromUtf8(name));
        if (!value)
            return {};
        file.setValue("Test", "v", *value);
        const QByteArray text = file.serialize();
        const qsizetype at = text.indexOf("\"v\"=");
        return text.mid(at + 4, text.indexOf("\r\n", at) - at - 4);
    }
    void store(const char *name, const RegValue &value) const
    {
        RegistryStore(config.hive()).update([&](RegFile &file) {
            return file.setValue(Section, QString::fromUtf8(name), value);
        });
    }
    static QString loadError(Recorder &target)
    {
        try {
            settings::LoadSettings(target);
        } catch (const platform::ERegistryException &e) {
            return e.message();
        }
        return {};
    }
    static QString saveError(const settings::SettingsValues &values)
    {
        try {
            settings::SaveSettings(values);
        } catch (const platform::ERegistryException &e) {
            return e.message();
        }
        return {};
    }

    ConfigFolder config;
};

TEST_F(Settings, FirstStartGivesTheDefaultsAndTheCloseStoresAllThreeValues)
{
    Recorder target;
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(target.applied, (QStringList{"COMPort", "COMAlg", "Meters"}));
    EXPECT_EQ(target.port, 0);
    EXPECT_EQ(target.alg, 0);
    EXPECT_EQ(target.meters, 0.15L);
    EXPECT_EQ(hive().keys(), (QStringList{"", Store}));

    settings::SaveSettings({0, 0, 0.15});
    EXPECT_EQ(hive().keys(), (QStringList{"", Store, Section}));
    // Text with its terminating zero: in the file's notation a plain quoted string.
    EXPECT_EQ(stored("COMPort"), "\"0\"");
    EXPECT_EQ(stored("COMAlg"), "\"0\"");
    EXPECT_EQ(stored("Meters"), "\"150\"");
    EXPECT_EQ(storedBytes("COMPort"), QByteArray("0", 2));
    EXPECT_EQ(storedBytes("COMAlg"), QByteArray("0", 2));
    EXPECT_EQ(storedBytes("Meters"), QByteArray("150", 4));
    EXPECT_TRUE(config.hiveBytes().contains(
        sectionLine(Section) + "\"COMPort\"=\"0\"\r\n\"COMAlg\"=\"0\"\r\n\"Meters\"=\"150\"\r\n"));
}

struct RoundTrip
{
    settings::SettingsValues saved;
    const char *meters; // as stored
};

TEST_F(Settings, SavedValuesComeBackInWholeMillimetres)
{
    const RoundTrip rows[] = {
        {{1, 1, 2.5}, "2500"},
        {{-1, -1, 0.15}, "150"},
        {{2, 0, 0.0625}, "62"},  // a tie goes to the even neighbour
        {{0, 1, 0.1875}, "188"}, // and so does this one
        {{0, 0, 0.0125}, "13"},  // not a tie in binary: just above
        {{0, 0, -0.5}, "-500"},
        {{0, 0, 3e6}, "2147483647"}, // beyond the 32-bit range: clamped
        {{0, 0, -3e6}, "-2147483648"},
        {{0, 0, 1e12}, "2147483647"},
        {{7, 5, 1.2344}, "1234"},
    };
    for (const RoundTrip &row : rows) {
        SCOPED_TRACE(row.meters);
        settings::SaveSettings(row.saved);
        EXPECT_EQ(storedBytes("COMPort"), QByteArray::number(row.saved.comPort) + '\0');
        EXPECT_EQ(storedBytes("COMAlg"), QByteArray::number(row.saved.comAlg) + '\0');
        EXPECT_EQ(storedBytes("Meters"), QByteArray(row.meters) + '\0');

        // What lies outside its range loads as the default, and is named.
        Recorder target;
        const QStringList messages = settings::LoadSettingsChecked(target);
        const long long millimetres = QByteArray(row.meters).toLongLong();
        const bool portOk = row.saved.comPort >= -1 && row.saved.comPort <= 256;
        const bool algOk = row.saved.comAlg >= -1 && row.saved.comAlg <= 1;
        const bool metersOk = millimetres >= 1 && millimetres <= 1'000'000;
        EXPECT_EQ(target.port, portOk ? row.saved.comPort : 0);
        EXPECT_EQ(target.alg, algOk ? row.saved.comAlg : 0);
        EXPECT_EQ(target.meters, metersOk ? millimetres / 1000.0L : 0.15L);
        EXPECT_EQ(messages.size(), int(!portOk) + int(!algOk) + int(!metersOk));
    }
}

struct StoredText
{
    RegValue value;
    int port;
};

TEST_F(Settings, TextThatIsNoIntegerLoadsAsTheDefault)
{
    const StoredText rows[] = {
        {RegValue::string("abc"), 0},
        {RegValue::string(""), 0},
        {RegValue::string("12x"), 0},
        {RegValue::string(" 5"), 0},
        {RegValue::string("2147483648"), 0},
        {RegValue::string("-2147483648"), 0}, // out of range
        {RegValue::string("+7"), 7},
        {valueOf("hex(2):32,00,00,00"), 2}, // expandable text
        {valueOf("hex(1):31,00"), 1},       // text stored without its terminating zero
    };
    for (const StoredText &row : rows) {
        SCOPED_TRACE(row.value.text().toStdString());
        store("COMPort", row.value);
        store("Meters", row.value);
        Recorder target;
        const QStringList messages = settings::LoadSettingsChecked(target);
        EXPECT_EQ(target.port, row.port);
        EXPECT_EQ(target.meters, row.port == 0 ? 0.15L : row.port / 1000.0L);
        // Each named with the file, once for the port and once for the distance.
        EXPECT_EQ(messages.size(), row.port == 0 ? 2 : 0);
        for (const QString &m : messages)
            EXPECT_TRUE(m.contains(config.hive()) && m.contains("für diesen Lauf gilt"))
                << m.toStdString();
    }
}

// A value of another type or out of range is named with the file and replaced by its
// default for this run; the others load, and a save at the close writes none of them back
// over what the user stored, only what was changed.
TEST_F(Settings, AWrongValueIsNamedAndNeverWrittenOver)
{
    const struct
    {
        const char *name;
        QByteArray stored; // in the file's notation
        const char *problem;
    } rows[] = {
        {"COMPort", "dword:00000001", "Typ dword statt Text"},
        {"COMAlg", "hex:31", "Typ hex statt Text"},
        {"Meters", "\"0\"", "0 liegt nicht zwischen 1 und 1000000"},
        {"Mode", "hex(b):01,00,00,00,00,00,00,00", "Typ hex(b) statt Text"},
        {"FlagMeters", "\"=cmd|' /C calc'!A0\"", "„=cmd|' /C calc'!A0“ ist keine ganze Zahl"},
        {"MinDarkMs", "dword:00000005", "Typ dword statt Text"},
        {"MinContactMs", "\"101\"", "101 liegt nicht zwischen 0 und 100"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        settings::SettingsValues chosen{2, 1, 2.5, 3, 0.05, 7, 9};
        settings::SaveSettings(chosen);
        store(row.name, valueOf(row.stored));
        ModeRecorder target;
        const QStringList messages = settings::LoadSettingsChecked(target);
        EXPECT_EQ(target.applied, (QStringList{"COMPort", "COMAlg", "Meters", "Mode", "FlagMeters",
                                               "MinDarkMs", "MinContactMs", "PicketMeters",
                                               "PendulumMeters"}));
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].toStdString(),
                  QStringLiteral("Die Einstellung „%1“ in %2 ist unbrauchbar (%3); für diesen Lauf gilt ")
                          .arg(row.name, config.hive(), QString::fromUtf8(row.problem))
                          .toStdString() +
                      messages[0].mid(messages[0].indexOf("gilt ") + 5).toStdString());
        // The window saves what it shows at the close: the defaults in place of the
        // wrong value, the user's other values as loaded.
        settings::SettingsValues shown{target.port, target.alg, double(target.meters),
                                       target.mode, double(target.flagMeters), target.minDarkMs,
                                       target.minContactMs};
        settings::SaveSettings(shown);
        EXPECT_EQ(stored(row.name), row.stored);
        for (const char *other : {"COMPort", "COMAlg", "Meters", "Mode"})
            if (QByteArray(other) != row.name)
                EXPECT_NE(stored(other), "\"0\"") << other;
        // A value the user changes is written, over the wrong one too.
        shown.minContactMs = 4;
        shown.mode = 1;
        settings::SaveSettings(shown);
        EXPECT_EQ(stored("MinContactMs"), "\"4\"");
        EXPECT_EQ(stored("Mode"), "\"1\"");
    }
    // The window's way: every value applied, then the messages raised as one.
    store("COMPort", valueOf("dword:00000001"));
    store("Meters", valueOf("\"-1\""));
    ModeRecorder raised;
    const QStringList lines = loadError(raised).split(u'\n');
    EXPECT_EQ(raised.applied.size(), 9);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("Die Einstellung „COMPort“"));
    EXPECT_TRUE(lines[1].startsWith("Die Einstellung „Meters“"));

    // A port refused at start shows KEIN; the stored one stays for the next start.
    settings::SaveSettings({3, 0, 0.15});
    Recorder target;
    settings::LoadSettingsChecked(target);
    settings::SettingsValues refused{0, 0, 0.15};
    refused.keepStoredPort = true;
    settings::SaveSettings(refused);
    EXPECT_EQ(stored("COMPort"), "\"3\"");
}

TEST_F(Settings, MessagesAreTranslatedBeforeTheNameIsFilledIn)
{
    const ResourceTextInstalled translated([](const QString &text) {
        if (text == u"Invalid data type for '%s'")
            return QStringLiteral("Ungültiger Datentyp für '%s'");
        if (text == u"Failed to create key %s")
            return QStringLiteral("Erzeugung von Schlüssel %s misslungen");
        return QStringLiteral("untranslated: ") + text;
    });
    store("COMPort", RegValue::dword(0));
    try {
        settings::LoadSetting("COMPort", 0);
        ADD_FAILURE() << "no error";
    } catch (const platform::ERegistryException &e) {
        EXPECT_EQ(e.message(), "Ungültiger Datentyp für 'COMPort'");
    }
    Recorder target;

    QFile::remove(config.hive());
    QDir().mkpath(config.hive());
    const QStringList lines = loadError(target).split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("untranslated: The settings file")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Erzeugung von Schlüssel Kelvaro / Software / Velox / 1.02 misslungen");
}

TEST_F(Settings, FailuresToCreateOrWriteAreRaised)
{
    // A folder where the hive should be: the store cannot even be read.
    QDir().mkpath(config.hive());
    const QString folder = "The settings file " + config.hive() +
                           " is no regular file but a folder; it was left as it is and no "
                           "settings were read or saved\n";
    Recorder target;
    EXPECT_EQ(loadError(target), folder + "Failed to create key Kelvaro / Software / Velox / 1.02");
    EXPECT_TRUE(target.applied.isEmpty());
    EXPECT_EQ(saveError({1, 1, 2.5}),
              folder + "Failed to create key Kelvaro / Software / Velox / 1.02");
    QDir().rmdir(config.hive());

    // The keys exist, but nothing can be written any more.
    settings::SaveSettings({0, 0, 0.15});
    const QByteArray before = config.hiveBytes();
    QFile::remove(config.hive() + ".lock");
    QDir().mkpath(config.hive() + ".lock");
    EXPECT_EQ(saveError({1, 1, 2.5}), "The lock file " + config.hive() +
                                          ".lock of the settings is a link or no regular file; "
                                          "it was left as it is and no settings were saved\n"
                                          "Failed to set data for 'COMPort'");
    EXPECT_EQ(config.hiveBytes(), before);
}

TEST_F(Settings, ADamagedSettingsFileIsKeptAndTheUserTold)
{
    const QByteArray damaged = QByteArray(RegFile::Header) + "\r\n[" + RegFile::RootName + "\\Kelv";
    config.writeHive(damaged);
    Recorder target;
    const QString error = loadError(target);
    EXPECT_EQ(target.applied, (QStringList{"COMPort", "COMAlg", "Meters"}));
    EXPECT_EQ(target.meters, 0.15L);

    const QStringList kept = QDir(config.folder()).entryList({"registry.reg.damaged-*"});
    ASSERT_EQ(kept.size(), 1);
    const QString keptPath = config.folder() + u'/' + kept[0];
    EXPECT_EQ(error, QStringLiteral("The settings file %1 is damaged (line 2: malformed key line). "
                                    "It was kept as %2 and a new file was started")
                         .arg(config.hive(), keptPath));
    QFile file(keptPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);

    EXPECT_EQ(saveError({2, 1, 2.5}), QString());
    EXPECT_EQ(storedBytes("Meters"), QByteArray("2500", 5));
}

// What a load or save did to the files in the config folder, seen by the kernel.
class FolderWatch
{
public:
    explicit FolderWatch(const QString &folder) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                          IN_OPEN | IN_MOVED_TO | IN_CREATE);
    }
    ~FolderWatch() { ::close(m_fd); }

    // "open registry.reg", "moved registry.reg", ... in the order they happened.
    QStringList events()
    {
        QStringList seen;
        alignas(inotify_event) char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return seen;
            for (char *at = buffer; at < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                const QString name = event->len ? QString::fromUtf8(event->name) : QString();
                if (!name.contains(".tmp-") && !name.isEmpty())
                    seen << (event->mask & IN_OPEN     ? "open "
                             : event->mask & IN_CREATE ? "create "
                                                       : "moved ") +
                                name;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

private:
    int m_fd;
};

TEST_F(Settings, ALoadOrASaveReadsTheFileOnceAndWritesItAtMostOnceUnderOneLock)
{
    settings::SaveSettings({1, 1, 2.5});
    FolderWatch watch(config.folder());
    Recorder target;
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(watch.events(), (QStringList{"open registry.reg.lock", "open registry.reg"}));
    settings::SaveSettings({2, 0, 0.5});
    EXPECT_EQ(watch.events(),
              (QStringList{"open registry.reg.lock", "open registry.reg", "moved registry.reg"}));
    // Nothing changed: nothing written.
    settings::SaveSettings({2, 0, 0.5});
    EXPECT_EQ(watch.events(), (QStringList{"open registry.reg.lock", "open registry.reg"}));

    // At the first start the load makes the store key: still one write.
    QFile::remove(config.hive());
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(watch.events(), (QStringList{"open registry.reg.lock", "moved registry.reg"}));
}

// A hive of `count` values in the settings key besides the three settings, and a key
// `levels` deep, as another program might have left it.
RegFile crowdedHive(int count, int levels)
{
    RegFile file;
    file.setValue(Section, "COMPort", RegValue::string("2"));
    for (int i = 0; i < count; ++i)
        file.setValue(Section, QStringLiteral("Extra%1").arg(i),
                      RegValue::string(QString::number(i)));
    if (levels > 0) {
        QStringList names(levels, QStringLiteral("d"));
        file.setValue(names.join(u'\\'), "deep", RegValue::dword(7));
    }
    return file;
}

TEST_F(Settings, AHundredThousandValuesOrAKey32000LevelsDeepLoadAndSaveWithEveryValue)
{
    const std::pair<int, int> rows[] = {{100000, 0}, {0, 32000}};
    for (const auto &[count, levels] : rows) {
        SCOPED_TRACE(count + levels);
        const RegFile before = crowdedHive(count, levels);
        config.writeHive(before.serialize());
        const qsizetype size = config.hiveBytes().size();

        Recorder target;
        settings::LoadSettingsChecked(target);
        EXPECT_EQ(target.port, 2);
        settings::SaveSettings({1, 1, 2.5});

        RegFile expected = before;
        expected.createKey(Store);
        expected.setValue(Section, "COMPort", RegValue::string("1"));
        expected.setValue(Section, "COMAlg", RegValue::string("1"));
        expected.setValue(Section, "Meters", RegValue::string("2500"));
        withModeDefaults(expected);
        EXPECT_EQ(hive(), expected);
        EXPECT_LT(config.hiveBytes().size(), size + 200);
        EXPECT_TRUE(RegistryStore::takeProblems().empty());
    }
}

// A hive of exactly `size` bytes as the program writes it, in values of text.
QByteArray hiveOfSize(qsizetype size)
{
    const QByteArray head = "Windows Registry Editor Version 5.00\r\n\r\n" + sectionLine("Filler");
    const QByteArray tail = "\r\n" + sectionLine(Store) + "\r\n";
    // Each value line, "fNN"="xx...x" and its line end, takes 10 bytes besides its text.
    constexpr qsizetype Chunk = 500000;
    QByteArray text = head;
    for (int n = 0;; ++n) {
        const qsizetype left = size - text.size() - tail.size() - 10;
        const qsizetype length = left > Chunk + 10 ? Chunk : left;
        text += QStringLiteral("\"f%1\"=\"").arg(n, 2, 10, QChar(u'0')).toUtf8() +
                QByteArray(length, 'x') + "\"\r\n";
        if (length == left)
            return text + tail;
    }
}

TEST_F(Settings, AFileNearTheSizeLimitKeepsEveryValueAndOneBeyondItIsRefused)
{
    const QByteArray near = hiveOfSize(RegLimits::FileSize - 1000);
    ASSERT_EQ(near.size(), RegLimits::FileSize - 1000);
    config.writeHive(near);
    const RegFile before = *RegFile::parse(near);
    ASSERT_EQ(before.serialize(), near);

    Recorder target;
    settings::LoadSettingsChecked(target);
    settings::SaveSettings({2, 1, 0.25});
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(target.port, 2);
    EXPECT_EQ(target.meters, 0.25L);
    RegFile expected = before;
    expected.setValue(Section, "COMPort", RegValue::string("2"));
    expected.setValue(Section, "COMAlg", RegValue::string("1"));
    expected.setValue(Section, "Meters", RegValue::string("250"));
    withModeDefaults(expected);
    EXPECT_EQ(hive(), expected);
    EXPECT_TRUE(RegistryStore::takeProblems().empty());

    // Filled to the last byte, the file reads, but the save has no room: it is refused and
    // the file kept as it was.
    const QByteArray full = hiveOfSize(RegLimits::FileSize);
    ASSERT_EQ(full.size(), RegLimits::FileSize);
    config.writeHive(full);
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(saveError({1, 1, 2.5}),
              "The settings file " + config.hive() +
                  " would grow beyond its limits (larger than 16777216 bytes); it was left "
                  "unchanged and the settings were not saved\nFailed to create key Settings");
    EXPECT_EQ(config.hiveBytes(), full);
}

TEST_F(Settings, APipeInPlaceOfTheFileIsReportedAndNeitherBlocksNorIsReplaced)
{
    QDir().mkpath(config.folder());
    ASSERT_EQ(::mkfifo(QFile::encodeName(config.hive()).constData(), 0600), 0);
    Recorder target;
    const QString reported = "The settings file " + config.hive() +
                             " is no regular file but a named pipe; it was left as it is and no "
                             "settings were read or saved\n";
    EXPECT_EQ(loadError(target), reported + "Failed to create key " + Store);
    EXPECT_EQ(saveError({1, 1, 2.5}), reported + "Failed to create key " + Store);
    EXPECT_TRUE(QFileInfo(config.hive()).exists());
    EXPECT_FALSE(QFileInfo(config.hive()).isFile());
}

// An upgrade reads the newest earlier version that holds settings; this version's key gets
// them at its first save, and no other key is touched.
TEST_F(Settings, ANewVersionStartsWithTheNewestEarlierVersionsValues)
{
    const auto key = [](const char *version) {
        return QStringLiteral("Kelvaro / Software / Velox / ") + QLatin1String(version);
    };
    const struct
    {
        std::vector<std::pair<const char *, const char *>> versions; // version, Meters
        const char *loaded;
    } rows[] = {
        {{{"1.01", "2500"}}, "2500"},
        {{{"0.9", "100"}, {"1.01", "2500"}, {"1.00", "300"}}, "2500"},
        {{{"1.10", "700"}, {"1.01", "2500"}}, "2500"}, // part by part: 1.10 is newer than 1.02
        {{{"1.03", "700"}, {"2.0", "800"}}, "150"},   // only newer ones: defaults
        {{{"1.01x", "700"}, {"1..0", "800"}, {"", "900"}}, "150"},
        {{{"0.99", "990"}, {"1.01", ""}}, "990"},      // 1.01 holds no settings
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.loaded);
        QFile::remove(config.hive());
        RegFile file;
        for (const auto &[version, meters] : row.versions) {
            if (*meters)
                file.setValue(key(version) + "\\Settings", "Meters", RegValue::string(meters));
            else
                file.createKey(key(version));
        }
        config.writeHive(file.serialize());
        Recorder target;
        settings::LoadSettingsChecked(target);
        EXPECT_EQ(target.meters, QByteArray(row.loaded).toInt() / 1000.0L);
        EXPECT_TRUE(storedBytes("Meters").isEmpty());
        settings::SaveSettings({0, 0, double(target.meters)});
        EXPECT_EQ(storedBytes("Meters"), QByteArray(row.loaded) + '\0');
        RegFile expected = file;
        expected.setValue(Section, "COMPort", RegValue::string("0"));
        expected.setValue(Section, "COMAlg", RegValue::string("0"));
        expected.setValue(Section, "Meters", RegValue::string(row.loaded));
        // The measurement mode's values are saved with the three, at their defaults here.
        for (const auto &[name, text] : {std::pair{"Mode", "0"}, std::pair{"FlagMeters", "25"},
                                         std::pair{"MinDarkMs", "1"},
                                         std::pair{"MinContactMs", "0"},
                                         std::pair{"PicketMeters", "50"},
                                         std::pair{"PendulumMeters", "1000"}})
            expected.setValue(Section, name, RegValue::string(text));
        EXPECT_EQ(hive(), expected);
    }
}

// Runs `prepare` and then, as the user `uid` if it is not 0, `action` in a child process
// that starts as the program does; returns the error raised ("" for none, "signal N" if a
// signal ended it).
QString errorInChild(const std::function<void()> &prepare, uid_t uid,
                     const std::function<void()> &action)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        platform::setProgramSignalDispositions();
        prepare();
        if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(2);
        QByteArray message;
        try {
            action();
        } catch (const platform::ERegistryException &e) {
            message = e.message().toUtf8();
        }
        [[maybe_unused]] const ssize_t written = ::write(channel[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray message;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    return QString::fromUtf8(message);
}

// Messages in German after the text of the error: the system's reason and the file. A save
// that changes nothing writes nothing, so it cannot fail.
TEST_F(Settings, AFailureNamesTheSystemsReasonAndTheFileAndAnUnchangedSaveNeverFails)
{
    settings::SaveSettings({1, 1, 2.5});
    const QByteArray saved = config.hiveBytes();
    const auto limited = [] {
        rlimit small{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &small);
    };
    const auto readOnly = [this] {
        for (const QString &path : {config.path(), config.folder()})
            ::chmod(QFile::encodeName(path).constData(), 0755);
        ::chmod(QFile::encodeName(config.hive()).constData(), 0644);
        QFile::remove(config.hive() + ".lock");
    };
    constexpr uid_t Nobody = 65534;
    const struct
    {
        const char *what;
        std::function<void()> before;
        uid_t user;
        settings::SettingsValues values;
        QString error;
    } rows[] = {
        {"a file-size limit", {}, 0, {2, 0, 0.5}, {}},
        {"a file-size limit", limited, 0, {1, 1, 2.5}, ""},
        {"a file-size limit", limited, 0, {2, 0, 0.5},
         "Failed to set data for 'COMPort': Die Datei ist zu groß (" + config.hive() + ")"},
        {"a read-only folder", readOnly, Nobody, {1, 1, 2.5}, ""},
        {"a read-only folder", readOnly, Nobody, {2, 1, 2.5},
         "Failed to set data for 'COMPort': Keine Berechtigung (" + config.hive() + ".lock)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SCOPED_TRACE(row.error.toStdString());
        if (!row.before) {
            settings::SaveSettings({1, 1, 2.5});
            continue;
        }
        EXPECT_EQ(errorInChild(row.before, row.user, [&] { settings::SaveSettings(row.values); })
                      .toStdString(),
                  row.error.toStdString());
        EXPECT_EQ(config.hiveBytes(), saved);
    }

    // A file where the config folder belongs.
    QDir(config.folder()).removeRecursively();
    QFile file(config.folder());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    Recorder target;
    EXPECT_EQ(loadError(target).toStdString(),
              ("Failed to create key " + Store + ": Ist kein Verzeichnis (" + config.hive() + ")")
                  .toStdString());
}

} // namespace


TEST_F(Settings, TheMeasurementModesValuesAreStoredAsTextAfterTheThree)
{
    // A file from before the modes holds only the three: the rest read as their defaults.
    store("COMPort", RegValue::string("1"));
    ModeRecorder first;
    settings::LoadSettingsChecked(first);
    EXPECT_EQ(first.applied, (QStringList{"COMPort", "COMAlg", "Meters", "Mode", "FlagMeters",
                                          "MinDarkMs", "MinContactMs", "PicketMeters",
                                          "PendulumMeters"}));
    EXPECT_EQ(first.port, 1);
    EXPECT_EQ(first.mode, 0);
    EXPECT_EQ(first.flagMeters, 0.025L);
    EXPECT_EQ(first.minDarkMs, 1);
    EXPECT_EQ(first.minContactMs, 0);
    EXPECT_EQ(first.picketMeters, 0.05L);
    EXPECT_EQ(first.pendulumMeters, 1.0L);

    settings::SettingsValues values;
    values.mode = 3;
    values.flagMeters = 0.0125; // whole millimetres, ties to even, like the distance
    values.minDarkMs = 100;
    values.minContactMs = 5;
    values.picketMeters = 0.04;
    values.pendulumMeters = 0.64;
    settings::SaveSettings(values);
    EXPECT_EQ(stored("Mode"), "\"3\"");
    EXPECT_EQ(stored("FlagMeters"), "\"13\"");
    EXPECT_EQ(stored("MinDarkMs"), "\"100\"");
    EXPECT_EQ(stored("MinContactMs"), "\"5\"");
    EXPECT_EQ(stored("PicketMeters"), "\"40\"");
    EXPECT_EQ(stored("PendulumMeters"), "\"640\"");
    ModeRecorder again;
    settings::LoadSettingsChecked(again);
    EXPECT_EQ(again.mode, 3);
    EXPECT_EQ(again.flagMeters, 0.013L);
    EXPECT_EQ(again.minDarkMs, 100);
    EXPECT_EQ(again.minContactMs, 5);
    EXPECT_EQ(again.picketMeters, 0.04L);
    EXPECT_EQ(again.pendulumMeters, 0.64L);

    // Like the others, a value of another type is named and the load goes on.
    store("FlagMeters", RegValue::dword(25));
    ModeRecorder broken;
    EXPECT_EQ(settings::LoadSettingsChecked(broken).size(), 1);
    EXPECT_EQ(broken.applied.last(), "PendulumMeters");
    EXPECT_EQ(broken.flagMeters, 0.025L);
}

namespace {

// A further value on its own: the tone switch and the projector's screen are stored so.
TEST_F(Settings, AFurtherValueReadsItsDefaultUntilStoredAndReadingCreatesNothing)
{
    EXPECT_EQ(settings::LoadSetting("Sound", 1), 1);
    EXPECT_EQ(settings::LoadSetting("Sound", 0), 0);
    EXPECT_FALSE(QFileInfo::exists(config.hive())) << "a read wrote the settings file";

    Recorder target;
    settings::LoadSettingsChecked(target);
    EXPECT_EQ(settings::LoadSetting("Sound", 1), 1); // the section exists, the value not

    const std::pair<RegValue, int> rows[] = {
        {RegValue::string("0"), 0},
        {RegValue::string("1"), 1},
        {RegValue::string("+1"), 1},
        {RegValue::string("abc"), 7}, // no integer: the default
        {RegValue::string(""), 7},
    };
    for (const auto &[value, expected] : rows) {
        SCOPED_TRACE(value.text().toStdString());
        store("Sound", value);
        EXPECT_EQ(settings::LoadSetting("Sound", 7), expected);
    }

    settings::SaveSettings({2, 1, 0.25});
    settings::SaveSetting("Sound", 0);
    settings::SaveSetting("ProjectorScreen", 1);
    EXPECT_EQ(storedBytes("Sound"), QByteArray("0", 2));
    EXPECT_EQ(settings::LoadSetting("Sound", 1), 0);
    EXPECT_EQ(settings::LoadSetting("ProjectorScreen", 0), 1);
    // The three settings stay as they were.
    Recorder after;
    settings::LoadSettingsChecked(after);
    EXPECT_EQ(after.port, 2);
    EXPECT_EQ(after.alg, 1);
    EXPECT_EQ(after.meters, 0.25L);
    // A later save of the three keeps the further values.
    settings::SaveSettings({0, 0, 0.15});
    EXPECT_EQ(settings::LoadSetting("Sound", 1), 0);
}

TEST_F(Settings, AFurtherValueOfAnotherTypeIsRaised)
{
    store("Sound", valueOf("dword:00000001"));
    try {
        settings::LoadSetting("Sound", 1);
        ADD_FAILURE() << "no error";
    } catch (const platform::ERegistryException &e) {
        EXPECT_EQ(e.message(), "Invalid data type for 'Sound'");
    }
}

// The class view's switch and port: off and 8080 until stored, stored as text like the rest.
TEST_F(Settings, TheClassViewIsOffOnPort8080UntilStoredAndAnUnusablePortReadsAsThat)
{
    EXPECT_FALSE(settings::LoadClassViewSettings().on);
    EXPECT_EQ(settings::LoadClassViewSettings().port, 8080);
    EXPECT_FALSE(QFileInfo::exists(config.hive()));

    settings::SaveClassViewSettings({true, 8123});
    EXPECT_EQ(stored("ClassView"), "\"1\"");
    EXPECT_EQ(stored("ClassViewPort"), "\"8123\"");
    EXPECT_TRUE(settings::LoadClassViewSettings().on);
    EXPECT_EQ(settings::LoadClassViewSettings().port, 8123);

    const struct
    {
        const char *on, *port;
        bool loadedOn;
        int loadedPort;
    } rows[] = {
        {"0", "80", false, 80},      {"1", "65535", true, 65535}, {"2", "0", false, 8080},
        {"ja", "65536", false, 8080}, {"1", "-1", true, 8080},    {"", "acht", false, 8080},
    };
    for (const auto &r : rows) {
        store("ClassView", RegValue::string(r.on));
        store("ClassViewPort", RegValue::string(r.port));
        const settings::ClassViewSettings loaded = settings::LoadClassViewSettings();
        EXPECT_EQ(loaded.on, r.loadedOn) << r.on;
        EXPECT_EQ(loaded.port, r.loadedPort) << r.port;
    }
}

} // namespace
