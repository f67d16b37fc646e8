#include "registry/RegFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator keeps the heap itself; its runtime tells what it holds.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace registry;

namespace {

const QString Key = QStringLiteral("Kelvaro / Software / Velox / 1.02\\Settings");
const QByteArray Head = "Windows Registry Editor Version 5.00\r\n\r\n";
const QByteArray Section = "[HKEY_CURRENT_USER\\Kelvaro / Software / Velox / 1.02\\Settings]\r\n";

QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

struct FormRow
{
    const char *what;
    QString name;
    RegValue value;
    QByteArray line;
};

// Each kind of value has its line in the file and comes back from it unchanged.
TEST(RegFile, WritesEachValueKindAsTheRegistryEditorDoesAndReadsItBack)
{
    const FormRow rows[] = {
        {"number text", "COMPort", RegValue::string("150"), "\"COMPort\"=\"150\""},
        {"escapes", "v", RegValue::string("C:\\a \"b\""), "\"v\"=\"C:\\\\a \\\"b\\\"\""},
        {"non-ASCII", "v", RegValue::string("Schlüssel"), "\"v\"=\"Schl\xC3\xBCssel\""},
        {"empty string", "v", RegValue::string(""), "\"v\"=\"\""},
        {"default value", "", RegValue::string("x"), "@=\"x\""},
        {"quoted name", "a\"b\\c", RegValue::string("x"), "\"a\\\"b\\\\c\"=\"x\""},
        {"line break", "v", RegValue::string("a\nb"), "\"v\"=hex(1):61,00,0a,00,62,00,00,00"},
        {"no terminator", "v", {REG_SZ, utf16("a")}, "\"v\"=hex(1):61,00"},
        {"expandable", "v", RegValue::string("%A%", REG_EXPAND_SZ),
         "\"v\"=hex(2):25,00,41,00,25,00,00,00"},
        {"dword", "v", RegValue::dword(0x12345678), "\"v\"=dword:12345678"},
        {"short dword", "v", {REG_DWORD, QByteArray("\x01\x02\x03")}, "\"v\"=hex(4):01,02,03"},
        {"empty binary", "v", {REG_BINARY, QByteArray()}, "\"v\"=hex:"},
        {"qword", "v", {REG_QWORD, QByteArray(8, '\x7f')}, "\"v\"=hex(b):7f,7f,7f,7f,7f,7f,7f,7f"},
    };
    for (const FormRow &row : rows) {
        SCOPED_TRACE(row.what);
        RegFile file;
        file.setValue(Key, row.name, row.value);
        const QByteArray text = file.serialize();
        // The store key holds nothing but its subkey, which implies it.
        EXPECT_EQ(text, Head + Section + row.line + "\r\n\r\n");
        QString error;
        const std::optional<RegFile> back = RegFile::parse(text, &error);
        ASSERT_TRUE(back) << error.toStdString();
        EXPECT_EQ(*back, file);
    }
}

TEST(RegFile, LongHexDataWrapsAtEightyColumnsAndComesBack)
{
    QByteArray data;
    for (int i = 0; i < 200; ++i)
        data.append(char(i));
    RegFile file;
    file.setValue(Key, QStringLiteral("blob"), {REG_BINARY, data});
    const QByteArray text = file.serialize();
    for (const QByteArray &line : text.split('\n'))
        EXPECT_LE(line.size(), 81);
    EXPECT_TRUE(text.contains(",\\\r\n  "));
    const std::optional<RegFile> back = RegFile::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->value(Key, QStringLiteral("blob"))->data, data);
}

TEST(RegFile, ReadsWhatTheRegistryEditorExports)
{
    const QString exported =
        QStringLiteral("Windows Registry Editor Version 5.00\r\n"
                       "\r\n"
                       "; written by hand\r\n"
                       "[hkey_current_user\\Kelvaro / Software / Velox / 1.02\\Settings]\r\n"
                       "\"COMPort\"=\"1\"\r\n"
                       "\"Path\"=hex(2):25,00,\\\r\n"
                       "  41,00,00,00\r\n"
                       "\r\n"
                       "[HKEY_CURRENT_USER\\KELVARO / SOFTWARE / VELOX / 1.02\\SETTINGS]\r\n"
                       "\"comalg\"=dword:00000001\r\n");
    const QByteArray bytes = "\xFF\xFE" + utf16(exported);
    QString error;
    const std::optional<RegFile> file = RegFile::parse(bytes, &error);
    ASSERT_TRUE(file) << error.toStdString();
    // Names differing in case are one key; the slashes separate nothing.
    EXPECT_EQ(file->keys(), (QStringList{"", "Kelvaro / Software / Velox / 1.02", Key}));
    EXPECT_EQ(file->value(Key, "COMPORT")->text(), "1");
    EXPECT_EQ(*file->value(Key, "Path"), RegValue::string("%A", REG_EXPAND_SZ));
    EXPECT_EQ(*file->value(Key, "COMAlg"), RegValue::dword(1));
    EXPECT_FALSE(file->hasKey("Kelvaro "));

    const std::optional<RegFile> fromUtf8 = RegFile::parse("\xEF\xBB\xBF" + exported.toUtf8());
    ASSERT_TRUE(fromUtf8);
    EXPECT_EQ(*fromUtf8, *file);
}

TEST(RegFile, NamesKeepTheirFirstSpellingAndMatchInAnyCase)
{
    RegFile file;
    EXPECT_TRUE(file.createKey("A\\B\\C"));
    EXPECT_FALSE(file.createKey("a\\b\\c"));
    EXPECT_TRUE(file.hasKey("a\\B"));
    EXPECT_EQ(file.keyPath("a\\b\\c"), "A\\B\\C");
    EXPECT_TRUE(file.setValue("a\\b", "COMPort", RegValue::string("1")));
    EXPECT_FALSE(file.setValue("A\\B", "comport", RegValue::string("1")));
    EXPECT_TRUE(file.setValue("A\\B", "comport", RegValue::string("2")));
    EXPECT_EQ(file.valueNames("A\\B"), QStringList{"COMPort"});
    EXPECT_EQ(file.value("A\\B", "COMPORT")->text(), "2");
}

TEST(RegFile, OddKeyNamesComeBackFromTheFile)
{
    RegFile file;
    for (const QString &path : {QString(" padded "), QString("a]"), QString("-x\\[y]"),
                                QString("semi;colon\\\"quoted\"")}) {
        file.createKey(path);
        file.setValue(path, "v", RegValue::string(path));
    }
    const std::optional<RegFile> back = RegFile::parse(file.serialize());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, file);
}

TEST(RegFile, NamesThatCannotBeStoredAreRefused)
{
    EXPECT_TRUE(RegFile::isValidKeyName("Kelvaro / Software / Velox / 1.02"));
    EXPECT_TRUE(RegFile::isValidKeyName(QString(255, u'k')));
    EXPECT_TRUE(RegFile::isValidValueName(""));
    for (const QString &name : {QString(), QString("a\\b"), QString(256, u'k'), QString("a\nb")})
        EXPECT_FALSE(RegFile::isValidKeyName(name)) << name.toStdString();
    for (const QString &name : {QString("a\rb"), QString(QChar(0xD800))})
        EXPECT_FALSE(RegFile::isValidValueName(name));
}

struct DamageRow
{
    QByteArray body; // after the header line
    const char *reason;
};

TEST(RegFile, DamagedFilesAreRefusedWithLineAndReason)
{
    const QByteArray section = "[HKEY_CURRENT_USER\\K]\n";
    const DamageRow rows[] = {
        {"", nullptr},
        {"garbage\n", "line 2: unexpected text"},
        {"\"a\"=\"b\"\n", "line 2: value outside any key"},
        {"[HKEY_LOCAL_MACHINE\\K]\n", "outside HKEY_CURRENT_USER"},
        {"[HKEY_CURRENT_USERX]\n", "outside HKEY_CURRENT_USER"},
        {"[-HKEY_CURRENT_USER\\K]\n", "key deletion"},
        {"[HKEY_CURRENT_USER\\K\n", "malformed key line"},
        {"[HKEY_CURRENT_USER\\a\\\\b]\n", "invalid key name"},
        {section + "\"a\"=\"b\n", "line 3: malformed string"},
        {section + "\"a\"=\"b\\q\"\n", "malformed string"},
        {section + "\"a\"=\"b\" x\n", "malformed string"},
        {section + "\"a\"=dword:123456789\n", "malformed dword"},
        {section + "\"a\"=dword:-1\n", "malformed dword"},
        {section + "\"a\"=hex:1,2\n", "malformed hex"},
        {section + "\"a\"=hex(zz):00\n", "malformed value type"},
        {section + "\"a\"=hex:01,\\", "file ends inside a value"},
        {section + "\"a\"=-\n", "value deletion"},
        {section + "\"a\"=\"\xFF\"\n", "not UTF-8"},
        {section + "\"a\" \"b\"\n", "malformed value line"},
    };
    for (const DamageRow &row : rows) {
        const bool headerless = row.reason == nullptr;
        const QByteArray bytes = headerless ? QByteArray("REGEDIT4\n")
                                            : "Windows Registry Editor Version 5.00\n" + row.body;
        SCOPED_TRACE(bytes.toStdString());
        QString error;
        EXPECT_FALSE(RegFile::parse(bytes, &error));
        EXPECT_TRUE(error.contains(headerless ? "no registry file header" : row.reason))
            << error.toStdString();
    }
    EXPECT_FALSE(RegFile::parse(QByteArray()));
}

QString chain(int levels, const QString &name = QStringLiteral("k"))
{
    QStringList names;
    for (int i = 0; i < levels; ++i)
        names.append(name);
    return names.join(u'\\');
}

QByteArray sectionFor(const QString &path, const QByteArray &values = "\"v\"=\"1\"\r\n")
{
    return Head + "[HKEY_CURRENT_USER\\" + path.toUtf8() + "]\r\n" + values;
}

struct LimitRow
{
    const char *what;
    QByteArray within;
    QByteArray beyond;
    const char *reason;
};

// What a file may hold, a change may make: one more and the file is damaged, the change refused.
TEST(RegFile, TheLimitsHoldAlikeForReadingAndChanging)
{
    const QString name255(255, u'n');
    const QByteArray value(RegLimits::ValueSize, '\x5a');
    const LimitRow rows[] = {
        {"depth", sectionFor(chain(RegLimits::KeyDepth)),
         sectionFor(chain(RegLimits::KeyDepth + 1)), "key path deeper than 32768 levels"},
        {"path length", sectionFor(chain(256, name255)), sectionFor(chain(257, name255)),
         "key path longer than 65535 characters"},
    };
    for (const LimitRow &row : rows) {
        SCOPED_TRACE(row.what);
        QString error;
        const std::optional<RegFile> within = RegFile::parse(row.within, &error);
        ASSERT_TRUE(within) << error.toStdString();
        EXPECT_FALSE(RegFile::parse(row.beyond, &error));
        EXPECT_EQ(error, QStringLiteral("line 3: ") + row.reason);
        // What was read is written again as it came.
        EXPECT_EQ(within->serialize(), row.within + "\r\n");
    }

    RegFile file;
    RegLimit exceeded = RegLimit::None;
    EXPECT_TRUE(file.createKey(chain(RegLimits::KeyDepth), &exceeded));
    EXPECT_EQ(exceeded, RegLimit::None);
    EXPECT_FALSE(file.createKey(chain(RegLimits::KeyDepth + 1), &exceeded));
    EXPECT_EQ(exceeded, RegLimit::KeyDepth);
    EXPECT_FALSE(file.createKey(chain(257, name255), &exceeded));
    EXPECT_EQ(exceeded, RegLimit::KeyPathLength);
    // Refused whole: not even the parents are made.
    EXPECT_FALSE(file.hasKey(name255));

    EXPECT_TRUE(file.setValue("K", "v", {REG_BINARY, value}, &exceeded));
    EXPECT_EQ(exceeded, RegLimit::None);
    EXPECT_FALSE(file.setValue("K", "w", {REG_BINARY, value + 'x'}, &exceeded));
    EXPECT_EQ(exceeded, RegLimit::ValueSize);
    EXPECT_EQ(file.value("K", "w"), nullptr);
    QString error;
    const std::optional<RegFile> back = RegFile::parse(file.serialize(), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->value("K", "v")->data, value);

    RegFile bigger;
    bigger.setValue("K", "v", {REG_BINARY, value});
    QByteArray text = bigger.serialize();
    text.replace("\"v\"=hex:5a,", "\"v\"=hex:5a,5a,");
    EXPECT_FALSE(RegFile::parse(text, &error));
    EXPECT_EQ(error, "line 4: value larger than 1048576 bytes");

    EXPECT_FALSE(RegFile::parse(Head + QByteArray(RegLimits::FileSize, ';'), &error));
    EXPECT_EQ(error, "line 1: larger than 16777216 bytes");
}

// Bytes the process holds on its heap now, as its allocator counts them.
std::int64_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return std::int64_t(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return std::int64_t(info.uordblks + info.hblkhd);
#endif
}

// The heap that `build` leaves in use in what it returns, while that lives.
template <typename Build> std::int64_t heapOf(Build build)
{
    const std::int64_t before = heapInUse();
    const auto built = build();
    return heapInUse() - before;
}

TEST(RegFile, ManyValuesAndDeepKeysTakeLinearRoom)
{
    // A deep chain is written as its deepest key alone; its parents are implied.
    const QString deep = chain(32000);
    RegFile file;
    ASSERT_TRUE(file.createKey(deep));
    const QByteArray text = file.serialize();
    EXPECT_EQ(text, Head + "[HKEY_CURRENT_USER\\" + deep.toUtf8() + "]\r\n\r\n");
    const std::optional<RegFile> back = RegFile::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->keyCount(), 32001);
    EXPECT_EQ(*back, file);

    // Values found in any case among many, the first spelling kept, the order too.
    const auto manyValues = [](int count) {
        RegFile values;
        for (int i = 0; i < count; ++i)
            values.setValue("K", QStringLiteral("Value%1").arg(i), RegValue::dword(DWORD(i)));
        return values;
    };
    RegFile values = manyValues(100000);
    EXPECT_FALSE(values.setValue("k", "VALUE99999", RegValue::dword(99999)));
    EXPECT_TRUE(values.setValue("k", "value5", RegValue::dword(7)));
    EXPECT_EQ(values.valueCount(), 100000);
    EXPECT_EQ(*values.value("K", "VALUE5"), RegValue::dword(7));
    EXPECT_EQ(values.valueNames("K").at(5), "Value5");
    const std::optional<RegFile> parsed = RegFile::parse(values.serialize());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, values);

    // The room they take, measured: twice as many keys or values take about twice the
    // heap (a key that kept its whole path would take the square), and each a bounded part.
    const struct
    {
        const char *what;
        std::function<std::int64_t(int)> heap;
        int count;
        std::int64_t perItem; // bytes each may take at most
    } rows[] = {
        {"deep keys", [](int n) { return heapOf([&] { RegFile f; f.createKey(chain(n)); return f; }); },
         8000, 1024},
        {"parsed deep keys",
         [](int n) {
             RegFile f;
             f.createKey(chain(n));
             const QByteArray written = f.serialize();
             return heapOf([&] { return RegFile::parse(written); });
         },
         8000, 1024},
        {"values", [&](int n) { return heapOf([&] { return manyValues(n); }); }, 20000, 1024},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const std::int64_t one = row.heap(row.count);
        const std::int64_t two = row.heap(2 * row.count);
        EXPECT_GT(one, 0);
        EXPECT_LE(two, one * 5 / 2) << one << " then " << two;
        EXPECT_LE(two, row.perItem * 2 * row.count) << two;
    }
}

TEST(RegFile, TheHeaderTellsAHiveFromAnyOtherFile)
{
    const QByteArray header = "Windows Registry Editor Version 5.00";
    EXPECT_TRUE(RegFile::hasHeader(header));
    EXPECT_TRUE(RegFile::hasHeader(header + "\r\n[HKEY_CURRENT_USER\\\xFF"));
    EXPECT_TRUE(RegFile::hasHeader("\xEF\xBB\xBF" + header + "\n"));
    EXPECT_TRUE(RegFile::hasHeader("\xFF\xFE" + utf16(QString::fromLatin1(header + "\r\n"))));
    for (const QByteArray &other : {QByteArray(), QByteArray("REGEDIT4\n"),
                                    QByteArray("Shopping list\n") + header, header.left(20)})
        EXPECT_FALSE(RegFile::hasHeader(other)) << other.toStdString();
}

} // namespace
