#include "i18n/TestFiles.h"

#include "i18n/MoCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testfiles;

namespace {

std::string text(std::string_view view)
{
    return std::string(view);
}

// A catalog laid out as msgfmt lays it out (keys sorted by bytes), for sizes that no
// hand-written .po file would cover. With keysLast the keys come after all translations,
// without their zeros, so that the last ones end where the catalog ends.
std::vector<unsigned char> buildCatalog(const std::vector<std::string> &keys, bool keysLast = false)
{
    const std::uint32_t n = std::uint32_t(keys.size());
    const std::uint32_t keyTable = 28;
    const std::uint32_t translationTable = keyTable + 8 * n;
    std::vector<unsigned char> bytes(translationTable + 8 * n);
    auto put = [&bytes](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put(0, 0x950412DE);
    put(8, n);
    put(12, keyTable);
    put(16, translationTable);
    auto add = [&](int table, std::uint32_t i) {
        const std::string s = table == 0 ? keys[i] : "T:" + keys[i];
        const std::size_t offset = bytes.size();
        bytes.insert(bytes.end(), s.begin(), s.end());
        if (table == 1 || !keysLast)
            bytes.push_back(0);
        put((table == 0 ? keyTable : translationTable) + 8 * i, std::uint32_t(s.size()));
        put((table == 0 ? keyTable : translationTable) + 8 * i + 4, std::uint32_t(offset));
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!keysLast)
            add(0, i);
        add(1, i);
    }
    for (std::uint32_t i = 0; keysLast && i < n; ++i)
        add(0, i);
    return bytes;
}

TEST(MoCatalogTest, SearchFindsEveryKeyAndNothingBetweenForAllSizes)
{
    // Short keys and keys that share their first eight bytes.
    for (const std::string prefix : {"k", "shared prefix "})
        for (std::uint32_t n = 1; n <= 130; ++n) {
            SCOPED_TRACE(prefix + std::to_string(n));
            std::vector<std::string> keys;
            for (std::uint32_t i = 0; i < n; ++i)
                keys.push_back(prefix + std::to_string(1000 + 2 * i));
            std::sort(keys.begin(), keys.end());
            const std::vector<unsigned char> bytes = buildCatalog(keys);
            i18n::TMoCatalog catalog;
            ASSERT_TRUE(catalog.Attach(bytes.data(), bytes.size()));
            for (const std::string &key : keys) {
                std::string_view found;
                ASSERT_EQ(catalog.Find(key, found), i18n::TMoCatalog::Search::Found) << key;
                EXPECT_EQ(text(found), "T:" + key);
            }
            for (std::uint32_t i = 0; i <= n; ++i) {
                std::string_view found;
                const std::string between = prefix + std::to_string(999 + 2 * i);
                EXPECT_EQ(catalog.Find(between, found), i18n::TMoCatalog::Search::Missing)
                    << between;
            }
        }
}

TEST(MoCatalogTest, ZeroBytesAndShortKeysAtTheEndCompareAsBytes)
{
    // Keys alike in their first eight bytes once padded with zeros, and keys that end
    // less than eight bytes before the catalog does.
    using namespace std::string_literals;
    const std::vector<std::string> keys = {
        ""s,        "a"s,        "a\0"s,        "a\0\0"s,     "a\0b"s, "a\x01"s,   "ab"s,
        "abcdefg"s, "abcdefgh"s, "abcdefgh\0"s, "abcdefghi"s, "\xff"s, "\xff\xff"s};
    const std::vector<std::string> between = {
        "\0"s,      "a\0\0\0"s,      "a\0a"s, "a\0c"s,   "ab\0"s,        "abcdefg\0"s,
        "abcdefh"s, "abcdefgh\0\0"s, "\xfe"s, "\xff\0"s, "\xff\xff\xff"s};
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    for (const bool keysLast : {false, true}) {
        SCOPED_TRACE(keysLast);
        const std::vector<unsigned char> bytes = buildCatalog(keys, keysLast);
        i18n::TMoCatalog catalog;
        ASSERT_TRUE(catalog.Attach(bytes.data(), bytes.size()));
        for (std::uint32_t i = 0; i < keys.size(); ++i) {
            std::string_view found;
            std::uint32_t entry = 0;
            ASSERT_EQ(catalog.Find(keys[i], found, entry), i18n::TMoCatalog::Search::Found) << i;
            EXPECT_EQ(text(found), "T:" + keys[i]);
            EXPECT_EQ(entry, i);
        }
        for (const std::string &key : between) {
            std::string_view found;
            EXPECT_EQ(catalog.Find(key, found), i18n::TMoCatalog::Search::Missing) << key.size();
        }
    }
}

TEST(MoCatalogTest, ProgramToolkitCatalogFindsEachOfItsKeys)
{
    const QByteArray bytes = read(programCatalog("toolkit"));
    i18n::TMoCatalog catalog;
    ASSERT_TRUE(catalog.Attach(reinterpret_cast<const unsigned char *>(bytes.constData()),
                               std::uint64_t(bytes.size())));
    ASSERT_GT(catalog.Count(), 1000u);
    for (std::uint32_t i = 0; i < catalog.Count(); ++i) {
        std::string_view key;
        std::string_view expected;
        std::string_view found;
        ASSERT_TRUE(catalog.KeyAt(i, key));
        ASSERT_TRUE(catalog.TranslationAt(i, expected));
        ASSERT_EQ(catalog.Find(key, found), i18n::TMoCatalog::Search::Found) << text(key);
        EXPECT_EQ(found.data(), expected.data());
    }
    std::string_view found;
    ASSERT_EQ(catalog.Find("&Yes", found), i18n::TMoCatalog::Search::Found);
    EXPECT_EQ(text(found), "&Ja");
}

TEST(MoCatalogTest, BigEndianTwinReadsTheSame)
{
    const QByteArray little = read(catalog("normal"));
    const QByteArray big = read(catalog("normal-be"));
    ASSERT_EQ(big.left(4), QByteArray("\x95\x04\x12\xde", 4));
    i18n::TMoCatalog a;
    i18n::TMoCatalog b;
    ASSERT_TRUE(
        a.Attach(reinterpret_cast<const unsigned char *>(little.constData()), little.size()));
    ASSERT_TRUE(b.Attach(reinterpret_cast<const unsigned char *>(big.constData()), big.size()));
    EXPECT_FALSE(a.ByteSwapped());
    EXPECT_TRUE(b.ByteSwapped());
    ASSERT_EQ(a.Count(), b.Count());
    for (std::uint32_t i = 0; i < a.Count(); ++i) {
        std::string_view keyA, keyB, trA, trB;
        ASSERT_TRUE(a.KeyAt(i, keyA) && b.KeyAt(i, keyB) && a.TranslationAt(i, trA) &&
                    b.TranslationAt(i, trB));
        EXPECT_EQ(keyA, keyB);
        EXPECT_EQ(trA, trB);
    }
}

} // namespace
